// The converter's way in: OGR layers as drawings, read back with the drawing walker.
#include <gtest/gtest.h>

#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "convert_test_support.h"
#include "drawing/object_list.h"
#include "support/temp_folder.h"
#include "tools/convert/convert_error.h"
#include "tools/convert/export_project.h"
#include "tools/convert/ogr_to_drawing.h"

namespace {

namespace fs = std::filesystem;
using namespace convert_test;
using testing_support::TempFolder;

// A vector file made through GDAL's C API: one layer, a text field "name", features from
// WKT (an empty WKT is a feature without geometry).
void make_layer(const fs::path &path, const char *driver, int epsg,
                const std::vector<std::pair<std::string, std::string>> &features,
                OGRwkbGeometryType type = wkbUnknown) {
    GDALAllRegister();
    GDALDatasetH ds =
        GDALCreate(GDALGetDriverByName(driver), path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    ASSERT_NE(ds, nullptr) << path;
    OGRSpatialReferenceH srs = nullptr;
    if (epsg != 0) {
        srs = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(srs, epsg);
    }
    OGRLayerH layer = GDALDatasetCreateLayer(ds, path.stem().c_str(), srs, type, nullptr);
    ASSERT_NE(layer, nullptr);
    OGRFieldDefnH fd = OGR_Fld_Create("name", OFTString);
    OGR_L_CreateField(layer, fd, TRUE);
    OGR_Fld_Destroy(fd);
    for (const auto &[name, wkt] : features) {
        OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(layer));
        OGR_F_SetFieldString(f, 0, name.c_str());
        if (!wkt.empty()) {
            OGRGeometryH g = nullptr;
            char *text = const_cast<char *>(wkt.c_str());
            ASSERT_EQ(OGR_G_CreateFromWkt(&text, srs, &g), OGRERR_NONE) << wkt;
            OGR_F_SetGeometryDirectly(f, g);
        }
        EXPECT_EQ(OGR_L_CreateFeature(layer, f), OGRERR_NONE) << wkt;
        OGR_F_Destroy(f);
    }
    if (srs != nullptr)
        OSRRelease(srs);
    GDALClose(ds);
}

convert::ImportOptions options(const fs::path &from, const fs::path &to) {
    convert::ImportOptions o;
    o.from = from;
    o.to = to;
    o.name_field = "name";
    return o;
}

TEST(ConvertImport, PartsRingsAndHolesBecomeObjectsOfTheFeaturesGroup) {
    TempFolder temp;
    const fs::path gpkg = temp.path() / "survey.gpkg";
    make_layer(gpkg, "GPKG", 27700,
               {{"FIELD 1", "MULTIPOLYGON (((496000 370000,496100 370000,496100 370100,"
                            "496000 370100,496000 370000),(496040 370040,496060 370040,"
                            "496060 370060,496040 370040)),((496200 370000,496300 370000,"
                            "496300 370050,496200 370000)))"},
                {"DITCHES", "MULTILINESTRING ((496000 371000,496500 371000),"
                            "(496000 371100,496500 371100,496600 371200))"},
                {"MIXED", "GEOMETRYCOLLECTION (POINT (496000 370000))"},
                {"WELL", "POINT Z (496010.5 370020.25 12.5)"},
                {"ARC", "CIRCULARSTRING (496000 372000,496100 372100,496200 372000)"},
                {"BLANK", ""}});
    const fs::path drw = temp.path() / "survey.drw";
    const convert::ImportReport r = convert::import_layer(options(gpkg, drw));
    EXPECT_EQ(r.features, 4);
    EXPECT_EQ(r.groups, 4);
    EXPECT_EQ(r.refused.size(), 1u);
    EXPECT_EQ(r.refused_total(), 1);
    EXPECT_EQ(r.without_geometry, 1);
    EXPECT_FALSE(r.reprojected);

    const ReadDrawing d = read_drawing_file(drw);
    EXPECT_EQ(d.groups, (std::vector<std::string>{"FIELD 1", "DITCHES", "WELL", "ARC"}));
    ASSERT_EQ(d.objects.size(), 7u);
    struct Expect {
        int16_t code;
        const char *group;
        std::vector<ZT_Point3> points; // empty: only the count is checked
        std::size_t count;
    } expect[] = {
        // Rings lose their closing point; the hole is a polygon of its own.
        {drawing::kCodePolygon,
         "FIELD 1",
         {{49600000, 37000000, 0},
          {49610000, 37000000, 0},
          {49610000, 37010000, 0},
          {49600000, 37010000, 0}},
         4},
        {drawing::kCodePolygon,
         "FIELD 1",
         {{49604000, 37004000, 0}, {49606000, 37004000, 0}, {49606000, 37006000, 0}},
         3},
        {drawing::kCodePolygon,
         "FIELD 1",
         {{49620000, 37000000, 0}, {49630000, 37000000, 0}, {49630000, 37005000, 0}},
         3},
        {drawing::kCodePolyline, "DITCHES", {{49600000, 37100000, 0}, {49650000, 37100000, 0}}, 2},
        {drawing::kCodePolyline, "DITCHES", {}, 3},
        {drawing::kCodeAnnotation, "WELL", {{49601050, 37002025, 1250}}, 1},
        {drawing::kCodePolyline, "ARC", {}, 0}, // followed by many short segments
    };
    for (std::size_t k = 0; k < d.objects.size(); ++k) {
        const ReadObject &o = d.objects[k];
        EXPECT_EQ(o.code, expect[k].code) << k;
        EXPECT_EQ(o.group, expect[k].group) << k;
        if (expect[k].count > 0) {
            EXPECT_EQ(o.points.size(), expect[k].count) << k;
        }
        for (std::size_t i = 0; i < expect[k].points.size() && i < o.points.size(); ++i) {
            EXPECT_EQ(o.points[i].x, expect[k].points[i].x) << k << "." << i;
            EXPECT_EQ(o.points[i].y, expect[k].points[i].y) << k << "." << i;
            EXPECT_EQ(o.points[i].z, expect[k].points[i].z) << k << "." << i;
        }
    }
    EXPECT_GT(d.objects[6].points.size(), 10u);
    // The drawn-object list, which passes over an index's first record, lists every
    // group; the object table is there for the references.
    state::DrawingTable table;
    state::DrawingEntry entry;
    entry.file_name = drw.string();
    table.add(entry);
    EXPECT_EQ(drawing::list_objects(table, 1).size(), 4u);
    EXPECT_TRUE(fs::exists(temp.path() / "survey.dbf"));
}

TEST(ConvertImport, ExportedDrawingComesBackTheSameTenthsIncluded) {
    TempFolder temp;
    write_roman(temp.path());
    write_project(temp.path(), "roman.drw\r\n");
    const fs::path gpkg = temp.path() / "roman.gpkg";
    convert::export_project({temp.path(), gpkg, false, stderr});
    convert::ImportOptions o = options(gpkg, temp.path() / "back.drw");
    o.layer = "roman";
    o.name_field = "group";
    o.ref_field = "reference";
    convert::import_layer(o);

    const ReadDrawing before = read_drawing_file(temp.path() / "roman.drw");
    const ReadDrawing after = read_drawing_file(temp.path() / "back.drw");
    EXPECT_EQ(after.groups, before.groups);
    ASSERT_EQ(after.objects.size(), before.objects.size());
    for (std::size_t k = 0; k < before.objects.size(); ++k) {
        const ReadObject &a = after.objects[k], &b = before.objects[k];
        EXPECT_EQ(a.code, b.code) << k;
        EXPECT_EQ(a.kind, b.kind) << k;
        ASSERT_EQ(a.points.size(), b.points.size()) << k;
        for (std::size_t i = 0; i < a.points.size(); ++i) {
            EXPECT_EQ(a.points[i].x, b.points[i].x) << k; // 496400.123 m: 496400123 tenths
            EXPECT_EQ(a.points[i].y, b.points[i].y) << k;
        }
        if (a.code == drawing::kCodeAnnotation) {
            EXPECT_EQ(a.annotation.text1, b.annotation.text1);
            EXPECT_EQ(a.annotation.layer, b.annotation.layer);
        } else {
            for (auto [x, y] : {std::pair{a.header.colour, b.header.colour},
                                {a.header.fill, b.header.fill},
                                {a.header.pen_style, b.header.pen_style},
                                {a.header.layer, b.header.layer}})
                EXPECT_EQ(x, y) << k;
            EXPECT_EQ(a.header.line_width, b.header.line_width) << k;
            EXPECT_EQ(a.header.text1, b.header.text1) << k;
            EXPECT_EQ(a.header.text2, b.header.text2) << k;
        }
    }
    EXPECT_EQ(after.layer_names[1], "WALLS");
}

TEST(ConvertImport, AShapefileInLongitudeAndLatitudeIsReprojected) {
    TempFolder temp;
    // National grid points and where they lie in WGS 84, by the same library.
    const double east[] = {496000.0, 497250.5, 498500.0}, north[] = {368000.0, 369500.0, 371000.0};
    OGRSpatialReferenceH grid = OSRNewSpatialReference(nullptr),
                         wgs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(grid, 27700);
    OSRImportFromEPSG(wgs, 4326);
    OSRSetAxisMappingStrategy(grid, OAMS_TRADITIONAL_GIS_ORDER);
    OSRSetAxisMappingStrategy(wgs, OAMS_TRADITIONAL_GIS_ORDER);
    OGRCoordinateTransformationH ct = OCTNewCoordinateTransformation(grid, wgs);
    std::string wkt = "LINESTRING (";
    for (int k = 0; k < 3; ++k) {
        double x = east[k], y = north[k];
        ASSERT_TRUE(OCTTransform(ct, 1, &x, &y, nullptr));
        EXPECT_LT(x, 0.0); // west of Greenwich: plainly longitudes
        wkt += (k ? "," : "") + std::to_string(x) + " " + std::to_string(y);
    }
    OCTDestroyCoordinateTransformation(ct);
    OSRRelease(grid);
    OSRRelease(wgs);
    const fs::path shp = temp.path() / "road.shp";
    make_layer(shp, "ESRI Shapefile", 4326, {{"OLD ROAD", wkt + ")"}}, wkbLineString);

    const convert::ImportReport r = convert::import_layer(options(shp, temp.path() / "road.drw"));
    EXPECT_TRUE(r.reprojected);
    const ReadDrawing d = read_drawing_file(temp.path() / "road.drw");
    ASSERT_EQ(d.objects.size(), 1u);
    ASSERT_EQ(d.objects[0].points.size(), 3u);
    for (int k = 0; k < 3; ++k) { // six decimals of a degree: within 10 cm
        EXPECT_NEAR(d.objects[0].points[k].x, east[k] * 100, 10) << k;
        EXPECT_NEAR(d.objects[0].points[k].y, north[k] * 100, 10) << k;
    }
}

TEST(ConvertImport, RefusedInputWritesNothing) {
    TempFolder temp;
    const fs::path off_grid = temp.path() / "offgrid.gpkg";
    make_layer(off_grid, "GPKG", 27700, {{"A", "POINT (496000 370000)"}, {"B", "POINT (-5 100)"}});
    // Longitudes and latitudes in a Shapefile without a .prj: read as the grid, they lie
    // west of it.
    const fs::path no_crs = temp.path() / "nocrs.shp";
    make_layer(no_crs, "ESRI Shapefile", 0, {{"A", "POINT (-0.54 53.23)"}}, wkbPoint);
    struct Case {
        fs::path from;
        std::string layer, name_field, to, message;
    } cases[] = {
        {off_grid, "offgrid", "name", "a.drw", "outside the national grid at (-5.00, 100.00)"},
        {no_crs, "", "name", "b.drw", "declares no coordinate system"},
        {off_grid, "roads", "name", "c.drw", "no layer 'roads'"},
        {off_grid, "offgrid", "title", "d.drw", "no field 'title'"},
        {off_grid, "offgrid", "name", "e.dwg", "NAME.drw"},
        {temp.path() / "absent.gpkg", "", "", "f.drw", "cannot read"},
    };
    for (const Case &c : cases) {
        convert::ImportOptions o = options(c.from, temp.path() / c.to);
        o.layer = c.layer;
        o.name_field = c.name_field;
        try {
            convert::import_layer(o);
            ADD_FAILURE() << c.to << ": no error";
        } catch (const convert::ConvertError &e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_FALSE(fs::exists(o.to)) << c.to;
    }
    // Nothing half-made is left beside the drawings either.
    for (const auto &e : fs::directory_iterator(temp.path()))
        EXPECT_NE(e.path().filename().string().rfind(".tavi-convert", 0), 0u) << e.path();
}

} // namespace
