// Writes the sample project: a plausible, deterministic city in square SK with its
// period maps, their indexes and object tables, the linked-data description and the
// project file. Used by the build (the sample under share/tavi/data) and by the
// benchmarks (--multiply makes a much larger city).
//
//   make_sample_city --out DIR [--multiply N] [--sites N]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "drawing/drw_reader.h"
#include "platform/base/files.h"
#include "tools/sample/city_geometry.h"
#include "tools/sample/sample_rasters.h"
#include "tools/sample/site_database.h"
#include "tools/writers/drw_writer.h"

namespace fs = std::filesystem;
using namespace sample;

namespace {

// The city centre, and the box everything stays inside: within the viewer's maximum
// view (49,200,000 / 36,552,000, 878,800 high) and within square SK.
constexpr double kCx = 49'640'000, kCy = 37'000'000;
constexpr double M = 100.0; // world units per metre
// The historic town is drawn larger than life against the countryside around it, so
// that it reads at the viewer's widest view.
constexpr double TM = 1.7 * M;

// Palette indexes used below.
enum Colour : uint8_t {
    kDarkBlue = 1,
    kGreen = 2,
    kTeal = 3,
    kRed = 4,
    kPurple = 5,
    kBrown = 6,
    kGrey = 7,
    kDarkGrey = 8,
    kBlue = 9,
    kSalmon = 12,
    kOchre = 62,
    kBlack = 0,
};

struct Era {
    const char *file;
    const char *era; // the era number of its text references ("7" for 7.12), or "" for none
    Colour colour;
    std::function<void(writers::DrwWriter &, Rng &, int)> build;
};

writers::Style look(Colour c, uint8_t fill = 0, int16_t width = 0, int pen = 0,
                    std::string ref = "", uint8_t layer = 0) {
    return writers::Style{c, fill, width, pen, layer, std::move(ref)};
}

// What every drawing carries besides its features: a layer table, an annotation anchor,
// a hidden construction line, a header-only object whose points follow as plain units,
// and a group stored in tenths of a unit.
void common_parts(writers::DrwWriter &w, Rng &rng, const char *era, Colour c, int era_no) {
    std::vector<std::string> layers{"FEATURES", "OUTLINES", "LABELS", "CONSTRUCTION"};
    w.layer_table(layers);

    w.begin_group(1, std::string("NOTES ") + era);
    const double ax = kCx + rng.range(-2000, 2000) * M, ay = kCy + rng.range(-2000, 2000) * M;
    drawing::AnnotationRecord a;
    a.layer = 2;
    a.text1 = drawing::text12("ERA " + std::string(era));
    w.annotation(Points{pt(ax, ay), pt(ax + 60 * M, ay)}, a);
    w.hidden(Points{pt(ax, ay - 50 * M), pt(ax + 300 * M, ay - 80 * M)}, writers::header(look(c)));
    w.header_only(writers::header(look(c)),
                  Points{pt(ax - 20 * M, ay + 20 * M), pt(ax - 25 * M, ay + 40 * M)});

    // Fine detail surveyed at a tenth of the usual unit: a small cluster of pits.
    w.begin_group(10, std::string("PITS ") + era);
    const double px = kCx + (era_no * 230.0 - 1500) * M, py = kCy - (900 + era_no * 40.0) * M;
    for (int k = 0; k < 6; ++k)
        w.polygon(tenths(blob(rng, px + k * 14 * M, py + (k % 2) * 11 * M, 4 * M, 3 * M, 10, 0.3)),
                  writers::header(look(c, 26)));
}

std::string ref(const char *era, int n) {
    return std::string(era) + "." + std::to_string(n);
}

// Beyond the sample, --multiply grows the city outward as a surveyed city grows: square
// tiles of 400 m, nearest the centre first, each holding many small features of their
// own group (48 points and tens of metres each; 40,000 points a tile in the two drawings
// that hold them), so that the index grows with the city while a street shows about the
// same whatever its size. Five tiles a step of --multiply; at 80 they cover the map.
constexpr double kTile = 400 * M;
constexpr int kTileColumns = 20, kTileRows = 20;
constexpr int kFeaturesPerTile = 416;
constexpr int kFeaturePoints = 48;

void survey_tiles(writers::DrwWriter &w, Rng &rng, int multiply, const char *name,
                  const std::function<void(double, double)> &feature) {
    const double x0 = 49'200'000, y0 = 36'552'000; // the south-west corner of the map
    std::vector<std::pair<double, int>> tiles;
    for (int t = 0; t < kTileColumns * kTileRows; ++t) {
        const double cx = x0 + (t % kTileColumns + 0.5) * kTile;
        const double cy = y0 + (t / kTileColumns + 0.5) * kTile;
        tiles.emplace_back(std::hypot(cx - kCx, cy - kCy), t);
    }
    std::sort(tiles.begin(), tiles.end());
    const int filled = std::min<int>(5 * multiply, static_cast<int>(tiles.size()));
    for (int i = 0; i < filled; ++i) {
        const int t = tiles[static_cast<std::size_t>(i)].second;
        // A margin keeps every feature inside its tile, and so inside the map.
        const double left = x0 + (t % kTileColumns) * kTile + 100 * M;
        const double bottom = y0 + (t / kTileColumns) * kTile + 100 * M;
        for (int k = 0; k < kFeaturesPerTile; ++k) {
            w.begin_group(1, name);
            feature(left + rng.range(0, kTile - 200 * M), bottom + rng.range(0, kTile - 200 * M));
        }
    }
}

void prehistoric(writers::DrwWriter &w, Rng &rng, int multiply) {
    // The river, west to east, south of the later town.
    w.begin_group(1, "RIVER");
    const Points river =
        path(rng, kCx - 3500 * M, kCy - 1100 * M, kCx + 3500 * M, kCy - 700 * M, 90, 160 * M);
    w.polygon(band(river, 45 * M), writers::header(look(kBlue, 1, 0, 0, "5.1")));
    // Ring ditches on the higher ground to the south-west.
    for (int k = 0; k < 12; ++k) {
        w.begin_group(1, "RING DITCH");
        const double x = kCx - (2800 - 260.0 * (k % 4)) * M, y = kCy - (2200 + 300.0 * (k / 4)) * M;
        w.polygon(blob(rng, x, y, 18 * M, 18 * M, 24, 0.08),
                  writers::header(look(kBrown, 4, 0, 0, ref("5", 2 + k))));
    }
    // Flint scatters and an enclosure.
    for (int k = 0; k < 5; ++k) {
        w.begin_group(1, "SCATTER");
        w.polygon(blob(rng, kCx + (1200 + 400.0 * k) * M, kCy + (1800 - 250.0 * k) * M, 120 * M,
                       80 * M, 14, 0.5),
                  writers::header(look(kBrown, 2, 0, 0, "5.14")));
    }
    // A trackway along the ridge.
    w.begin_group(1, "TRACKWAY");
    w.polyline(
        path(rng, kCx - 3500 * M, kCy + 2600 * M, kCx + 3400 * M, kCy + 1500 * M, 40, 120 * M),
        writers::header(look(kBrown, 0, 0, 1, "5.13")));
    if (multiply > 1) {
        survey_tiles(w, rng, multiply, "FIELD BANK", [&](double x, double y) {
            const double a = rng.range(0, 2 * M_PI), len = rng.range(30, 80) * M;
            w.polyline(path(rng, x, y, x + len * std::cos(a), y + len * std::sin(a), kFeaturePoints,
                            6 * M),
                       writers::header(look(static_cast<Colour>(239), 0, 0, 2)));
        });
        return;
    }
    // Terrain contours.
    for (int k = 0; k < 100; ++k) {
        if (k % 25 == 0)
            w.begin_group(1, "CONTOURS");
        const double y = kCy - 3500 * M + (7000.0 * M) * k / 100.0;
        w.polyline(path(rng, kCx - 3500 * M, y, kCx + 3500 * M, y + 200 * M, 60, 30 * M),
                   writers::header(look(static_cast<Colour>(239), 0, 0, 2)));
    }
}

void roman_military(writers::DrwWriter &w, Rng &rng, int) {
    const double fx = kCx - 150 * TM, fy = kCy + 250 * TM;
    w.begin_group(1, "FORTRESS");
    w.polygon(rounded_box(fx, fy, 420 * TM, 380 * TM, 40 * TM),
              writers::header(look(kRed, 24, 200, 0, "6.1")));
    w.polygon(box(fx, fy, 70 * TM, 60 * TM), writers::header(look(kRed, 8, 0, 0, "6.2")));
    for (int k = 0; k < 12; ++k) {
        w.begin_group(1, "BARRACKS");
        const double x = fx + (k % 6 - 2.5) * 55 * TM, y = fy + ((k / 6) ? 110 : -110) * TM;
        w.polygon(box(x, y, 15 * TM, 70 * TM),
                  writers::header(look(kRed, 0, 0, 0, ref("6", 3 + k))));
    }
    w.begin_group(1, "ROADS");
    w.polyline(path(rng, fx, fy + 190 * TM, fx + 200 * TM, kCy + 3500 * M, 12, 60 * TM),
               writers::header(look(kRed, 0, 600, 0, "6.15")));
    w.polyline(path(rng, fx, fy - 190 * TM, fx - 900 * TM, kCy - 3500 * M, 14, 60 * TM),
               writers::header(look(kRed, 0, 600, 0, "6.16")));
    w.polyline(path(rng, fx - 210 * TM, fy, kCx - 3500 * M, fy + 400 * TM, 14, 60 * TM),
               writers::header(look(kRed, 0, 600, 0, "6.17")));
}

void roman_colonia(writers::DrwWriter &w, Rng &rng, int) {
    const double cx = kCx - 50 * TM, cy = kCy + 150 * TM;
    w.begin_group(1, "COLONIA WALL");
    w.polygon(rounded_box(cx, cy, 820 * TM, 700 * TM, 60 * TM, 8),
              writers::header(look(kPurple, 0, 300, 0, "7.1")));
    int n = 2;
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 5; ++j) {
            w.begin_group(1, "INSULA");
            const double x = cx + (i - 2.5) * 125 * TM, y = cy + (j - 2) * 125 * TM;
            const uint8_t fill =
                static_cast<uint8_t>((i * 5 + j) % 7 == 0 ? 60 : 2 + (i * 5 + j) % 40);
            w.polygon(box(x, y, 100 * TM, 100 * TM),
                      writers::header(look(kPurple, fill, 0, 0, ref("7", n <= 14 ? n : 14))));
            ++n;
        }
    w.begin_group(1, "FORUM");
    w.polygon(box(cx, cy + 20 * TM, 90 * TM, 60 * TM, 0.02),
              writers::header(look(kPurple, 35, 0, 0, "7.12")));
    w.begin_group(1, "AQUEDUCT");
    w.polyline(path(rng, cx + 410 * TM, cy + 200 * TM, kCx + 3300 * M, kCy + 3300 * M, 30, 80 * TM),
               writers::header(look(kPurple, 0, 0, 2, "7.13")));
}

