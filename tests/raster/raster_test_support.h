// Small raster images written with GDAL into a test's temporary folder, world-information
// files, and a recorder for what loading and painting tell the user.
#pragma once

#include <cpl_string.h>
#include <gdal.h>

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "raster/raster_ui.h"
#include "support/temp_folder.h"

namespace raster_test {

using testing_support::TempFolder;

struct Rgb {
    uint8_t r, g, b;
};

inline GDALDatasetH create(const std::string &path, int w, int h, int bands, GDALDataType type,
                           bool lzw, bool tiled = false) {
    GDALAllRegister();
    char **options = nullptr;
    if (lzw)
        options = CSLSetNameValue(options, "COMPRESS", "LZW");
    if (tiled) {
        options = CSLSetNameValue(options, "TILED", "YES");
        options = CSLSetNameValue(options, "BLOCKXSIZE", "16");
        options = CSLSetNameValue(options, "BLOCKYSIZE", "16");
    }
    GDALDatasetH ds =
        GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), w, h, bands, type, options);
    CSLDestroy(options);
    EXPECT_NE(ds, nullptr) << path;
    return ds;
}

// An 8-bit image with a colour table; index(x, y) gives each pixel's entry.
inline void write_paletted(const std::string &path, int w, int h, const std::vector<Rgb> &palette,
                           const std::function<uint8_t(int, int)> &index, bool lzw = false) {
    GDALDatasetH ds = create(path, w, h, 1, GDT_Byte, lzw);
    GDALColorTableH table = GDALCreateColorTable(GPI_RGB);
    for (size_t i = 0; i < palette.size(); ++i) {
        const GDALColorEntry e{palette[i].r, palette[i].g, palette[i].b, 255};
        GDALSetColorEntry(table, static_cast<int>(i), &e);
    }
    GDALSetRasterColorTable(GDALGetRasterBand(ds, 1), table);
    GDALDestroyColorTable(table);
    std::vector<uint8_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[static_cast<size_t>(y * w + x)] = index(x, y);
    EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, 0, w, h, px.data(), w, h,
                           GDT_Byte, 0, 0),
              CE_None);
    GDALClose(ds);
}

// A grey 8-bit image without a colour table.
inline void write_grey(const std::string &path, int w, int h,
                       const std::function<uint8_t(int, int)> &value) {
    GDALDatasetH ds = create(path, w, h, 1, GDT_Byte, false);
    std::vector<uint8_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[static_cast<size_t>(y * w + x)] = value(x, y);
    EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, 0, w, h, px.data(), w, h,
                           GDT_Byte, 0, 0),
              CE_None);
    GDALClose(ds);
}

inline void write_rgb(const std::string &path, int w, int h,
                      const std::function<Rgb(int, int)> &colour, bool lzw = false,
                      bool tiled = false) {
    GDALDatasetH ds = create(path, w, h, 3, GDT_Byte, lzw, tiled);
    std::vector<uint8_t> px(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = colour(x, y);
            uint8_t *p = &px[static_cast<size_t>(y * w + x) * 3];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    int bands[3] = {1, 2, 3};
    EXPECT_EQ(GDALDatasetRasterIO(ds, GF_Write, 0, 0, w, h, px.data(), w, h, GDT_Byte, 3, bands, 3,
                                  static_cast<GSpacing>(w) * 3, 1),
              CE_None);
    GDALClose(ds);
}

inline void write_int16(const std::string &path, int w, int h,
                        const std::function<int16_t(int, int)> &value) {
    GDALDatasetH ds = create(path, w, h, 1, GDT_Int16, false);
    std::vector<int16_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[static_cast<size_t>(y * w + x)] = value(x, y);
    EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, 0, w, h, px.data(), w, h,
                           GDT_Int16, 0, 0),
              CE_None);
    GDALClose(ds);
}

// The sixteen items of a world-information file.
struct Zwi {
    std::string description = "test raster";
    int32_t west = 0, south = 0;
    double pixel_width = 1, pixel_height = 1;
    int32_t columns = 1, rows = 1;
    double v8 = 0, lowest = 0, highest = 0;
    int v11 = 0, raster_class = 0, v13 = 0, v14 = 0, v15 = 0, kind = 0;

    std::string text() const {
        std::ostringstream s;
        s << '"' << description << "\"\n"
          << west << ',' << south << ',' << pixel_width << ',' << pixel_height << '\n'
          << columns << ',' << rows << '\n'
          << v8 << ',' << lowest << ',' << highest << ',' << v11 << '\n'
          << raster_class << ',' << v13 << ',' << v14 << ',' << v15 << ',' << kind << '\n';
        return s.str();
    }
};

// Records what the raster code tells the user.
struct Recorder {
    std::vector<std::string> messages;
    int beeps = 0;
    std::vector<int> pauses;
    std::vector<int> pointers;

    raster::RasterUi ui() {
        raster::RasterUi u;
        u.hooks.status_message = [this](const std::string &m) { messages.push_back(m); };
        u.hooks.set_pointer = [this](int p) { pointers.push_back(p); };
        u.beep = [this] { ++beeps; };
        u.pause = [this](int ms) { pauses.push_back(ms); };
        u.cursor_style = 1;
        return u;
    }
};

} // namespace raster_test
