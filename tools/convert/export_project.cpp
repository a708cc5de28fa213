#include "tools/convert/export_project.h"
#include "platform/base/text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include <cpl_error.h>

#include "platform/base/files.h"
#include "platform/base/outputs.h"
#include "project/load_data.h"
#include "project/session.h"
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

// The extension naming the format when the output's own name does not: --format, or,
// for a pipe, a device or standard output, the name's extension, else GeoPackage's.
std::string format_extension(const ExportOptions &options) {
    std::string ext = text::lower(options.format);
    if (!ext.empty() && ext.front() == '.')
        ext.erase(0, 1);
    const outputs::Kind kind = outputs::target_of(options.out).kind;
    if (!ext.empty() || (kind != outputs::Kind::Stream && kind != outputs::Kind::StandardOutput))
        return ext;
    ext = text::lower(options.out.extension().string());
    return ext.size() > 1 ? ext.substr(1) : std::string("gpkg");
}

constexpr ObjectKind kKinds[] = {ObjectKind::Polygon, ObjectKind::Polyline, ObjectKind::Annotation};

// The drawings the project lists: those that can be read, each surveyed, and the first
// listed, there or not (the site database lies beside it). Missing, damaged and hidden
// go into the report.
struct Sources {
    std::vector<Source> readable;
    std::optional<int> first_drawing; // its number in the drawing table
};

Sources read_sources(const state::DrawingTable &drawings, ExportReport &report) {
    Sources sources;
    for (int n = 1; n <= drawings.count(); ++n) {
        const state::DrawingEntry &entry = drawings.entry(n);
        const fs::path path = files::resolve(entry.file_name);
        if (!sources.first_drawing)
            sources.first_drawing = n;
        if (entry.missing) {
            report.missing.push_back(fs::path(entry.file_name).filename().string());
            continue;
        }
        Source s{path.stem().string(), path, survey_drawing(path)};
        report.hidden += s.survey.hidden;
        if (s.survey.damaged)
            report.damaged.push_back(path.filename().string());
        sources.readable.push_back(std::move(s));
    }
    return sources;
}

// What the drawings hold together.
struct Contents {
    std::set<ObjectKind> kinds;
    bool any_z = false;
    int64_t objects = 0;
};

Contents contents_of(const std::vector<Source> &sources) {
    Contents c;
    for (const Source &s : sources) {
        for (ObjectKind k : kKinds)
            if (count_of(s.survey, k) > 0)
                c.kinds.insert(k);
        c.any_z = c.any_z || s.survey.has_z;
        c.objects += s.survey.objects();
    }
    return c;
}

// Refuses an output that cannot hold what is to be written in it.
void check_output_holds(const OutputFormat &format, const ExportOptions &options,
                        const Contents &contents) {
    if (format.one_layer && options.sites)
        throw ConvertError(options.out.filename().string() +
                           " holds a single layer: write the site list to a GeoPackage or a "
                           "folder");
    if (format.one_layer && !format.mixed_geometry && contents.kinds.size() > 1)
        throw ConvertError(options.out.filename().string() +
                           " holds one kind of geometry, and the drawings hold polygons, lines "
                           "and points: give a folder instead");
}

std::optional<fs::path> site_database(const ExportOptions &options, const Sources &sources,
                                      const state::DrawingTable &drawings) {
    if (!options.sites)
        return std::nullopt;
    if (!sources.first_drawing)
        throw ConvertError("no site database: the project lists no drawing");
    return site_database_of(drawings.entry(*sources.first_drawing));
}

Dataset create_dataset(const OutputFormat &format, const Staging &staging,
                       const ExportOptions &options) {
    char *create_options[] = {nullptr};
    Dataset ds(GDALCreate(GDALGetDriverByName(format.driver.c_str()), staging.path().c_str(), 0, 0,
                          0, GDT_Unknown, create_options));
    if (!ds)
        throw ConvertError(gdal_error("cannot write " + options.out.string()));
    return ds;
}

// Where the layers go, and what every layer written shares.
struct Output {
    GDALDatasetH ds;
    OGRSpatialReferenceH srs;
    const Palette &palette;
    Progress &progress;
    ExportReport &report;
    std::set<std::string> taken; // the layer names so far
};