void early_medieval(writers::DrwWriter &w, Rng &rng, int) {
    for (int k = 0; k < 6; ++k) {
        w.begin_group(1, "ENCLOSURE");
        const double a = k * 1.05;
        w.polygon(blob(rng, kCx + 900 * TM * std::cos(a), kCy + 700 * TM * std::sin(a), 90 * TM,
                       70 * TM, 18, 0.3),
                  writers::header(look(kGreen, 5, 0, 0, ref("8", 1 + k))));
        w.polygon(box(kCx + 900 * TM * std::cos(a) + 20 * TM, kCy + 700 * TM * std::sin(a), 18 * TM,
                      8 * TM, a),
                  writers::header(look(kGreen, 60, 0, 0, ref("8", 7 + k))));
    }
    w.begin_group(1, "BURH DEFENCE");
    w.polyline(
        path(rng, kCx - 600 * TM, kCy - 500 * TM, kCx + 700 * TM, kCy - 450 * TM, 25, 40 * TM),
        writers::header(look(kGreen, 0, 150, 3, "8.13")));
}

void high_medieval(writers::DrwWriter &w, Rng &rng, int) {
    w.begin_group(1, "CITY WALL");
    w.polygon(blob(rng, kCx + 50 * TM, kCy + 120 * TM, 620 * TM, 540 * TM, 48, 0.12),
              writers::header(look(kDarkBlue, 0, 250, 0, "9.1")));
    w.begin_group(1, "CASTLE");
    w.polygon(blob(rng, kCx - 520 * TM, kCy - 300 * TM, 45 * TM, 45 * TM, 20, 0.05),
              writers::header(look(kDarkBlue, 17, 0, 0, "9.2")));
    w.polygon(blob(rng, kCx - 450 * TM, kCy - 240 * TM, 110 * TM, 80 * TM, 16, 0.2),
              writers::header(look(kDarkBlue, 3, 0, 0, "9.3")));
    w.begin_group(1, "CATHEDRAL");
    Points cross{pt(kCx + 200 * TM, kCy + 300 * TM), pt(kCx + 300 * TM, kCy + 300 * TM),
                 pt(kCx + 300 * TM, kCy + 320 * TM), pt(kCx + 240 * TM, kCy + 320 * TM),
                 pt(kCx + 240 * TM, kCy + 350 * TM), pt(kCx + 225 * TM, kCy + 350 * TM),
                 pt(kCx + 225 * TM, kCy + 320 * TM), pt(kCx + 200 * TM, kCy + 320 * TM)};
    w.polygon(cross, writers::header(look(kDarkBlue, 60, 0, 0, "9.4")));
    for (int k = 0; k < 8; ++k) {
        w.begin_group(1, "CHURCH");
        const double a = k * 0.78 + 0.3;
        w.polygon(
            box(kCx + 380 * TM * std::cos(a), kCy + 330 * TM * std::sin(a), 30 * TM, 12 * TM, 0.05),
            writers::header(look(kDarkBlue, 60, 0, 0, ref("9", 5 + k))));
    }
    // Burgage plots along the main street.
    for (int k = 0; k < 40; ++k) {
        if (k % 10 == 0)
            w.begin_group(1, "BURGAGES");
        const double x = kCx - 400 * TM + k * 18 * TM;
        w.polygon(box(x, kCy - 60 * TM, 12 * TM, 70 * TM),
                  writers::header(look(kDarkBlue, 0, 0, 0, "9.13")));
    }
}

