#include "tools/convert/export_project.h"
#include "platform/base/text.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>

#include <cpl_error.h>

#include "platform/base/files.h"
#include "project/load_data.h"
#include "project/project_file.h"
#include "tools/convert/convert_error.h"
#include "tools/convert/drawing_to_ogr.h"
#include "tools/convert/output_target.h"
#include "tools/convert/progress.h"
#include "tools/convert/sites_to_ogr.h"

namespace convert {

namespace fs = std::filesystem;

namespace {

struct Source {
    std::string name; // the layer name: the drawing's file name without extension
    fs::path path;
    DrawingSurvey survey;
};

// Layer names are compared without regard to case by several formats.
std::string unique_name(const std::string &wanted, std::set<std::string> &taken) {
    std::string name = wanted.empty() ? "drawing" : wanted;
    for (int k = 2; taken.count(text::lower(name)) != 0; ++k)
        name = wanted + "_" + std::to_string(k);
    taken.insert(text::lower(name));
    return name;
}

const char *kind_suffix(ObjectKind k) {
    switch (k) {
    case ObjectKind::Polygon:
        return "_polygons";
    case ObjectKind::Polyline:
        return "_lines";
    case ObjectKind::Annotation:
        break;
    }
    return "_points";
}

OGRwkbGeometryType geometry_of(ObjectKind k) {
    switch (k) {
    case ObjectKind::Polygon:
        return wkbPolygon;
    case ObjectKind::Polyline:
        return wkbLineString;
    case ObjectKind::Annotation:
        break;
    }
    return wkbPoint;
}

int64_t count_of(const DrawingSurvey &s, ObjectKind k) {
    return k == ObjectKind::Polygon    ? s.polygons
           : k == ObjectKind::Polyline ? s.polylines
                                       : s.annotations;
}

constexpr ObjectKind kKinds[] = {ObjectKind::Polygon, ObjectKind::Polyline, ObjectKind::Annotation};

} // namespace

ExportReport export_project(const ExportOptions &options) {
    init_gdal();
    ExportReport report;
    const std::string project = (options.data / project::kProjectFileName).string();
    if (!files::exists(project))
        throw ConvertError("cannot read the project " + project);

    std::vector<Source> sources;
    std::optional<fs::path> first_drawing;
    for (const project::ProjectItem &item : project::read_project(project)) {
        if (item.kind != project::ProjectItem::Drawing)
            continue;
        const fs::path path = files::resolve(item.path);
        if (!first_drawing)
            first_drawing = path;
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) {
            report.missing.push_back(fs::path(item.path).filename().string());
            continue;
        }
        Source s{path.stem().string(), path, survey_drawing(path)};
        report.hidden += s.survey.hidden;
        if (s.survey.damaged)
            report.damaged.push_back(path.filename().string());
        sources.push_back(std::move(s));
    }
    if (sources.empty() && !options.sites)
        throw ConvertError("the project " + project + " lists no drawing that can be read");

    const OutputFormat format = choose_format(options.out);
    if (format.one_layer && options.sites)
        throw ConvertError(options.out.filename().string() +
                           " holds a single layer: write the site list to a GeoPackage or a "
                           "folder");
    std::set<ObjectKind> kinds;
    bool any_z = false;
    int64_t total = 0;
    for (const Source &s : sources) {
        for (ObjectKind k : kKinds)
            if (count_of(s.survey, k) > 0)
                kinds.insert(k);
        any_z = any_z || s.survey.has_z;
        total += s.survey.objects();
    }
    if (format.one_layer && !format.mixed_geometry && kinds.size() > 1)
        throw ConvertError(options.out.filename().string() +
                           " holds one kind of geometry, and the drawings hold polygons, lines "
                           "and points: give a folder instead");

    std::optional<fs::path> database;
    if (options.sites) {
        if (!first_drawing)
            throw ConvertError("no site database: the project lists no drawing");
        database = site_database_of(options.data, *first_drawing);
        total += count_sites(*database);
    }

    Staging staging(options.out, format.folder);
    char *create_options[] = {nullptr};
    Dataset ds(GDALCreate(GDALGetDriverByName(format.driver.c_str()), staging.path().c_str(), 0, 0,
                          0, GDT_Unknown, create_options));
    if (!ds)
        throw ConvertError(gdal_error("cannot write " + options.out.string()));
    auto *h = static_cast<GDALDatasetH>(ds.get());
    const Srs grid = national_grid();
    auto *srs = static_cast<OGRSpatialReferenceH>(grid.get());
    const Palette palette;
    Progress progress(total, options.progress);
    std::set<std::string> taken;

    if (format.one_layer) {
        const ObjectKind only = kinds.empty() ? ObjectKind::Polygon : *kinds.begin();
        DrawingLayer layer(h, options.out.stem().string(),
                           format.mixed_geometry ? wkbUnknown : geometry_of(only), any_z, srs,
                           palette, true);
        layer.begin();
        for (const Source &s : sources)
            read_drawing(s.path, [&](const DrawnObject &o) {
                layer.write(o, s.name, s.survey.layer_names);
                progress.step();
            });
        layer.commit();
        report.layers.push_back({layer.name(), layer.written()});
    } else {
        for (const Source &s : sources) {
            std::map<ObjectKind, std::unique_ptr<DrawingLayer>> by_kind;
            std::unique_ptr<DrawingLayer> all;
            if (format.mixed_geometry) {
                all = std::make_unique<DrawingLayer>(h, unique_name(s.name, taken), wkbUnknown,
                                                     s.survey.has_z, srs, palette, false);
                all->begin();
            } else {
                for (ObjectKind k : kKinds)
                    if (count_of(s.survey, k) > 0)
                        by_kind[k] = std::make_unique<DrawingLayer>(
                            h, unique_name(s.name + kind_suffix(k), taken), geometry_of(k),
                            s.survey.has_z, srs, palette, false);
            }
            read_drawing(s.path, [&](const DrawnObject &o) {
                DrawingLayer &layer = all ? *all : *by_kind.at(o.kind);
                layer.write(o, s.name, s.survey.layer_names);
                progress.step();
            });
            if (all) {
                all->commit();
                report.layers.push_back({all->name(), all->written()});
            }
            for (auto &[k, layer] : by_kind)
                report.layers.push_back({layer->name(), layer->written()});
        }
    }
    if (database) {
        const std::string name = unique_name(kSiteLayer, taken);
        const SiteExport sites = write_sites(h, name, *database, srs, progress);
        report.layers.push_back({name, sites.written});
        report.unplaced = sites.unplaced;
    }
    progress.finish();
    // Closing writes what the driver still holds; a failure then is the last error.
    CPLErrorReset();
    ds.reset();
    if (CPLGetLastErrorType() == CE_Failure)
        throw ConvertError(gdal_error("cannot finish " + options.out.string()));
    staging.commit();
    return report;
}

} // namespace convert
