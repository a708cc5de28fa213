#include "raster/raster_painting.h"

#include <QImage>

#include <gtest/gtest.h>

#include <sys/types.h>
#include <unistd.h>

#include <memory>

#include "platform/surface/gdi.h"
#include "raster/raster_loading.h"
#include "raster_test_support.h"
#include "view/transform.h"

using raster::Cut_To_View;
using raster_test::Recorder;
using raster_test::Rgb;
using raster_test::TempFolder;
using raster_test::Zwi;
using state::RasterEntry;
using state::RasterTable;

namespace {

state::RasterEntry entry(int32_t west, int32_t south, float pw, float ph, int32_t columns,
                         int32_t rows) {
    state::RasterEntry e;
    e.west = west;
    e.south = south;
    e.pixel_width = pw;
    e.pixel_height = ph;
    e.columns = columns;
    e.rows = rows;
    e.east = west + static_cast<int32_t>(columns * pw);
    e.north = south + static_cast<int32_t>(rows * ph);
    return e;
}

state::ViewState view_of(double x_min, double y_min, double x_max, double y_max) {
    state::ViewState v;
    v.View_X_Min = x_min;
    v.View_Y_Min = y_min;
    v.View_X_Max = x_max;
    v.View_Y_Max = y_max;
    return v;
}

} // namespace

TEST(RasterCut, ARasterInsideTheViewIsPaintedWhole) {
    const state::RasterEntry e = entry(1000, 2000, 25, 25, 400, 300);
    const auto c = Cut_To_View(e, view_of(0, 0, 50000, 50000));
    EXPECT_TRUE(c.paint);
    EXPECT_EQ(c.src_left, 0);
    EXPECT_EQ(c.src_top, 0);
    EXPECT_EQ(c.src_right, 400);
    EXPECT_EQ(c.src_bottom, 300);
    EXPECT_EQ(c.world_left, 1000);
    EXPECT_EQ(c.world_bottom, 2000);
    EXPECT_EQ(c.world_right, 11000);
    EXPECT_EQ(c.world_top, 9500);
}

TEST(RasterCut, EachEdgeCutsWholePixelsAndMovesToTheViewEdge) {
    const state::RasterEntry e = entry(1000, 2000, 25, 25, 400, 300);
    // 1000 units east of the raster's west edge at 25 a pixel: 40 columns off the left.
    // The view's other edges cut 20 columns, 10 rows at the bottom and 12 at the top.
    const auto c = Cut_To_View(e, view_of(2000.4, 2250, 10500, 9200));
    ASSERT_TRUE(c.paint);
    EXPECT_EQ(c.src_left, 40);
    EXPECT_EQ(c.world_left, 2000);
    EXPECT_EQ(c.src_right, 380);
    EXPECT_EQ(c.world_right, 10500);
    EXPECT_EQ(c.src_bottom, 290);
    EXPECT_EQ(c.world_bottom, 2250);
    EXPECT_EQ(c.src_top, 12);
    EXPECT_EQ(c.world_top, 9200);
}

TEST(RasterCut, LessThanHalfAPixelBeyondTheViewCutsNothing) {
    const state::RasterEntry e = entry(1000, 2000, 25, 25, 400, 300);
    // East edge 12 units (under half a pixel) beyond the view's east edge, west edge 12
    // units short of the view's west edge.
    const auto c = Cut_To_View(e, view_of(1012, 0, 10988, 50000));
    ASSERT_TRUE(c.paint);
    EXPECT_EQ(c.src_left, 0);
    EXPECT_EQ(c.world_left, 1000);
    EXPECT_EQ(c.src_right, 400);
}

