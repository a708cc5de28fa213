// Shared pieces of the converter's tests: a small project written with the drawing
// writer, the objects of a drawing read back, and features of an OGR layer read back.
#pragma once

#include <gtest/gtest.h>

#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "drawing/drw_reader.h"
#include "platform/base/files.h"
#include "tools/writers/drw_writer.h"

namespace convert_test {

namespace fs = std::filesystem;

// A drawing object as read back from a .drw: its code, group and points.
struct ReadObject {
    int16_t code = 0;
    std::string group;
    int16_t kind = 0;
    drawing::ObjectHeader header;         // polygons and polylines
    drawing::AnnotationRecord annotation; // annotations
    std::vector<ZT_Point3> points;
};

struct ReadDrawing {
    std::vector<ReadObject> objects;      // -14, -22 and -19, in file order
    std::vector<std::string> groups;      // object groups in file order
    std::vector<std::string> layer_names; // of the layer table, by number
};

inline ReadDrawing read_drawing_file(const fs::path &drw) {
    ReadDrawing d;
    auto f = files::BinaryFile::open_existing(drw);
    drawing::DrawingWalker w(f);
    std::string group;
    int16_t kind = 0;
    while (w.next()) {
        using K = drawing::DrawingWalker::Kind;
        if (w.kind() == K::Group) {
            group = drawing::trimmed(w.group().name);
            kind = w.group().kind;
            if (group != drawing::kLayerTableName)
                d.groups.push_back(group);
        } else if (w.kind() == K::Layer) {
            d.layer_names.push_back(drawing::trimmed(w.layer().name));
        } else if (w.kind() == K::Annotation ||
                   (w.kind() == K::Object &&
                    (w.code() == drawing::kCodePolygon || w.code() == drawing::kCodePolyline))) {
            ReadObject o{
                w.code(),       group,
                kind,           w.object(),
                w.annotation(), std::vector<ZT_Point3>(w.points(), w.points() + w.point_count())};
            d.objects.push_back(std::move(o));
        }
    }
    return d;
}

// A feature of an OGR layer: its fields as text and its geometry as WKT.
struct ReadFeature {
    std::map<std::string, std::string> fields; // null fields left out
    std::string wkt;
    std::string field(const std::string &name) const {
        const auto it = fields.find(name);
        return it == fields.end() ? "(null)" : it->second;
    }
};

inline std::vector<ReadFeature> read_layer(const fs::path &path, const std::string &layer_name,
                                           std::string *srs_code = nullptr) {
    GDALAllRegister();
    std::vector<ReadFeature> out;
    GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
    if (ds == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return out;
    }
    OGRLayerH layer = GDALDatasetGetLayerByName(ds, layer_name.c_str());
    if (layer == nullptr) {
        ADD_FAILURE() << "no layer " << layer_name << " in " << path;
        GDALClose(ds);
        return out;
    }
    if (srs_code != nullptr) {
        OGRSpatialReferenceH srs = OGR_L_GetSpatialRef(layer);
        const char *code = srs ? OSRGetAuthorityCode(srs, nullptr) : nullptr;
        *srs_code = code ? code : "";
    }
    OGRFeatureDefnH defn = OGR_L_GetLayerDefn(layer);
    for (OGRFeatureH f; (f = OGR_L_GetNextFeature(layer)) != nullptr; OGR_F_Destroy(f)) {
        ReadFeature r;
        for (int i = 0; i < OGR_FD_GetFieldCount(defn); ++i)
            if (OGR_F_IsFieldSetAndNotNull(f, i))
                r.fields[OGR_Fld_GetNameRef(OGR_FD_GetFieldDefn(defn, i))] =
                    OGR_F_GetFieldAsString(f, i);
        if (OGRGeometryH g = OGR_F_GetGeometryRef(f)) {
            char *wkt = nullptr;
            OGR_G_ExportToIsoWkt(g, &wkt);
            r.wkt = wkt;
            CPLFree(wkt);
        }
        out.push_back(std::move(r));
    }
    GDALClose(ds);
    return out;
}

// Writes a project file listing the given drawings.
inline void write_project(const fs::path &folder, const std::string &content) {
    std::ofstream(folder / "tavi.zpj", std::ios::binary) << content;
}

inline void save_drawing(writers::DrwWriter &w, const fs::path &drw) {
    ASSERT_TRUE(w.save(drw));
    ASSERT_TRUE(writers::write_index(fs::path(drw).replace_extension(".zix"), w.index_records()));
    ASSERT_TRUE(
        writers::write_object_table(fs::path(drw).replace_extension(".dbf"), w.object_rows()));
}

// A drawing with one object of each kind, a hidden one, a header-only one with its loose
// points, and a group in tenths.
inline void write_roman(const fs::path &folder) {
    writers::DrwWriter w;
    w.layer_table({"FEATURES", "WALLS", "LABELS"});
    w.begin_group(1, "WALL 12");
    auto wall = writers::header({.colour = 4,
                                 .fill = 8,
                                 .line_width = 40,
                                 .pen_style = 1,
                                 .layer = 1,
                                 .reference = "F104"});
    wall.text1 = drawing::text12("WALL");
    w.polygon(std::vector<ZT_Point3>{{49640000, 37000000, 0},
                                     {49641000, 37000000, 0},
                                     {49641000, 37000500, 0}},
              wall);
    w.polyline(std::vector<ZT_Point3>{{49640000, 37001000, 0}, {49642000, 37001500, 0}},
               writers::header({.colour = 5, .pen_style = 2, .layer = 2, .reference = "F105"}));
    drawing::AnnotationRecord a;
    a.layer = 2;
    a.text1 = drawing::text12("ERA 7");
    w.annotation(std::vector<ZT_Point3>{{49640100, 37000100, 0}, {49646100, 37000100, 0}}, a);
    w.hidden(std::vector<ZT_Point3>{{49640000, 37000000, 0}, {49650000, 37000000, 0}});
    w.header_only(writers::header({}), std::vector<ZT_Point3>{{49640000, 37000000, 0}});
    w.begin_group(10, "PITS");
    w.polygon(std::vector<ZT_Point3>{{496400123, 370000456, 0},
                                     {496400223, 370000456, 0},
                                     {496400223, 370000556, 0}},
              writers::header({.colour = 6, .fill = 26}));
    w.end_mark();
    save_drawing(w, folder / "roman.drw");
}

} // namespace convert_test
