#include "tools/sample/sample_rasters.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <vector>

namespace sample {

namespace {

constexpr int32_t kNoElevation = 32727;
constexpr int kBlock = 256;      // tile size, and the rows written at a time
constexpr double kMetre = 100.0; // world units

// What lies at a point of the map; the colour table is indexed by it.
enum Ground : uint8_t {
    kPaper,
    kField1,
    kField2,
    kField3,
    kField4,
    kRiver,
    kStreet,
    kBuilt,
    kWall,
    kRoad,
    kBank,
    kHedge,
    kGroundCount
};

constexpr std::array<std::array<uint8_t, 3>, kGroundCount> kColours = {{
    {250, 250, 245}, // paper
    {221, 235, 200}, // pasture
    {240, 236, 200}, // stubble
    {214, 228, 210}, // meadow
    {236, 226, 205}, // ploughland
    {170, 205, 235}, // river
    {255, 255, 255}, // street
    {235, 218, 210}, // built-up block
    {150, 140, 130}, // town wall
    {240, 218, 175}, // main road
    {200, 220, 200}, // river bank
    {190, 210, 175}, // hedge
}};

std::string world_info_path(const std::string &image) {
    std::string s = image;
    if (s.size() >= 3)
        s.replace(s.size() - 3, 3, "zwi");
    return s;
}

std::string real_text(double v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

struct WorldItems {
    std::string description;
    int32_t west = 0, south = 0;
    float pixel_width = 0, pixel_height = 0;
    int32_t columns = 0, rows = 0;
    double lowest = 0, highest = 0;
    int raster_class = 0;
    int kind = 0;
};

bool write_world_info(const std::string &path, const WorldItems &w) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << '"' << w.description << "\"\n"
        << w.west << ',' << w.south << '\n'
        << real_text(w.pixel_width) << ',' << real_text(w.pixel_height) << '\n'
        << w.columns << ',' << w.rows << '\n'
        << "0," << real_text(w.lowest) << ',' << real_text(w.highest) << '\n'
        << "0\n"
        << w.raster_class << ",0,0\n"
        << "0\n"
        << w.kind << '\n';
    return static_cast<bool>(out);
}

// The river's centre line: a meander about the straight line between its ends.
double river_y(const MapLayout &m, double x) {
    const double span = m.river_east_x - m.river_west_x;
    const double t = span != 0 ? (x - m.river_west_x) / span : 0.0;
    const double straight = m.river_west_y + (m.river_east_y - m.river_west_y) * t;
    return straight + 3.0 * m.river_width * std::sin(2.0 * M_PI * 2.5 * t);
}

uint64_t mix(int64_t a, int64_t b) {
    uint64_t z = static_cast<uint64_t>(a) * 0x9E3779B97F4A7C15ull ^
                 (static_cast<uint64_t>(b) + 0x632BE59BD9B4E019ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int64_t floor_div(double v, double step) {
    return static_cast<int64_t>(std::floor(v / step));
}

// The ground at a point, given the river's centre-line northing at its easting.
Ground ground_at(const MapLayout &m, double x, double y, double river_centre) {
    const double off_river = std::fabs(y - river_centre);
    if (off_river < m.river_width / 2)
        return kRiver;
    if (off_river < m.river_width / 2 + 6 * kMetre)
        return kBank;
    const double dx = x - m.centre_x, dy = y - m.centre_y;
    const double d2 = dx * dx + dy * dy;
    const double wall_in = m.town_radius - 4 * kMetre, wall_out = m.town_radius + 4 * kMetre;
    if (d2 >= wall_in * wall_in && d2 <= wall_out * wall_out)
        return kWall;
    if (d2 < wall_in * wall_in) {
        const double sx = std::fmod(std::fabs(dx), m.street_spacing);
        const double sy = std::fmod(std::fabs(dy), m.street_spacing);
        return sx < m.street_width || sy < m.street_width ? kStreet : kBuilt;
    }
    // Two main roads leave the town's gates along its axes.
    const double road = 5 * kMetre;
    if (std::fabs(dx) < road || std::fabs(dy) < road)
        return kRoad;
    // Fields: rows of parcels, each row shifted so that the boundaries do not line up.
    const double field_w = 300 * kMetre, field_h = 200 * kMetre, hedge = 3 * kMetre;
    const int64_t row = floor_div(y, field_h);
    const double shift = static_cast<double>(mix(row, 7) % 1000) / 1000.0 * field_w;
    const double fx = x + shift;
    const int64_t col = floor_div(fx, field_w);
    const double in_x = fx - static_cast<double>(col) * field_w;
    const double in_y = y - static_cast<double>(row) * field_h;
    if (in_x < hedge || in_y < hedge)
        return kHedge;
    return static_cast<Ground>(kField1 + mix(col, row) % 4);
}

// The height in world units at a point, or the no-data value outside the survey.
int16_t height_at(const MapLayout &m, const RasterBox &box, double x, double y,
                  double river_centre) {
    const double fx = (x - box.west) / std::max(1.0, static_cast<double>(box.east - box.west));
    const double fy = (y - box.south) / std::max(1.0, static_cast<double>(box.north - box.south));
    if (fx + fy > 1.75)
        return static_cast<int16_t>(kNoElevation); // the north-east corner was never surveyed
    const double off_river = std::fabs(y - river_centre);
    if (off_river < m.river_width / 2)
        return 500; // water level, 5 m
    double h = 600.0 + std::min(off_river, 2500 * kMetre) * 0.012;
    h += 600.0 * std::sin(2.0 * M_PI * x / (3500 * kMetre)) *
         std::cos(2.0 * M_PI * y / (2600 * kMetre));
    const double d = std::hypot(x - m.centre_x, y - m.centre_y);
    if (m.town_radius > 0 && d < m.town_radius)
        h += 400.0 * (1.0 - d / m.town_radius);
    return static_cast<int16_t>(std::clamp(std::lround(h), 100L, 9000L));
}

class Quiet {
  public:
    Quiet() {
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
    }
    ~Quiet() { CPLPopErrorHandler(); }
    Quiet(const Quiet &) = delete;
    Quiet &operator=(const Quiet &) = delete;
};

struct Created {
    GDALDatasetH ds = nullptr;
    std::string error;
};

Created create_tiff(const std::string &path, int32_t columns, int32_t rows, int bands,
                    GDALDataType type, bool predictor) {
    GDALAllRegister();
    Created c;
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    if (driver == nullptr) {
        c.error = "no TIFF writer";
        return c;
    }
    char **options = nullptr;
    options = CSLSetNameValue(options, "TILED", "YES");
    options = CSLSetNameValue(options, "BLOCKXSIZE", "256");
    options = CSLSetNameValue(options, "BLOCKYSIZE", "256");
    options = CSLSetNameValue(options, "COMPRESS", "LZW");
    if (predictor)
        options = CSLSetNameValue(options, "PREDICTOR", "2");
    if (static_cast<int64_t>(columns) * rows * bands > (int64_t{1} << 31))
        options = CSLSetNameValue(options, "BIGTIFF", "IF_SAFER");
    c.ds = GDALCreate(driver, path.c_str(), columns, rows, bands, type, options);
    CSLDestroy(options);
    if (c.ds == nullptr)
        c.error = std::string("cannot create ") + path + ": " + CPLGetLastErrorMsg();
    return c;
}

bool build_overviews(GDALDatasetH ds, int32_t columns, int32_t rows) {
    std::vector<int> levels;
    for (int f = 2; std::max(columns, rows) / f >= kBlock; f *= 2)
        levels.push_back(f);
    if (levels.empty())
        return true;
    CPLSetThreadLocalConfigOption("COMPRESS_OVERVIEW", "LZW");
    const CPLErr err = GDALBuildOverviews(ds, "NEAREST", static_cast<int>(levels.size()),
                                          levels.data(), 0, nullptr, nullptr, nullptr);
    CPLSetThreadLocalConfigOption("COMPRESS_OVERVIEW", nullptr);
    return err == CE_None;
}

int32_t cells_over(int32_t from, int32_t to, double size) {
    return std::max<int32_t>(1, static_cast<int32_t>(std::ceil((to - from) / size)));
}

// Writes a map image of columns x rows pixels of the given size from (west, south).
RasterWritten write_map(const std::string &path, const RasterBox &box, double pixel_w,
                        double pixel_h, int32_t columns, int32_t rows, MapColours colours,
                        const MapLayout &layout, const char *description) {
    RasterWritten r;
    r.image = path;
    r.world_info = world_info_path(path);
    r.columns = columns;
    r.rows = rows;
    Quiet quiet;
    const bool rgb = colours == MapColours::Rgb;
    Created c = create_tiff(path, columns, rows, rgb ? 3 : 1, GDT_Byte, false);
    if (c.ds == nullptr) {
        r.error = c.error;
        return r;
    }
    if (!rgb) {
        GDALColorTableH table = GDALCreateColorTable(GPI_RGB);
        for (int i = 0; i < kGroundCount; ++i) {
            const auto &k = kColours[static_cast<size_t>(i)];
            const GDALColorEntry e{k[0], k[1], k[2], 255};
            GDALSetColorEntry(table, i, &e);
        }
        GDALSetRasterColorTable(GDALGetRasterBand(c.ds, 1), table);
        GDALDestroyColorTable(table);
    }
    std::vector<double> river(static_cast<size_t>(columns));
    std::vector<double> xs(static_cast<size_t>(columns));
    for (int32_t i = 0; i < columns; ++i) {
        xs[static_cast<size_t>(i)] = box.west + (i + 0.5) * pixel_w;
        river[static_cast<size_t>(i)] = river_y(layout, xs[static_cast<size_t>(i)]);
    }
    const double top = box.south + rows * pixel_h;
    const int bands = rgb ? 3 : 1;
    std::vector<uint8_t> buf(static_cast<size_t>(columns) * kBlock * static_cast<size_t>(bands));
    bool ok = true;
    for (int32_t y0 = 0; ok && y0 < rows; y0 += kBlock) {
        const int32_t n = std::min(kBlock, rows - y0);
        for (int32_t j = 0; j < n; ++j) {
            const double y = top - (y0 + j + 0.5) * pixel_h;
            uint8_t *line = &buf[static_cast<size_t>(j) * static_cast<size_t>(columns) *
                                 static_cast<size_t>(bands)];
            for (int32_t i = 0; i < columns; ++i) {
                const Ground g =
                    ground_at(layout, xs[static_cast<size_t>(i)], y, river[static_cast<size_t>(i)]);
                if (rgb) {
                    const auto &k = kColours[g];
                    std::copy(k.begin(), k.end(), line + static_cast<size_t>(i) * 3);
                } else {
                    line[i] = g;
                }
            }
        }
        if (rgb) {
            int band_map[3] = {1, 2, 3};
            ok = GDALDatasetRasterIO(c.ds, GF_Write, 0, y0, columns, n, buf.data(), columns, n,
                                     GDT_Byte, 3, band_map, 3, static_cast<GSpacing>(columns) * 3,
                                     1) == CE_None;
        } else {
            ok = GDALRasterIO(GDALGetRasterBand(c.ds, 1), GF_Write, 0, y0, columns, n, buf.data(),
                              columns, n, GDT_Byte, 0, 0) == CE_None;
        }
    }
    ok = ok && build_overviews(c.ds, columns, rows);
    GDALClose(c.ds);
    if (!ok) {
        r.error = std::string("cannot write ") + path + ": " + CPLGetLastErrorMsg();
        return r;
    }
    WorldItems w;
    w.description = description;
    w.west = box.west;
    w.south = box.south;
    w.pixel_width = static_cast<float>(pixel_w);
    w.pixel_height = static_cast<float>(pixel_h);
    w.columns = columns;
    w.rows = rows;
    if (!write_world_info(r.world_info, w)) {
        r.error = "cannot write " + r.world_info;
        return r;
    }
    r.ok = true;
    return r;
}

} // namespace

MapLayout MapLayout::for_box(const RasterBox &box) {
    MapLayout m;
    const double w = box.east - box.west, h = box.north - box.south;
    m.centre_x = box.west + w / 2;
    m.centre_y = box.south + h / 2;
    m.town_radius = std::min(w, h) * 0.18;
    m.river_west_x = box.west;
    m.river_east_x = box.east;
    m.river_west_y = m.centre_y - m.town_radius * 1.5;
    m.river_east_y = m.centre_y - m.town_radius * 1.1;
    m.river_width = std::max(30 * kMetre, h * 0.006);
    m.street_spacing = 90 * kMetre;
    m.street_width = 8 * kMetre;
    return m;
}

RasterWritten write_background_map(const std::string &image_path, const RasterBox &box,
                                   float pixel_size, MapColours colours, const MapLayout &layout) {
    if (!(pixel_size > 0) || box.east <= box.west || box.north <= box.south)
        return RasterWritten{false, "empty box or pixel size", image_path, {}, 0, 0};
    return write_map(image_path, box, pixel_size, pixel_size,
                     cells_over(box.west, box.east, pixel_size),
                     cells_over(box.south, box.north, pixel_size), colours, layout,
                     "Sample city background map");
}

RasterWritten write_large_map(const std::string &image_path, const RasterBox &box, int32_t columns,
                              int32_t rows, const MapLayout &layout) {
    if (columns < 1 || rows < 1 || box.east <= box.west || box.north <= box.south)
        return RasterWritten{false, "empty box or size", image_path, {}, 0, 0};
    const double pw = static_cast<double>(box.east - box.west) / columns;
    const double ph = static_cast<double>(box.north - box.south) / rows;
    return write_map(image_path, box, pw, ph, columns, rows, MapColours::Rgb, layout,
                     "Large background map");
}

RasterWritten write_elevation_grid(const std::string &image_path, const RasterBox &box,
                                   float pixel_size, const MapLayout &layout) {
    RasterWritten r;
    r.image = image_path;
    r.world_info = world_info_path(image_path);
    if (!(pixel_size > 0) || box.east <= box.west || box.north <= box.south) {
        r.error = "empty box or pixel size";
        return r;
    }
    const int32_t columns = cells_over(box.west, box.east, pixel_size);
    const int32_t rows = cells_over(box.south, box.north, pixel_size);
    r.columns = columns;
    r.rows = rows;
    std::vector<int16_t> cells(static_cast<size_t>(columns) * static_cast<size_t>(rows));
    int16_t lowest = std::numeric_limits<int16_t>::max();
    int16_t highest = std::numeric_limits<int16_t>::min();
    const double top = box.south + rows * static_cast<double>(pixel_size);
    for (int32_t i = 0; i < columns; ++i) {
        const double x = box.west + (i + 0.5) * pixel_size;
        const double rc = river_y(layout, x);
        for (int32_t j = 0; j < rows; ++j) {
            const double y = top - (j + 0.5) * pixel_size;
            const int16_t h = height_at(layout, box, x, y, rc);
            cells[static_cast<size_t>(j) * static_cast<size_t>(columns) + static_cast<size_t>(i)] =
                h;
            if (h != kNoElevation) {
                lowest = std::min(lowest, h);
                highest = std::max(highest, h);
            }
        }
    }
    Quiet quiet;
    Created c = create_tiff(image_path, columns, rows, 1, GDT_Int16, true);
    if (c.ds == nullptr) {
        r.error = c.error;
        return r;
    }
    GDALRasterBandH band = GDALGetRasterBand(c.ds, 1);
    GDALSetRasterNoDataValue(band, kNoElevation);
    const bool ok = GDALRasterIO(band, GF_Write, 0, 0, columns, rows, cells.data(), columns, rows,
                                 GDT_Int16, 0, 0) == CE_None;
    GDALClose(c.ds);
    if (!ok) {
        r.error = std::string("cannot write ") + image_path + ": " + CPLGetLastErrorMsg();
        return r;
    }
    WorldItems w;
    w.description = "Sample city elevation grid";
    w.west = box.west;
    w.south = box.south;
    w.pixel_width = pixel_size;
    w.pixel_height = pixel_size;
    w.columns = columns;
    w.rows = rows;
    w.lowest = lowest <= highest ? lowest : 0;
    w.highest = lowest <= highest ? highest : 0;
    w.raster_class = 16;
    w.kind = 20;
    if (!write_world_info(r.world_info, w)) {
        r.error = "cannot write " + r.world_info;
        return r;
    }
    r.ok = true;
    return r;
}

} // namespace sample