TEST(RasterCut, OnlyAStrictOverlapIsPainted) {
    const state::RasterEntry e = entry(1000, 2000, 25, 25, 400, 300);
    // Touching edges: the raster's east is the view's west, and so on round.
    EXPECT_FALSE(Cut_To_View(e, view_of(11000, 0, 20000, 50000)).overlaps);
    EXPECT_FALSE(Cut_To_View(e, view_of(0, 0, 1000, 50000)).overlaps);
    EXPECT_FALSE(Cut_To_View(e, view_of(0, 9500, 50000, 20000)).overlaps);
    EXPECT_FALSE(Cut_To_View(e, view_of(0, 0, 50000, 2000)).overlaps);
    EXPECT_TRUE(Cut_To_View(e, view_of(10999, 0, 20000, 50000)).overlaps);
    // Overlapping by a sliver that rounds to no column at all: nothing to stretch.
    const auto sliver = Cut_To_View(e, view_of(10995, 0, 20000, 50000));
    EXPECT_TRUE(sliver.overlaps);
    EXPECT_FALSE(sliver.paint);
}

// Painting through the map window's device context with a known view: a 200 x 100 window
// showing world x 0..2000, y 0..1000 (0.1 pixel per unit), the library told by Prepare_View.
class RasterPainting : public ::testing::Test {
  protected:
    void SetUp() override {
        image_ = QImage(200, 100, QImage::Format_RGB32);
        image_.fill(Qt::white);
        dc_ = std::make_unique<gdi::DeviceContext>(image_);
        view_.View_X_Min = 0;
        view_.View_Y_Min = 0;
        view_.View_Height_Units = 1000;
        prepare();
    }

    void prepare() {
        dc_->clear(gdi::rgb(255, 255, 255));
        view::Prepare_View(view_, *dc_, 200, 100);
    }

    // A 10 x 10 image whose pixel (c, r) has red 20c, green 20r; 20 units a pixel, so
    // each image pixel is 2 x 2 window pixels.
    void load(int32_t west, int32_t south, int columns = 10, int rows = 10) {
        const std::string tif = t_.folder() + "r" + std::to_string(loaded_) + ".tif";
        raster_test::write_rgb(tif, columns, rows, [](int x, int y) {
            return Rgb{static_cast<uint8_t>(20 * x), static_cast<uint8_t>(20 * y), 100};
        });
        Zwi z;
        z.west = west;
        z.south = south;
        z.pixel_width = 20;
        z.pixel_height = 20;
        z.columns = 10;
        z.rows = 10;
        t_.write("r" + std::to_string(loaded_) + ".zwi", z.text());
        raster::Load_A_Lead_Raster(table_, t_.folder() + "r" + std::to_string(loaded_++) + ".zwi",
                                   view_, rec_.ui());
    }

    static gdi::Colour cell(int c, int r) { return gdi::rgb(20 * c, 20 * r, 100); }
    gdi::Colour at(int x, int y) { return dc_->get_pixel(x, y); }
    int painted(int x0, int y0, int x1, int y1) { // pixels not white in [x0,x1) x [y0,y1)
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += at(x, y) != gdi::rgb(255, 255, 255);
        return n;
    }

    TempFolder t_;
    QImage image_;
    std::unique_ptr<gdi::DeviceContext> dc_;
    state::ViewState view_;
    state::RasterTable table_;
    Recorder rec_;
    int loaded_ = 0;
};

TEST_F(RasterPainting, LoadingPaintsTheRasterAtTheWindowPixelsOfItsCorners) {
    load(500, 300); // x 500..700 -> pixels 50..70; y 300..500 -> rows 70 up to 50
    ASSERT_EQ(table_.count(), 1);
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx)
                    ASSERT_EQ(at(50 + 2 * c + dx, 50 + 2 * r + dy), cell(c, r)) << c << "," << r;
    EXPECT_EQ(painted(1, 1, 199, 99), 400); // nothing outside the destination
    EXPECT_TRUE(rec_.messages.empty());
}

TEST_F(RasterPainting, ACutRasterShowsItsRemainingPixelsFromTheViewEdge) {
    load(500, 300);
    view_.View_X_Min = 600; // five columns off the left
    view_.View_Y_Min = 340; // two rows off the bottom
    prepare();
    raster::Paint_A_Lead_Raster(table_, 1, view_, rec_.ui());
    // Columns 5..9 from the window's left edge, rows 0..7 above its bottom.
    EXPECT_EQ(at(0, 84), cell(5, 0));
    EXPECT_EQ(at(9, 99), cell(9, 7));
    EXPECT_EQ(at(10, 90), gdi::rgb(255, 255, 255));
    EXPECT_EQ(at(5, 83), gdi::rgb(255, 255, 255));
}

