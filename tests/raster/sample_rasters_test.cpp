#include "tools/sample/sample_rasters.h"

#include <QImage>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "platform/surface/gdi.h"
#include "raster/pointer_readout.h"
#include "raster/raster_loading.h"
#include "raster/world_info.h"
#include "raster_test_support.h"
#include "view/transform.h"

using raster_test::Recorder;
using raster_test::TempFolder;

namespace {

const sample::RasterBox kBox{49'200'000, 36'552'000, 49'400'000, 36'700'000};

std::string bytes_of(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(SampleRasters, TheBackgroundMapLoadsWherePlacedAndIsNoHeightRaster) {
    TempFolder t;
    const auto layout = sample::MapLayout::for_box(kBox);
    const auto w = sample::write_background_map(t.folder() + "base.tif", kBox, 250.0f,
                                                sample::MapColours::Paletted, layout);
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_EQ(w.columns, 800);
    EXPECT_EQ(w.rows, 592);
    EXPECT_EQ(w.world_info, t.folder() + "base.zwi");

    // Painted at half its resolution into a window, as project loading does: from the
    // reduced copy in the file.
    QImage image(400, 300, QImage::Format_RGB32);
    image.fill(Qt::white);
    gdi::DeviceContext dc(image);
    state::ViewState v;
    v.View_X_Min = kBox.west;
    v.View_Y_Min = kBox.south;
    v.View_Height_Units = 150'000;
    view::Prepare_View(v, dc, 400, 300);
    state::RasterTable table;
    Recorder rec;
    raster::Load_A_Lead_Raster(table, w.world_info, v, rec.ui());
    ASSERT_EQ(table.count(), 1);
    EXPECT_TRUE(rec.messages.empty());
    const auto &e = table.entry(1);
    EXPECT_EQ(e.west, kBox.west);
    EXPECT_EQ(e.south, kBox.south);
    EXPECT_EQ(e.east, kBox.west + 800 * 250);
    EXPECT_EQ(e.raster_class, 0);
    EXPECT_EQ(e.bitmap->info().kind, rasterlib::PixelKind::Paletted);
    EXPECT_GT(e.bitmap->info().overviews, 0);
    // The map is pale and the river crosses it: every pixel light, some of them blue.
    int blue = 0;
    for (int y = 1; y < 299; ++y)
        for (int x = 1; x < 399; ++x) {
            const gdi::Colour c = dc.get_pixel(x, y);
            ASSERT_GE(gdi::red_of(c) + gdi::green_of(c) + gdi::blue_of(c), 3 * 140)
                << x << "," << y;
            blue += gdi::blue_of(c) > gdi::red_of(c) + 40;
        }
    EXPECT_GT(blue, 200);
    EXPECT_EQ(raster::Height_Readout(table, kBox.west + 1000, kBox.south + 1000).height, 0);
}

TEST(SampleRasters, TheElevationGridReadsPlausibleHeightsAndHasAnUnsurveyedCorner) {
    TempFolder t;
    const auto layout = sample::MapLayout::for_box(kBox);
    const auto w = sample::write_elevation_grid(t.folder() + "dem.tif", kBox, 1000.0f, layout);
    ASSERT_TRUE(w.ok) << w.error;
    const auto info = raster::read_world_info(w.world_info);
    ASSERT_TRUE(info.info);
    EXPECT_EQ(info.info->height_kind, state::kElevationGrid);
    EXPECT_GE(info.info->raster_class, state::kHeightClassMin);
    EXPECT_LT(info.info->lowest_height, info.info->highest_height);

    state::RasterTable table;
    Recorder rec;
    raster::Load_A_Lead_Raster(table, w.world_info, state::ViewState{}, rec.ui());
    ASSERT_EQ(table.count(), 1);
    EXPECT_EQ(table.entry(1).bitmap->info().bits_per_pixel, 16);
    // The town centre stands on its rise; the river runs at water level.
    const int32_t centre = raster::Height_Readout(table, static_cast<int32_t>(layout.centre_x),
                                                  static_cast<int32_t>(layout.centre_y))
                               .height;
    EXPECT_GE(centre, info.info->lowest_height);
    EXPECT_LE(centre, info.info->highest_height);
    EXPECT_GT(centre, 500);
    const int32_t x = static_cast<int32_t>(layout.river_west_x + 500);
    EXPECT_EQ(raster::Height_Readout(table, x, static_cast<int32_t>(layout.river_west_y)).height,
              500);
    EXPECT_EQ(raster::Height_Readout(table, kBox.east - 500, kBox.north - 500).height, 0);
}

TEST(SampleRasters, EveryRunWritesTheSameBytes) {
    TempFolder t;
    const auto layout = sample::MapLayout::for_box(kBox);
    for (const char *name : {"a.tif", "b.tif"}) {
        ASSERT_TRUE(sample::write_background_map(t.folder() + name, kBox, 1000.0f,
                                                 sample::MapColours::Rgb, layout)
                        .ok);
        ASSERT_TRUE(
            sample::write_elevation_grid(t.folder() + "dem_" + name, kBox, 2000.0f, layout).ok);
    }
    EXPECT_EQ(bytes_of(t.folder() + "a.tif"), bytes_of(t.folder() + "b.tif"));
    EXPECT_EQ(bytes_of(t.folder() + "a.zwi"), bytes_of(t.folder() + "b.zwi"));
    EXPECT_EQ(bytes_of(t.folder() + "dem_a.tif"), bytes_of(t.folder() + "dem_b.tif"));
    rasterlib::FileInfo info;
    ASSERT_EQ(rasterlib::file_info(t.folder() + "a.tif", info), rasterlib::kSuccess);
    EXPECT_EQ(info.kind, rasterlib::PixelKind::Rgb);
}

TEST(SampleRasters, AnEmptyBoxIsRefused) {
    TempFolder t;
    const sample::RasterBox flat{0, 0, 0, 100};
    EXPECT_FALSE(sample::write_background_map(t.folder() + "x.tif", flat, 10.0f,
                                              sample::MapColours::Paletted,
                                              sample::MapLayout::for_box(flat))
                     .ok);
    EXPECT_FALSE(sample::write_elevation_grid(t.folder() + "y.tif", kBox, 0.0f,
                                              sample::MapLayout::for_box(kBox))
                     .ok);
}