// Every drawing's objects in one layer named after the output (standard output and
// devices have no name for it), each naming its drawing.
void write_single_layer(Output &out, const OutputFormat &format, const ExportOptions &options,
                        const Contents &contents, const std::vector<Source> &sources) {
    const ObjectKind only = contents.kinds.empty() ? ObjectKind::Polygon : *contents.kinds.begin();
    const outputs::Kind kind = outputs::target_of(options.out).kind;
    const std::string stem =
        kind == outputs::Kind::File || kind == outputs::Kind::Folder || options.out.has_extension()
            ? options.out.stem().string()
            : std::string("drawings");
    DrawingLayer layer(out.ds, stem, format.mixed_geometry ? wkbUnknown : geometry_of(only),
                       contents.any_z, out.srs, out.palette, true);
    layer.begin();
    for (const Source &s : sources)
        read_drawing(s.path, [&](const DrawnObject &o) {
            layer.write(o, s.name, s.survey.layer_names);
            out.progress.step();
        });
    layer.commit();
    out.report.layers.push_back({layer.name(), layer.written()});
}

// One drawing as a layer of its own, or, where a layer takes one kind of geometry, as a
// layer for each kind it holds.
void write_drawing_layers(Output &out, const OutputFormat &format, const Source &s) {
    std::map<ObjectKind, std::unique_ptr<DrawingLayer>> by_kind;
    std::unique_ptr<DrawingLayer> all;
    if (format.mixed_geometry) {
        all = std::make_unique<DrawingLayer>(out.ds, unique_name(s.name, out.taken), wkbUnknown,
                                             s.survey.has_z, out.srs, out.palette, false);
        all->begin();
    } else {
        for (ObjectKind k : kKinds)
            if (count_of(s.survey, k) > 0)
                by_kind[k] = std::make_unique<DrawingLayer>(
                    out.ds, unique_name(s.name + kind_suffix(k), out.taken), geometry_of(k),
                    s.survey.has_z, out.srs, out.palette, false);
    }
    read_drawing(s.path, [&](const DrawnObject &o) {
        DrawingLayer &layer = all ? *all : *by_kind.at(o.kind);
        layer.write(o, s.name, s.survey.layer_names);
        out.progress.step();
    });
    if (all) {
        all->commit();
        out.report.layers.push_back({all->name(), all->written()});
    }
    for (auto &[k, layer] : by_kind)
        out.report.layers.push_back({layer->name(), layer->written()});
}

void write_site_layer(Output &out, const fs::path &database) {
    const std::string name = unique_name(kSiteLayer, out.taken);
    const SiteExport sites = write_sites(out.ds, name, database, out.srs, out.progress);
    out.report.layers.push_back({name, sites.written});
    out.report.unplaced = sites.unplaced;
}

// Closing writes what the driver still holds; a failure then is the last error.
void close_dataset(Dataset &ds, const ExportOptions &options) {
    CPLErrorReset();
    ds.reset();
    if (CPLGetLastErrorType() == CE_Failure)
        throw ConvertError(gdal_error("cannot finish " + options.out.string()));
}

} // namespace

ExportReport export_project(const ExportOptions &options) {
    init_gdal();
    ExportReport report;
    // The project as the viewer opens it, which changes nothing in its folder. Drawings
    // beyond those the viewer loads are noted, not written.
    const std::string folder = options.data.string() + "/";
    const std::string project = project::project_file_of(folder);
    state::UiHooks hooks;
    hooks.status_message = [&report](const std::string &m) {
        if (m.rfind(project::kNotLoaded, 0) == 0)
            report.not_loaded.push_back(
                fs::path(m.substr(std::strlen(project::kNotLoaded))).filename());
    };
    project::Session session(1, 1, hooks, folder);
    if (!session.open(folder))
        throw ConvertError("cannot read the project " + project);
    const state::DrawingTable &drawings = session.state().drawings;
    const Sources sources = read_sources(drawings, report);
    if (sources.readable.empty() && !options.sites)
        throw ConvertError("the project " + project + " lists no drawing that can be read");

    const std::string extension = format_extension(options);
    const OutputFormat format =
        choose_format(extension.empty() ? options.out : fs::path("output." + extension));
    const Contents contents = contents_of(sources.readable);
    check_output_holds(format, options, contents);
    const std::optional<fs::path> database = site_database(options, sources, drawings);
    const int64_t total = contents.objects + (database ? count_sites(*database) : 0);

    Staging staging(options.out, format.folder, extension);
    try {
        Dataset ds = create_dataset(format, staging, options);
        const Srs grid = national_grid();
        const Palette palette;
        Progress progress(total, options.progress);
        Output out{static_cast<GDALDatasetH>(ds.get()),
                   static_cast<OGRSpatialReferenceH>(grid.get()),
                   palette,
                   progress,
                   report,
                   {}};
        if (format.one_layer)
            write_single_layer(out, format, options, contents, sources.readable);
        else
            for (const Source &s : sources.readable)
                write_drawing_layers(out, format, s);
        if (database)
            write_site_layer(out, *database);
        progress.finish();
        close_dataset(ds, options);
    } catch (const ConvertError &e) {
        staging.fail(e.what());
    }
    staging.commit();
    return report;
}

} // namespace convert