TEST_F(RasterPainting, ARasterThatOnlyTouchesTheViewIsNotPainted) {
    load(500, 300);
    view_.View_X_Min = 700; // the raster's east edge
    prepare();
    raster::Paint_A_Lead_Raster(table_, 1, view_, rec_.ui());
    EXPECT_EQ(painted(1, 1, 199, 99), 0); // inside the window border
}

TEST_F(RasterPainting, AStrongZoomFillsTheWindowFromOneReadOfAFewPixels) {
    load(500, 300);
    view_.View_X_Min = 605;      // x 605..615: inside column 5 (x 600..620)
    view_.View_Y_Min = 405;      // y 405..410: inside row 4 from the top (y 400..420)
    view_.View_Height_Units = 5; // 20 pixels per unit: one image pixel is 400 wide
    prepare();
    raster::Paint_A_Lead_Raster(table_, 1, view_, rec_.ui());
    EXPECT_EQ(at(100, 50), cell(5, 4));
    EXPECT_EQ(painted(1, 1, 199, 99), 198 * 98);
}

TEST_F(RasterPainting, AnImageSmallerThanItsWorldInfoLeavesTheRestUnpainted) {
    load(500, 300, 5, 10); // world info says 10 columns; the image has 5
    EXPECT_EQ(at(59, 60), cell(4, 5));
    EXPECT_EQ(at(60, 60), gdi::rgb(255, 255, 255));
    EXPECT_EQ(painted(1, 1, 199, 99), 200);
}

TEST_F(RasterPainting, TheRedrawPaintsEntryOneOnlyWhileTheBackgroundSwitchIsOn) {
    load(500, 300);
    load(1000, 300);
    prepare();
    raster::Paint_Rasters(table_, view_, rec_.ui());
    EXPECT_EQ(painted(50, 50, 70, 70), 400);
    EXPECT_EQ(painted(100, 50, 120, 70), 0); // later rasters are painted only on loading

    raster::Set_Background_Display(table_, false);
    EXPECT_EQ(table_.entry(1).display, 0);
    prepare();
    raster::Paint_Rasters(table_, view_, rec_.ui());
    EXPECT_EQ(painted(50, 50, 70, 70), 0);

    raster::Set_Background_Display(table_, true);
    prepare();
    raster::Paint_Rasters(table_, view_, rec_.ui());
    EXPECT_EQ(painted(50, 50, 70, 70), 400);

    state::RasterTable empty;
    raster::Set_Background_Display(empty, true); // no rasters: nothing to switch
    raster::Paint_Rasters(empty, view_, rec_.ui());
}

TEST_F(RasterPainting, AFileDamagedAfterLoadingReportsADisplayErrorAndPauses) {
    const std::string tif = t_.folder() + "big.tif";
    raster_test::write_rgb(tif, 64, 64, [](int x, int y) {
        return Rgb{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0};
    });
    Zwi z;
    z.west = 0;
    z.south = 0;
    z.pixel_width = 10;
    z.pixel_height = 10;
    z.columns = 64;
    z.rows = 64;
    t_.write("big.zwi", z.text());
    state::ViewState no_window; // load without painting
    raster::Load_A_Lead_Raster(table_, t_.folder() + "big.zwi", no_window, rec_.ui());
    ASSERT_EQ(table_.count(), 1);
    ASSERT_EQ(::truncate(tif.c_str(), 600), 0); // the pixel data is gone
    raster::Paint_A_Lead_Raster(table_, 1, view_, rec_.ui());
    ASSERT_EQ(rec_.messages.size(), 1u);
    EXPECT_EQ(rec_.messages[0], "Image display error -4");
    EXPECT_EQ(rec_.pauses, std::vector<int>{raster::kDisplayErrorPauseMs});
}
