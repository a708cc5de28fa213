#include "view/transform.h"

#include <QImage>
#include <limits>

#include <gtest/gtest.h>

#include "platform/surface/gdi.h"
#include "view_test_support.h"

using state::ViewState;

namespace {

class Transform : public view_test::PaintingTest {
  protected:
    // A view 100 units high shown in a window 600 x 400: four pixels per unit.
    state::ViewState small_view(double x_min = 1000.0, double y_min = 2000.0) {
        state::ViewState v;
        v.View_X_Min = x_min;
        v.View_Y_Min = y_min;
        v.View_Height_Units = 100;
        return v;
    }
};

std::pair<int32_t, int32_t> project(const state::ViewState &v, int32_t x, int32_t y) {
    int32_t px = -1, py = -1;
    view::world_to_pixel(v, x, y, px, py);
    return {px, py};
}

} // namespace

TEST_F(Transform, PrepareViewDerivesScaleExtentsAndCentre) {
    state::ViewState v = small_view();
    view::Prepare_View(v, dc(), 600, 400);
    EXPECT_EQ(v.Map_DC, &dc());
    EXPECT_EQ(v.Window_Width_Px, 600);
    EXPECT_EQ(v.Window_Height_Px, 400);
    EXPECT_DOUBLE_EQ(v.View_Scale, 4.0);
    EXPECT_EQ(v.View_Width_Units, 150);
    EXPECT_DOUBLE_EQ(v.View_X_Max, 1150.0);
    EXPECT_DOUBLE_EQ(v.View_Y_Max, 2100.0);
    EXPECT_EQ(v.View_Centre_X, 1075);
    EXPECT_EQ(v.View_Centre_Y, 2050);
    // The library now has the view: the bottom-left corner is pixel (0, 400).
    EXPECT_EQ(project(v, 1000, 2000), std::make_pair(0, 400));
    EXPECT_EQ(project(v, 1010, 2010), std::make_pair(40, 360));
    EXPECT_EQ(project(v, 1150, 2100), std::make_pair(600, 0));
}

TEST_F(Transform, PrepareViewSetsTextAlignmentAndDrawsTheBorderWithTheCurrentPen) {
    state::ViewState v = small_view();
    dc().select(gdi::Pen{gdi::PenStyle::Solid, 0, gdi::rgb(0, 128, 0)});
    view::Prepare_View(v, dc(), 600, 400);
    EXPECT_EQ(dc().text_align(), gdi::TA_LEFT | gdi::TA_BOTTOM);
    const gdi::Colour green = gdi::rgb(0, 128, 0);
    EXPECT_EQ(dc().get_pixel(0, 200), green);   // left edge
    EXPECT_EQ(dc().get_pixel(599, 200), green); // right edge
    EXPECT_EQ(dc().get_pixel(300, 0), green);   // top edge
    EXPECT_EQ(dc().get_pixel(300, 200), view_test::kWhite);
}

TEST_F(Transform, HeightOfZeroBecomesHundredAndNegativeHeightItsMagnitude) {
    state::ViewState v = small_view();
    v.View_Height_Units = 0;
    view::Prepare_View(v, dc(), 600, 400);
    EXPECT_EQ(v.View_Height_Units, 100);

    v.View_Height_Units = -2000;
    view::Prepare_View(v, dc(), 600, 400);
    EXPECT_EQ(v.View_Height_Units, 2000);
    EXPECT_DOUBLE_EQ(v.View_Scale, 0.2);

    // The most negative height has no magnitude in range; it must not stay negative.
    v.View_Height_Units = std::numeric_limits<int32_t>::min();
    view::Prepare_View(v, dc(), 600, 400);
    EXPECT_GT(v.View_Height_Units, 0);
}

TEST_F(Transform, CentreHalvesTheIntegerExtentByTruncation) {
    state::ViewState v = small_view(1001.0, 1001.0);
    v.View_Height_Units = 101; // 101 / 2 is 50, not 50.5
    view::Prepare_View(v, dc(), 600, 404);
    EXPECT_EQ(v.View_Width_Units, 150);
    EXPECT_EQ(v.View_Centre_Y, 1051);
    EXPECT_EQ(v.View_Centre_X, 1076);
}

TEST_F(Transform, ViewOriginIsRoundedHalfToEvenByTheTransform) {
    state::ViewState v = small_view(49'200'000.4, 0.0);
    view::Prepare_View(v, dc(), 600, 400);
    EXPECT_EQ(project(v, 49'200'000, 0).first, 0);

    v.View_X_Min = 49'200'000.5;
    view::Prepare_View(v, dc(), 600, 400);
    EXPECT_EQ(project(v, 49'200'000, 0).first, 0);

    v.View_X_Min = 49'200'001.5;
    view::Prepare_View(v, dc(), 600, 400);
    EXPECT_EQ(project(v, 49'200'002, 0).first, 0);
    EXPECT_EQ(project(v, 49'200'001, 0).first, -4);
}

TEST_F(Transform, WindowWithoutHeightHasNoScaleAndLeavesThePointerAlone) {
    state::ViewState v = small_view();
    view::Prepare_View(v, dc(), 600, 0);
    EXPECT_EQ(v.View_Scale, 0.0);
    EXPECT_EQ(v.View_Width_Units, 0);
    v.Cursor_World_X = 123;
    v.Cursor_World_Y = 456;
    EXPECT_FALSE(view::pixel_to_world(v, 10.0, 10.0));
    EXPECT_EQ(v.Cursor_World_X, 123);
    EXPECT_EQ(v.Cursor_World_Y, 456);
}

