// The enquiry against a GIS: for a point, a route and a concave boundary, typed as WKT,
// written to a national-grid GeoPackage and to a longitude/latitude GeoJSON (with GDAL's
// own writers), the sites found within R must be exactly those GEOS's buffer of the shape
// intersects - but for points so near the buffer's rim that the buffer's chords (its
// arcs are polygons) and the file's round trip through degrees may decide either way.
// Then the shapes and radii that are refused, each in one line.
#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "interrogation/enquiry.h"
#include "interrogation/enquiry_tool.h"
#include "interrogation/label_layout.h"
#include "interrogation/mouse_tools.h"
#include "support/temp_folder.h"
#include "tools/writers/companions.h"
#include "tools/writers/drw_writer.h"
#include "zent32i_binding.h"

namespace {

using namespace interrogation;
namespace fs = std::filesystem;

constexpr const char *kPoint = "POINT (497000 370000)";
constexpr const char *kRoute = "LINESTRING (496500 369800,497000 370300,497600 370100)";
// A U open to the north: its notch is outside, though every side of it is near.
constexpr const char *kConcave =
    "POLYGON ((496800 369800,497300 369800,497300 370300,497150 370300,497150 369950,"
    "496950 369950,496950 370300,496800 370300,496800 369800))";

// Points closer than this to the rim of the buffer are left out of the comparison: a
// GIS buffer's arcs are chords (30 to a quarter circle), which lie up to R (1 - cos 1.5°)
// inside the true circle, a third of a metre at 1 km.
double rim_band(double radius) {
    return 0.25 + radius * (1.0 - std::cos(M_PI / 120.0));
}

enum class Source { Wkt, GridGeoPackage, LonLatGeoJson };

OGRGeometryUniquePtr geometry(const std::string &wkt) {
    OGRGeometry *g = nullptr;
    OGRGeometryFactory::createFromWkt(wkt.c_str(), nullptr, &g);
    return OGRGeometryUniquePtr(g);
}

OGRSpatialReference crs(int epsg) {
    OGRSpatialReference s;
    s.importFromEPSG(epsg);
    s.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return s;
}

// The shape written as the one feature of a file, through GDAL's driver of that name.
fs::path write_file(const fs::path &folder, const std::string &wkt, Source source) {
    GDALAllRegister();
    const bool lonlat = source == Source::LonLatGeoJson;
    const fs::path file = folder / (lonlat ? "shape.geojson" : "shape.gpkg");
    GDALDriver *driver = GetGDALDriverManager()->GetDriverByName(lonlat ? "GeoJSON" : "GPKG");
    std::unique_ptr<GDALDataset> ds(driver->Create(file.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    OGRSpatialReference grid = crs(27700), wgs84 = crs(4326);
    char rfc[] = "RFC7946=YES";
    char *options[] = {rfc, nullptr};
    OGRLayer *layer =
        ds->CreateLayer("shape", lonlat ? &wgs84 : &grid, wkbUnknown, lonlat ? options : nullptr);
    OGRGeometryUniquePtr g = geometry(wkt);
    if (lonlat) {
        std::unique_ptr<OGRCoordinateTransformation> t(
            OGRCreateCoordinateTransformation(&grid, &wgs84));
        g->transform(t.get());
    }
    OGRFeature feature(layer->GetLayerDefn());
    feature.SetGeometry(g.get());
    EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    return file;
}

// 20,000 points strewn over 3 km around the shapes, on whole centimetres.
const state::PointStore &strewn() {
    static const state::PointStore store = [] {
        zt::ZT_Ini_Zent32dll();
        std::mt19937 rng(30);
        std::uniform_int_distribution<int32_t> east(49550000, 49860000), north(36850000, 37150000);
        state::PlacedPoints placed;
        for (int i = 0; i < 20000; ++i)
            placed.add(east(rng), north(rng), state::ExcavationPoint{});
        state::PointStore s;
        s.replace(state::PointSet{}, std::move(placed));
        return s;
    }();
    return store;
}

struct Case {
    const char *name;
    const char *wkt;
    EnquiryKind kind;
    double radius;
};

const Case kCases[] = {
    {"point 48 m", kPoint, EnquiryKind::Point, 48},
    {"point 1 km", kPoint, EnquiryKind::Point, 1000},
    {"route 0 m", kRoute, EnquiryKind::Route, 0},
    {"route 50 m", kRoute, EnquiryKind::Route, 50},
    {"route 250 m", kRoute, EnquiryKind::Route, 250},
    {"concave boundary 0 m", kConcave, EnquiryKind::Boundary, 0},
    {"concave boundary 40 m", kConcave, EnquiryKind::Boundary, 40},
    {"concave boundary 250 m", kConcave, EnquiryKind::Boundary, 250},
};

TEST(Enquiry, FindsWhatGeosBufferAndIntersectsFindForEveryShapeFromEverySource) {
    testing_support::TempFolder temp;
    const state::PointStore &store = strewn();
    for (const Case &c : kCases) {
        const OGRGeometryUniquePtr shape = geometry(c.wkt);
        const OGRGeometryUniquePtr buffer(c.radius > 0 ? shape->Buffer(c.radius) : shape->clone());
        const OGRGeometryUniquePtr rim_line(c.kind == EnquiryKind::Boundary ? shape->Boundary()
                                                                            : shape->clone());
        for (const Source source : {Source::Wkt, Source::GridGeoPackage, Source::LonLatGeoJson}) {
            const std::string label =
                std::string(c.name) + (source == Source::Wkt              ? " from WKT"
                                       : source == Source::GridGeoPackage ? " from a GeoPackage"
                                                                          : " from GeoJSON");
            Enquiry e;
            e.radius_m = c.radius;
            if (source == Source::Wkt) {
                e.shape = shape_from_wkt(c.wkt);
            } else {
                const fs::path folder = temp.path() / (std::string(c.name) + label);
                fs::create_directories(folder);
                const fs::path file = write_file(folder, c.wkt, source);
                if (c.kind == EnquiryKind::Point) {
                    // A file of points only is refused: a point is typed.
                    EXPECT_THROW(shape_from_file(file), EnquiryError) << label;
                    continue;
                }
                e.shape = shape_from_file(file);
                EXPECT_EQ(e.shape.source, file.filename().string()) << label;
            }
            EXPECT_EQ(e.shape.kind, c.kind) << label;
            std::set<int32_t> found;
            for (const EnquiryPoint &p : enquiry_points(store, e)) {
                found.insert(p.index);
                EXPECT_LE(p.distance_m, c.radius + 1e-6) << label;
            }
            int compared = 0, in_gis = 0, rim = 0;
            for (int32_t i = 0; i < store.count(); ++i) {
                const OGRPoint at(store.easting(i) / 100.0, store.northing(i) / 100.0);
                // With no radius the rim is the boundary itself (inside is nought away).
                const double off = c.radius > 0 ? std::abs(shape->Distance(&at) - c.radius)
                                                : rim_line->Distance(&at);
                if (off < rim_band(c.radius)) {
                    ++rim;
                    continue;
                }
                const bool gis = buffer->Intersects(&at);
                in_gis += gis ? 1 : 0;
                ++compared;
                EXPECT_EQ(found.count(i) == 1, gis)
                    << label << ": the point " << at.getX() << " " << at.getY();
            }
            // The comparison means something: sites found, and few left to the rim.
            if (c.radius > 0) {
                EXPECT_GT(in_gis, 10) << label;
            }
            EXPECT_LT(rim, compared / 100 + 5) << label;
        }
    }
}

// The file kinds a consultant sends, each written by GDAL's own driver: the same boundary
// gives the same sites as its WKT. KML is longitude/latitude by definition; DXF and a
// shapefile without .prj carry no coordinate system (national-grid metres, plausible).
TEST(Enquiry, EveryFileKindGivesTheSitesItsWktGives) {
    testing_support::TempFolder temp;
    GDALAllRegister();
    const state::PointStore &store = strewn();
    Enquiry typed;
    typed.shape = shape_from_wkt(kConcave);
    // Little more than the boundary: a closed line read as a route would miss its inside.
    typed.radius_m = 10;
    std::set<int32_t> expected;
    for (const EnquiryPoint &p : enquiry_points(store, typed))
        expected.insert(p.index);
    struct Kind {
        const char *driver, *name;
        int epsg;             // 0: no coordinate system
        bool as_line = false; // the boundary written as a closed line, as CAD draws it
    };
    const Kind kinds[] = {
        {"KML", "site.kml", 4326},          {"DXF", "site.dxf", 0},
        {"DXF", "closed.dxf", 0, true},     {"ESRI Shapefile", "site.shp", 27700},
        {"ESRI Shapefile", "nocrs.shp", 0}, {"ESRI Shapefile", "ring.shp", 27700, true},
        {"GML", "site.gml", 27700},         {"GeoJSON", "site.geojson", 4326}};
    for (const Kind &k : kinds) {
        GDALDriver *driver = GetGDALDriverManager()->GetDriverByName(k.driver);
        if (driver == nullptr) {
            ADD_FAILURE() << "GDAL has no " << k.driver << " driver";
            continue;
        }
        const fs::path folder = temp.path() / (std::string(k.driver) + k.name);
        fs::create_directories(folder);
        const fs::path file = folder / k.name;
        {
            std::unique_ptr<GDALDataset> ds(
                driver->Create(file.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
            ASSERT_NE(ds, nullptr) << k.driver;
            OGRSpatialReference grid = crs(27700), to = crs(k.epsg == 0 ? 27700 : k.epsg);
            OGRLayer *layer = ds->CreateLayer("site", k.epsg == 0 ? nullptr : &to,
                                              k.driver == std::string("DXF") ? wkbUnknown
                                              : k.as_line                    ? wkbLineString
                                                                             : wkbPolygon,
                                              nullptr);
            ASSERT_NE(layer, nullptr) << k.driver;
            OGRGeometryUniquePtr g = geometry(kConcave);
            if (k.as_line)
                g.reset(g->toPolygon()->getExteriorRing()->clone());
            if (k.epsg != 0 && k.epsg != 27700) {
                std::unique_ptr<OGRCoordinateTransformation> t(
                    OGRCreateCoordinateTransformation(&grid, &to));
                g->transform(t.get());
            }
            OGRFeature feature(layer->GetLayerDefn());
            feature.SetGeometry(g.get());
            ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE) << k.driver;
        }
        Enquiry e;
        try {
            e.shape = shape_from_file(file);
        } catch (const EnquiryError &error) {
            ADD_FAILURE() << k.driver << ": " << error.what();
            continue;
        }
        e.radius_m = 10;
        EXPECT_EQ(e.shape.kind, EnquiryKind::Boundary) << k.driver << " " << k.name;
        std::set<int32_t> found;
        for (const EnquiryPoint &p : enquiry_points(store, e))
            found.insert(p.index);
        // Through degrees a vertex moves by a millimetre or so: a site or two on the rim
        // may fall either way.
        std::vector<int32_t> differ;
        std::set_symmetric_difference(expected.begin(), expected.end(), found.begin(), found.end(),
                                      std::back_inserter(differ));
        EXPECT_LE(differ.size(), k.epsg == 4326 ? 2u : 0u) << k.driver << " " << k.name;
        EXPECT_GT(found.size(), 100u) << k.driver;
    }
}

TEST(Enquiry, TheAreaIsTheShapeGrownAndTheWordsSayWhatWasAsked) {
    Enquiry e;
    e.shape = shape_from_wkt(kConcave);
    e.radius_m = 250;
    EXPECT_NEAR(e.shape.area_m2, 500.0 * 150 + 2 * 150 * 350, 1e-6);
    const std::vector<Shape> area = enquiry_area(e);
    ASSERT_FALSE(area.empty());
    int32_t west = INT32_MAX;
    for (const ShapePoint &v : area.front())
        west = std::min(west, v.x);
    EXPECT_NEAR(west, (496800 - 250) * 100, 1);
    EXPECT_EQ(enquiry_line(e), "Within 250 m of the boundary (18 ha)");
    e.shape.source = "boundary.shp";
    EXPECT_EQ(enquiry_title(e), "Sites within 250 m of boundary.shp");
    EXPECT_EQ(enquiry_line(e), "Within 250 m of the boundary in boundary.shp (18 ha)");
    e.shape =
        shape_from_vertices(EnquiryKind::Route, {{49650000, 36980000, 0}, {49700000, 37030000, 0}});
    e.radius_m = 12.5;
    EXPECT_EQ(enquiry_title(e), "Sites within 12.5 m of the drawn route");
    e.shape = shape_from_wkt(kPoint);
    EXPECT_EQ(enquiry_line(e), "Within 12.5 m of the point SK 97000 70000");
}

// A shapefile's coordinates with no .prj beside it: taken as national grid only where
// they are plausible there.
fs::path shapefile_without_crs(const fs::path &folder, const std::string &wkt) {
    GDALAllRegister();
    const fs::path file = folder / "nocrs.shp";
    GDALDriver *driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
    std::unique_ptr<GDALDataset> ds(driver->Create(file.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    OGRLayer *layer = ds->CreateLayer("nocrs", nullptr, wkbPolygon, nullptr);
    OGRFeature feature(layer->GetLayerDefn());
    OGRGeometryUniquePtr g = geometry(wkt);
    feature.SetGeometry(g.get());
    EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    return file;
}

TEST(Enquiry, RefusesBadShapesAndRadiiInOneLine) {
    testing_support::TempFolder temp;
    const fs::path empty = temp.path() / "empty.geojson";
    std::ofstream(empty).flush();
    const fs::path no_features = temp.path() / "none.geojson";
    std::ofstream(no_features) << R"({"type":"FeatureCollection","features":[]})";
    const fs::path points = temp.path() / "points.geojson";
    std::ofstream(points)
        << R"({"type":"FeatureCollection","features":[{"type":"Feature",)"
           R"("properties":{},"geometry":{"type":"Point","coordinates":[-0.5,53.2]}}]})";
    const fs::path not_vector = temp.path() / "notes.txt";
    std::ofstream(not_vector) << "a planning officer's notes\n";
    fs::create_directories(temp.path() / "degrees");
    const fs::path degrees = shapefile_without_crs(
        temp.path() / "degrees", "POLYGON ((-0.5 53.2,-0.4 53.2,-0.4 53.3,-0.5 53.2))");
    fs::create_directories(temp.path() / "grid");
    const fs::path grid = shapefile_without_crs(
        temp.path() / "grid",
        "POLYGON ((497000 370000,497100 370000,497100 370100,497000 370000))");

    struct Refusal {
        std::function<void()> attempt;
        const char *says;
    };
    const std::vector<Refusal> refusals = {
        {[] { enquiry_radius("-1"); }, "0 to 5000 metres"},
        {[] { enquiry_radius("5000.5"); }, "0 to 5000 metres"},
        {[] { enquiry_radius("far"); }, "0 to 5000 metres"},
        {[] { checked_radius(std::nan("")); }, "0 to 5000 metres"},
        {[] { shape_from_wkt("POLYGON ((1 2, 3"); }, "not WKT that parses"},
        {[] { shape_from_wkt("MULTIPOINT ((497000 370000))"); }, "give a POINT"},
        {[] { shape_from_wkt("POLYGON EMPTY"); }, "empty"},
        {[] { shape_from_wkt("POINT (-0.5 53.2)"); }, "off the national grid"},
        {[&] { shape_from_file(temp.path() / "missing.gpkg"); }, "no such file"},
        {[&] { shape_from_file(empty); }, "is empty"},
        {[&] { shape_from_file(no_features); }, "holds no polygon or line"},
        {[&] { shape_from_file(points); }, "points only"},
        {[&] { shape_from_file(not_vector); }, "cannot read notes.txt"},
        {[&] { shape_from_file(degrees); }, "not national-grid metres"},
        {[] {
             shape_from_vertices(EnquiryKind::Boundary, {{1, 2, 0}, {3, 4, 0}});
         },
         "at least 3"},
    };
    for (const Refusal &r : refusals) {
        try {
            r.attempt();
            ADD_FAILURE() << "not refused: " << r.says;
        } catch (const EnquiryError &e) {
            const std::string said = e.what();
            EXPECT_NE(said.find(r.says), std::string::npos) << said;
            EXPECT_EQ(said.find('\n'), std::string::npos) << said;
        }
    }
    EXPECT_EQ(shape_from_file(grid).kind, EnquiryKind::Boundary);
    EXPECT_EQ(shape_from_text_or_file(grid.string()).source, "nocrs.shp");
    EXPECT_EQ(shape_from_text_or_file(" point (497000 370000)").kind, EnquiryKind::Point);
}

// Drawn features around a point, each group at a known true distance from it: a square
// 20 m east, a line 50 m north, a square whose nearest corner is 56.57 m off (its box is
// 40 m off: a box test would take it at 50 m) and a square 900 m east.
TEST(Enquiry, DrawnFeaturesAreThoseWithinTheRadiusByTrueDistanceInEveryUnit) {
    testing_support::TempFolder temp;
    constexpr int32_t kX = 40'100'000, kY = 30'200'000; // world units
    const auto square = [](int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t s) {
        return std::vector<ZT_Point3>{{(kX + x0) * s, (kY + y0) * s, 0},
                                      {(kX + x1) * s, (kY + y0) * s, 0},
                                      {(kX + x1) * s, (kY + y1) * s, 0},
                                      {(kX + x0) * s, (kY + y1) * s, 0}};
    };
    // In index order: by the groups' west edges.
    struct Radius {
        double metres;
        std::vector<std::string> found;
    };
    const Radius radii[] = {
        {0, {}},
        {25, {"NEAR"}},
        {55, {"LINE", "NEAR"}},
        {56.5, {"LINE", "NEAR"}},
        {56.6, {"LINE", "NEAR", "CORNER"}},
        {1000, {"LINE", "NEAR", "CORNER", "FAR"}},
    };
    for (const int16_t kind : {1, 10}) {
        const int32_t s = kind == 10 ? 10 : 1;
        writers::DrwWriter w;
        w.layer_table({"WALLS"});
        w.begin_group(kind, "NEAR");
        w.polygon(square(2000, -500, 3000, 500, s), writers::header({.reference = "Wall"}));
        w.begin_group(kind, "LINE");
        const std::vector<ZT_Point3> road{{kX * s, (kY + 5000) * s, 0},
                                          {(kX + 5000) * s, (kY + 5000) * s, 0}};
        w.polyline(road, writers::header({.reference = "Road"}));
        w.begin_group(kind, "CORNER");
        w.polygon(square(4000, 4000, 5000, 5000, s), writers::header({.reference = "Yard"}));
        w.begin_group(kind, "FAR");
        w.polygon(square(90000, -500, 100000, 500, s), writers::header({.reference = "Bank"}));
        w.end_mark();
        const fs::path drw = temp.path() / ("kind" + std::to_string(kind) + ".drw");
        ASSERT_TRUE(w.save(drw));
        ASSERT_TRUE(writers::write_index(drw.parent_path() / (drw.stem().string() + ".zix"),
                                         w.index_records()));
        state::DrawingTable drawings;
        state::DrawingEntry entry;
        entry.file_name = drw.string();
        drawings.add(entry);
        for (const Radius &r : radii) {
            Enquiry e;
            e.shape = shape_from_vertices(EnquiryKind::Point, {{kX, kY, 0}});
            e.radius_m = r.metres;
            std::vector<std::string> found;
            for (const EnquiryFeature &f : enquiry_features(drawings, e)) {
                found.push_back(f.reference);
                EXPECT_EQ(f.drawing, 1);
                EXPECT_EQ(f.drawing_name, "Prehistoric");
                EXPECT_EQ(f.kind, f.reference == "LINE" ? "line" : "polygon");
                ASSERT_EQ(f.outlines.size(), 1u);
                // Outlines in world units whatever the drawing's.
                EXPECT_NEAR(f.outlines[0][0].x, kX, 100000);
            }
            EXPECT_EQ(found, r.found) << "kind " << kind << ", " << r.metres << " m";
        }
    }
}

// Ring labels as the report's map places them: never one over another, inside the map,
// beside the ring where there is room and off it, with a leader, where there is not.
TEST(RingLabels, NoLabelCoversAnotherHoweverTheRingsCrowd) {
    const QRectF map(0, 0, 1000, 700);
    const double ring = 12, gap = 2;
    struct Crowd {
        const char *name;
        std::vector<QPointF> centres;
    };
    std::vector<Crowd> crowds;
    Crowd spread{"spread", {}};
    for (int i = 0; i < 20; ++i)
        spread.centres.emplace_back(50 + 45 * i, 100 + 20 * (i % 5));
    crowds.push_back(spread);
    Crowd cluster{"a cluster of 60", {}};
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> near(480, 520);
    for (int i = 0; i < 60; ++i)
        cluster.centres.emplace_back(near(rng), near(rng) - 150);
    crowds.push_back(cluster);
    crowds.push_back(Crowd{"one place ten times", std::vector<QPointF>(10, QPointF(500, 350))});
    crowds.push_back(Crowd{"in a corner", std::vector<QPointF>(8, QPointF(995, 5))});
    for (const Crowd &c : crowds) {
        std::vector<QSizeF> sizes;
        for (std::size_t i = 0; i < c.centres.size(); ++i)
            sizes.emplace_back(i < 9 ? 14 : 22, 16);
        const std::vector<RingLabel> labels = place_ring_labels(c.centres, sizes, ring, gap, map);
        ASSERT_EQ(labels.size(), c.centres.size()) << c.name;
        for (std::size_t i = 0; i < labels.size(); ++i) {
            EXPECT_TRUE(map.contains(labels[i].box)) << c.name << " label " << i + 1;
            EXPECT_EQ(labels[i].box.size(), sizes[i]) << c.name;
            for (std::size_t j = 0; j < i; ++j)
                EXPECT_FALSE(labels[i].box.intersects(labels[j].box))
                    << c.name << ": labels " << j + 1 << " and " << i + 1;
        }
        // The first always stands beside its ring, where the eye looks for it.
        EXPECT_FALSE(labels.front().leader) << c.name;
        // A label without a leader touches its ring; ten at one place cannot all.
        int leaders = 0;
        for (std::size_t i = 0; i < labels.size(); ++i) {
            const QRectF &b = labels[i].box;
            const QPointF at = c.centres[i];
            const double dx = std::max({b.left() - at.x(), 0.0, at.x() - b.right()});
            const double dy = std::max({b.top() - at.y(), 0.0, at.y() - b.bottom()});
            if (!labels[i].leader) {
                EXPECT_LE(std::hypot(dx, dy), ring + 0.01) << c.name << " label " << i + 1;
            }
            leaders += labels[i].leader ? 1 : 0;
        }
        if (c.centres.size() == 10) {
            EXPECT_GT(leaders, 0) << c.name;
        }
    }
}

// The enquiry tool digitises as the polygon and polyline tools do; a point is one click.
TEST(EnquiryTool, DigitisesABoundaryARouteOrAPointAndEndsTheTool) {
    struct Case {
        state::EnquiryShapeKind shape;
        std::vector<std::pair<int32_t, int32_t>> lefts; // world points clicked
        std::optional<EnquiryKind> gives;
        std::size_t vertices;
    };
    const Case cases[] = {
        {state::EnquiryShapeKind::Boundary,
         {{49650000, 36980000}, {49660000, 36980000}, {49660000, 36990000}},
         EnquiryKind::Boundary,
         4},
        {state::EnquiryShapeKind::Route,
         {{49650000, 36980000}, {49660000, 36990000}},
         EnquiryKind::Route,
         2},
        {state::EnquiryShapeKind::Point, {{49650000, 36980000}}, EnquiryKind::Point, 1},
        {state::EnquiryShapeKind::Route, {{49650000, 36980000}}, std::nullopt, 0},
    };
    for (const Case &c : cases) {
        state::InteractionState ia;
        ia.Tool_Code = state::ToolCode::EnquiryStart;
        ia.Enquiry_Shape = c.shape;
        ia.Enquiry_Radius = 120;
        DrawnShape drawn;
        std::vector<std::string> said;
        const state::UiHooks ui{
            [&](const std::string &m) { said.push_back(m); }, {}, {}, {}, {}, {}, {}};
        std::optional<Enquiry> e;
        for (const auto &[x, y] : c.lefts)
            e = Digitise_Enquiry(ia, drawn, nullptr, 0, 0, x, y, kLeftButton, ui);
        if (c.shape != state::EnquiryShapeKind::Point) {
            EXPECT_FALSE(e.has_value());
            EXPECT_EQ(ia.Tool_Code, state::ToolCode::Enquiry);
            e = Digitise_Enquiry(ia, drawn, nullptr, 0, 0, 0, 0, kRightButton, ui);
        }
        EXPECT_EQ(ia.Tool_Code, state::ToolCode::None);
        ASSERT_EQ(e.has_value(), c.gives.has_value());
        if (!e) {
            ASSERT_EQ(said.size(), 1u);
            EXPECT_NE(said[0].find("at least 2 vertices"), std::string::npos) << said[0];
            continue;
        }
        EXPECT_EQ(e->shape.kind, *c.gives);
        EXPECT_TRUE(e->shape.drawn);
        EXPECT_EQ(e->radius_m, 120);
        ASSERT_EQ(e->shape.parts.size(), 1u);
        EXPECT_EQ(e->shape.parts[0].size(), c.vertices);
        // The area is hatched: lines inside it.
        EXPECT_FALSE(enquiry_hatch(*e, 1000).empty());
    }
}

} // namespace