void early_modern(writers::DrwWriter &w, Rng &rng, int) {
    w.begin_group(1, "SIEGE WORKS");
    w.polygon(bastions(kCx + 50 * TM, kCy + 120 * TM, 700 * TM, 820 * TM, 11),
              writers::header(look(kTeal, 0, 200, 0, "10.1")));
    for (int k = 0; k < 5; ++k) {
        w.begin_group(1, "SUBURB");
        const double a = -1.2 + k * 0.6;
        w.polygon(blob(rng, kCx + 1300 * TM * std::cos(a), kCy + 1100 * TM * std::sin(a), 220 * TM,
                       150 * TM, 16, 0.35),
                  writers::header(look(kTeal, 12, 0, 0, ref("10", 2 + k))));
    }
    w.begin_group(1, "TURNPIKE");
    w.polyline(path(rng, kCx, kCy + 700 * TM, kCx + 300 * TM, kCy + 3500 * M, 20, 100 * TM),
               writers::header(look(kTeal, 0, 0, 4, "10.8")));
}

void industrial(writers::DrwWriter &w, Rng &rng, int multiply) {
    w.begin_group(1, "CANAL");
    const Points canal =
        path(rng, kCx - 3500 * M, kCy - 1500 * M, kCx + 3500 * M, kCy - 1300 * M, 30, 60 * M);
    w.polygon(band(canal, 14 * M), writers::header(look(kBlue, 60, 0, 0, "11.1")));
    w.begin_group(1, "RAILWAY");
    w.polyline(
        path(rng, kCx - 3500 * M, kCy + 1200 * M, kCx + 3500 * M, kCy - 2500 * M, 50, 200 * M),
        writers::header(look(kDarkGrey, 0, 0, 3, "11.2")));
    w.polyline(
        path(rng, kCx + 1000 * M, kCy + 3500 * M, kCx + 1200 * M, kCy - 3500 * M, 50, 200 * M),
        writers::header(look(kDarkGrey, 0, 0, 3, "11.3")));
    for (int k = 0; k < 10; ++k) {
        w.begin_group(1, "WORKS");
        w.polygon(box(kCx + (1600 + 150.0 * (k % 5)) * M, kCy - (1000 + 200.0 * (k / 5)) * M,
                      90 * M, 50 * M, 0.1),
                  writers::header(look(kDarkGrey, 43, 0, 0, ref("11", 4 + k))));
    }
    if (multiply > 1) {
        survey_tiles(w, rng, multiply, "PLOT", [&](double x, double y) {
            const double r = rng.range(10, 30) * M;
            w.polygon(blob(rng, x, y, r, r * rng.range(0.5, 1.0), kFeaturePoints, 0.3,
                           rng.range(0, M_PI)),
                      writers::header(look(kDarkGrey, 0, 0, 0, "11.15")));
        });
        return;
    }
    // Terraced streets: many small objects.
    for (int r = 0; r < 20; ++r) {
        w.begin_group(1, "TERRACE");
        const double y = kCy + 1300 * M + r * 22 * M;
        const double x0 = kCx - 2600 * M;
        for (int k = 0; k < 30; ++k)
            w.polygon(box(x0 + k * 7 * M, y, 6 * M, 9 * M),
                      writers::header(look(kDarkGrey, 0, 0, 0, "11.14")));
    }
}

