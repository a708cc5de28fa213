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

#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "interrogation/enquiry.h"
#include "support/temp_folder.h"
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

// Points closer than this to the rim of the buffer are left out of the comparison.
constexpr double kRim = 0.25;

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
                if (off < kRim) {
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

} // namespace