TEST_F(Transform, PixelToWorldRoundsTheOffsetFirstThenThePosition) {
    state::ViewState v = small_view(100.5, 200.0);
    view::Prepare_View(v, dc(), 600, 400);
    ASSERT_TRUE(view::pixel_to_world(v, 0.0, 400.0));
    EXPECT_EQ(v.Cursor_World_X, 100); // 0 + 100.5, half to even
    EXPECT_EQ(v.Cursor_World_Y, 200);
    ASSERT_TRUE(view::pixel_to_world(v, 2.0, 398.0)); // offsets 0.5 round to 0
    EXPECT_EQ(v.Cursor_World_X, 100);
    EXPECT_EQ(v.Cursor_World_Y, 200);
    ASSERT_TRUE(view::pixel_to_world(v, 6.0, 394.0)); // offsets 1.5 round to 2
    EXPECT_EQ(v.Cursor_World_X, 102);                 // 2 + 100.5 = 102.5, to even
    EXPECT_EQ(v.Cursor_World_Y, 202);
    ASSERT_TRUE(view::pixel_to_world(v, 10.0, 390.0)); // 2.5 rounds to 2
    EXPECT_EQ(v.Cursor_World_X, 102);
    EXPECT_EQ(v.Cursor_World_Y, 202);
}

TEST_F(Transform, ReScaleIntoTenthsAndBackIsExactAndKeepsThePixels) {
    state::ViewState v = small_view(49'200'000.0, 36'552'000.0);
    v.View_Height_Units = 101;
    view::Prepare_View(v, dc(), 601, 400);
    const state::ViewState before = v;
    const auto pixel = project(v, 49'200'000 + 50, 36'552'000 + 50);
    ASSERT_EQ(pixel, std::make_pair(198, 202)); // 50 units at 400 / 101 pixels per unit

    ASSERT_EQ(state::ReScale(v), 1);
    EXPECT_EQ(v.Fine_Units, 0); // the caller stores the result, not ReScale
    EXPECT_EQ(v.View_Height_Units, 1010);
    EXPECT_EQ(v.View_Width_Units, before.View_Width_Units * 10);
    EXPECT_DOUBLE_EQ(v.View_X_Min, 492'000'000.0);
    EXPECT_DOUBLE_EQ(v.View_Scale, before.View_Scale * 0.1);
    EXPECT_EQ(v.View_Centre_X, before.View_Centre_X); // passed on unchanged
    // The library sees the tenth-unit view: the same place lands on the same pixel.
    EXPECT_EQ(project(v, 492'000'000 + 500, 365'520'000 + 500), pixel);

    v.Fine_Units = 1;
    ASSERT_EQ(state::ReScale(v), 0);
    EXPECT_EQ(v.View_Height_Units, before.View_Height_Units);
    EXPECT_EQ(v.View_Width_Units, before.View_Width_Units);
    EXPECT_EQ(v.View_X_Min, before.View_X_Min);
    EXPECT_EQ(v.View_Y_Max, before.View_Y_Max);
    EXPECT_EQ(v.View_Scale, before.View_Scale);
    EXPECT_EQ(project(v, 49'200'050, 36'552'050), pixel);
}

// A tenth of 0.025 times ten is 0.025000000000000005, which rounds a 100-unit pen up to 3
// pixels: switching back gives the whole-unit view exactly, however often it is done, and
// works the view out again only when it was changed while in tenths.
TEST_F(Transform, ReScaleBackGivesTheWholeUnitViewExactly) {
    state::ViewState v = small_view(49'200'000.0, 36'552'000.0);
    v.View_Height_Units = 16'000;
    view::Prepare_View(v, dc(), 600, 400);
    ASSERT_EQ(v.View_Scale, 0.025);
    const state::ViewState before = v;
    for (int round = 0; round < 3; ++round) {
        v.Fine_Units = state::ReScale(v);
        v.Fine_Units = state::ReScale(v);
        EXPECT_EQ(v.View_Scale, 0.025);
        EXPECT_EQ(v.View_X_Min, before.View_X_Min);
        EXPECT_EQ(v.View_Y_Min, before.View_Y_Min);
        EXPECT_EQ(v.View_X_Max, before.View_X_Max);
        EXPECT_EQ(v.View_Y_Max, before.View_Y_Max);
        EXPECT_EQ(v.View_Width_Units, before.View_Width_Units);
        EXPECT_EQ(v.View_Height_Units, before.View_Height_Units);
    }
    v.Fine_Units = state::ReScale(v);
    v.View_X_Min += 1000.0; // moved while in tenths
    v.Fine_Units = state::ReScale(v);
    EXPECT_DOUBLE_EQ(v.View_X_Min, before.View_X_Min + 100.0);
    EXPECT_DOUBLE_EQ(v.View_Scale, 0.025);
}

TEST_F(Transform, ReScaleOfAnExtentBeyondTenthsStopsAtTheRangeInsteadOfWrapping) {
    state::ViewState v = small_view();
    v.View_Height_Units = 300'000'000;
    view::Prepare_View(v, dc(), 600, 400);
    state::ReScale(v);
    EXPECT_EQ(v.View_Height_Units, std::numeric_limits<int32_t>::max());
    EXPECT_GT(v.View_Width_Units, 0);
}