void excavated(writers::DrwWriter &w, Rng &rng, int) {
    // Each excavated area is a group named by its site code, so that the object list
    // and the control panel's site grid find it.
    for (int k = 1; k <= 40; ++k) {
        char code[8];
        std::snprintf(code, sizeof code, "RE%04d", k);
        w.begin_group(1, code);
        const double a = k * 2.4, r = (120 + 23.0 * k) * TM;
        w.polygon(box(kCx + r * std::cos(a), kCy + r * std::sin(a), rng.range(8, 40) * TM,
                      rng.range(6, 25) * TM, a),
                  writers::header(look(kSalmon, 60, 0, 0, code)));
    }
    w.begin_group(1, "RE1234");
    w.polygon(box(kCx + 40 * TM, kCy - 30 * TM, 30 * TM, 20 * TM),
              writers::header(look(kSalmon, 60, 0, 0, "RE1234")));
}

void modern_streets(writers::DrwWriter &w, Rng &rng, int) {
    for (int k = 0; k < 14; ++k) {
        w.begin_group(1, "STREETS");
        const double a = k * M_PI / 7 + 0.1;
        w.polyline(path(rng, kCx, kCy, kCx + 3500 * M * std::cos(a), kCy + 3400 * M * std::sin(a),
                        30, 250 * M),
                   writers::header(look(kGrey, 0, 0, 0, "")));
    }
    w.begin_group(1, "RING ROAD");
    Points ring = blob(rng, kCx, kCy + 100 * M, 1500 * M, 1300 * M, 60, 0.08);
    ring.push_back(ring.front());
    w.polyline(ring, writers::header(look(kGrey, 0, 1200, 0, "")));
}

// The points of a drawing's objects, as the drawing display reads them (records and the
// points of header-only objects are no vertices).
long count_vertices(const fs::path &drw) {
    auto file = files::BinaryFile::open_existing(drw);
    drawing::DrawingWalker walk(file);
    long n = 0;
    while (walk.next())
        n += walk.point_count();
    return n;
}

} // namespace

int main(int argc, char **argv) {
    fs::path out;
    int multiply = 1;
    int site_count = 0; // 300 a step of --multiply unless given
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--out" && i + 1 < argc)
            out = argv[++i];
        else if (a == "--multiply" && i + 1 < argc)
            multiply = std::max(1, std::atoi(argv[++i]));
        else if (a == "--sites" && i + 1 < argc)
            site_count = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: make_sample_city --out DIR [--multiply N] [--sites N]\n");
            return 2;
        }
    }
    if (out.empty()) {
        std::fprintf(stderr, "make_sample_city: --out DIR is required\n");
        return 2;
    }
    std::error_code ec;
    fs::create_directories(out, ec);
    if (ec) {
        std::fprintf(stderr, "make_sample_city: cannot create %s: %s\n", out.c_str(),
                     ec.message().c_str());
        return 1;
    }

    // In the order of the control panel's period rows, then the modern streets.
    const std::vector<Era> eras{
        {"prehistoric", "5", kBrown, prehistoric},
        {"roman_military", "6", kRed, roman_military},
        {"roman_colonia", "7", kPurple, roman_colonia},
        {"early_medieval", "8", kGreen, early_medieval},
        {"high_medieval", "9", kDarkBlue, high_medieval},
        {"early_modern", "10", kTeal, early_modern},
        {"industrial", "11", kDarkGrey, industrial},
        {"excavated_areas", "", kSalmon, excavated},
        {"modern_streets", "", kGrey, modern_streets},
    };

    long total = 0;
    std::string project;
    SiteDatabasePlan sites;
    sites.sites = site_count > 0 ? site_count : 300 * multiply;
    sites.unrecorded = {13, 27}; // dug, but never entered in the site list
    sites.west = kCx - 3000 * M;
    sites.east = kCx + 3000 * M;
    sites.south = kCy - 2500 * M;
    sites.north = kCy + 2500 * M;
    // The background map first: the redraw repaints the first raster of the project.
    // The elevation grid after it gives the pointer its height readout.
    const RasterBox box{49'200'000, 36'552'000, 50'000'000, 37'430'800};
    MapLayout layout = MapLayout::for_box(box);
    layout.centre_x = kCx;
    layout.centre_y = kCy + 120 * TM;
    layout.town_radius = 600 * TM;
    layout.river_west_x = kCx - 3500 * M;
    layout.river_west_y = kCy - 1100 * M;
    layout.river_east_x = kCx + 3500 * M;
    layout.river_east_y = kCy - 700 * M;
    layout.river_width = 45 * M;
    const auto map = write_background_map((out / "background.tif").string(), box, 400.0f,
                                          MapColours::Paletted, layout);
    const auto heights =
        write_elevation_grid((out / "elevation.tif").string(), box, 2000.0f, layout);
    for (const auto *r : {&map, &heights}) {
        if (!r->ok) {
            std::fprintf(stderr, "make_sample_city: %s\n", r->error.c_str());
            return 1;
        }
        std::printf("%-22s %5d x %d pixels\n", fs::path(r->image).filename().c_str(), r->columns,
                    r->rows);
    }
    project += "background.zwi\r\nelevation.zwi\r\n";
    for (size_t i = 0; i < eras.size(); ++i) {
        const Era &e = eras[i];
        Rng rng(0x7A5E0000u + i);
        writers::DrwWriter w;
        common_parts(w, rng, *e.era ? e.era : "X", e.colour, static_cast<int>(i) + 5);
        e.build(w, rng, multiply);
        w.end_mark();
        const fs::path drw = out / (std::string(e.file) + ".drw");
        // Everything must lie in square SK and inside the viewer's maximum view.
        for (const auto &g : w.groups()) {
            const auto x = drawing::world_extent(g.record);
            if (g.has_points && (x.x_min < 49'200'000 || x.x_max >= 50'000'000 ||
                                 x.y_min < 36'552'000 || x.y_max > 37'430'800)) {
                std::fprintf(stderr, "make_sample_city: group %.12s of %s leaves the map\n",
                             g.record.name.data(), e.file);
                return 1;
            }
        }
        if (!w.save(drw) ||
            !writers::write_index(fs::path(drw).replace_extension(".zix"), w.index_records()) ||
            !writers::write_object_table(fs::path(drw).replace_extension(".dbf"),
                                         w.object_rows())) {
            std::fprintf(stderr, "make_sample_city: cannot write %s\n", drw.c_str());
            return 1;
        }
        // The site database follows the drawings: the text references of the periods and
        // the sites on the excavated areas.
        for (const auto &g : w.groups()) {
            const std::string name = drawing::trimmed(g.record.name);
            if (name.rfind("RE", 0) == 0 && name.size() == 6) {
                const auto x = drawing::world_extent(g.record);
                sites.excavated.push_back(SiteOnMap{
                    std::atoi(name.c_str() + 2), (x.x_min + x.x_max) / 2, (x.y_min + x.y_max) / 2});
            }
            for (const std::string &r : g.references)
                if (*e.era && r.rfind(std::string(e.era) + ".", 0) == 0 &&
                    std::none_of(sites.references.begin(), sites.references.end(),
                                 [&](const TextReference &t) { return t.reference == r; }))
                    sites.references.push_back(TextReference{r, std::atoi(e.era)});
        }
        const long n = count_vertices(drw);
        total += n;
        std::printf("%-22s %8ld vertices\n", drw.filename().c_str(), n);
        // Two names share a line to keep the project file's comma separation in use.
        project += std::string(e.file) + ".drw" + (i == 0 ? ", " : "\r\n");
    }
    // The first drawing carries the description of the site database.
    if (const std::string why = write_site_database(out / "tavidata.sqlite", sites); !why.empty()) {
        std::fprintf(stderr, "make_sample_city: %s\n", why.c_str());
        return 1;
    }
    std::printf("%-22s %8d sites, %zu text references\n", "tavidata.sqlite", sites.sites,
                sites.references.size());
    if (!writers::write_sup(out / "prehistoric.sup", 2,
                            {"tavidata.sqlite", "RAZ Text", "RAZREF", "Era details", "ERANO"})) {
        std::fprintf(stderr, "make_sample_city: cannot write the linked-data description\n");
        return 1;
    }
    FILE *f = std::fopen((out / "tavi.zpj").c_str(), "wb");
    if (!f || std::fputs(project.c_str(), f) < 0 || std::fclose(f) != 0) {
        std::fprintf(stderr, "make_sample_city: cannot write tavi.zpj\n");
        return 1;
    }
    std::printf("%-22s %8ld vertices in all\n", "", total);
    return 0;
}
