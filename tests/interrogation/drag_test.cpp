// The drags of the map: the zoom box, the pan with its moving picture, and the scale
// bar when it floats.
#include <gtest/gtest.h>

#include "mouse_test_support.h"
#include "view/navigation.h"

namespace {

using namespace mouse_test;

constexpr gdi::Colour kRed = gdi::rgb(255, 0, 0);
constexpr const char *kAtMinimum = "Attempt to Zoom Beyond TAVI Limits set at minimum view";

class ZoomBox : public MouseTest {
  protected:
    void SetUp() override {
        show_view(0.0, 0.0, 100000); // 250 units per pixel: pixel (x, y) is (250x, 250(400-y))
        view::ZoomWindow(state_.navigation);
    }

    // Press, drag through the points with the left button held, release at the last.
    void drag(std::initializer_list<std::pair<double, double>> points) {
        const auto first = *points.begin();
        down(kLeftButton, first.first, first.second);
        for (const auto &[x, y] : points)
            move(kLeftButton, x, y);
        const auto last = *(points.end() - 1);
        up(kLeftButton, last.first, last.second);
        move(kNoButton, last.first, last.second);
    }
};

TEST_F(ZoomBox, BoxFollowsThePointerAndOnlyTheLastOneShows) {
    down(kLeftButton, 100, 300);
    EXPECT_EQ(state_.navigation.Zoom_Window_State, state::NavigationState::Armed);
    move(kLeftButton, 100, 300);
    EXPECT_EQ(state_.navigation.Zoom_Window_State, state::NavigationState::Dragging);
    EXPECT_EQ(count(kBandOnWhite), 0); // nothing to show before the box has a size

    move(kLeftButton, 200, 250);
    EXPECT_EQ(pixel(200, 250), kBandOnWhite);
    move(kLeftButton, 300, 100);
    // Each side drawn once, corners included: 2 x (200 + 200) pixels, the old box gone.
    EXPECT_EQ(count(kBandOnWhite), 800);
    EXPECT_EQ(pixel(200, 250), kWhite);
    EXPECT_EQ(pixel(300, 100), kBandOnWhite);
    EXPECT_EQ(pixel(100, 300), kBandOnWhite);
    EXPECT_EQ(redraws_, 0);
}

TEST_F(ZoomBox, SouthWestCornerAndHeightBecomeTheView) {
    drag({{100, 300}, {200, 250}, {300, 100}});
    EXPECT_EQ(view::stored_view(state_.view), (view::StoredView{25000, 25000, 50000}));
    EXPECT_EQ(redraws_, 1);
    EXPECT_EQ(state_.navigation.Zoom_Window_State, state::NavigationState::Idle);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ZoomBox, DraggedEitherWayGivesTheSameView) {
    drag({{300, 100}, {250, 200}, {100, 300}});
    const view::StoredView first = view::stored_view(state_.view);
    EXPECT_EQ(first, (view::StoredView{25000, 25000, 50000}));

    show_view(0.0, 0.0, 100000);
    view::ZoomWindow(state_.navigation);
    drag({{100, 100}, {300, 300}}); // north-west to south-east
    EXPECT_EQ(view::stored_view(state_.view), first);
}

TEST_F(ZoomBox, BoxUnderTheLimitIsWidenedFromItsLowerLeftCorner) {
    // From northing 25000 to 49999: 24999 units high.
    drag({{100, 300}, {150, 200.004}});
    EXPECT_EQ(view::stored_view(state_.view), (view::StoredView{25000, 25000, 25000}));
    EXPECT_EQ(state_.view.View_Width_Units, 37500); // the window's shape, 600 x 400
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], kAtMinimum);
    EXPECT_EQ(redraws_, 1);
    EXPECT_EQ(state_.navigation.Zoom_Window_State, state::NavigationState::Idle);
}

TEST_F(ZoomBox, MapIsRedrawnPlainlyWhicheverWayTheZoomEnds) {
    // The redraw draws a red line on white: exclusive-or would make it cyan.
    std::vector<gdi::Colour> drawn;
    hooks_.redraw = [&] {
        dc_.clear(kWhite);
        const gdi::Pen old = dc_.select(gdi::Pen{gdi::PenStyle::Solid, 0, kRed});
        const gdi::Point line[2] = {{10, 10}, {20, 10}};
        dc_.polyline(line, 2);
        dc_.select(old);
        drawn.push_back(pixel(15, 10));
    };
    drag({{100, 300}, {150, 200.004}}); // under the limit
    show_view(0.0, 0.0, 100000);
    view::ZoomWindow(state_.navigation);
    drag({{100, 300}, {300, 100}});
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0], kRed);
    EXPECT_EQ(drawn[1], kRed);
}

TEST_F(ZoomBox, BoxAtTheLimitIsTakenAsDrawn) {
    drag({{100, 300}, {150, 200}}); // 25000 units high
    EXPECT_EQ(state_.view.View_Height_Units, 25000);
    EXPECT_EQ(state_.view.View_Y_Min, 25000.0);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ZoomBox, ReleasedBeforeMovingZoomsAtThePressNotAtAnOldBox) {
    // What an earlier zoom box left behind must not become the far corner.
    drag_.box_world_x2 = 140000;
    drag_.box_world_y2 = 99000;
    down(kLeftButton, 100, 300);
    move(kLeftButton, 100, 300);
    up(kLeftButton, 100, 300);
    move(kNoButton, 100, 300);
    EXPECT_EQ(state_.view.View_X_Min, 25000.0);
    EXPECT_EQ(state_.view.View_Y_Min, 25000.0);
    EXPECT_EQ(state_.view.View_Height_Units, 25000);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], kAtMinimum);
}

TEST_F(ZoomBox, PressWhileArmedStartsNoSearch) {
    int searches = 0;
    searches_.Point_Data_Search = [&](int32_t &, int32_t &) { ++searches; };
    state_.interaction.Tool_Code = ToolCode::PointData;
    down(kLeftButton, 100, 300);
    EXPECT_EQ(searches, 0);
    EXPECT_EQ(state_.view.Cursor_World_X, 25000); // the position is still taken
}

class PanDrag : public MouseTest {
  protected:
    void SetUp() override {
        show_view(1000.0, 2000.0, 400); // one pixel per unit
        dc_.set_pixel(50, 60, kRed);
        state_.navigation.Pan_State = state::NavigationState::Armed;
    }
};

TEST_F(PanDrag, PictureMovesWithThePointerAndTheViewFollowsOnRelease) {
    down(kLeftButton, 100, 100);
    EXPECT_EQ(state_.navigation.Pan_State, state::NavigationState::Armed);
    move(kLeftButton, 100, 100);
    EXPECT_EQ(state_.navigation.Pan_State, state::NavigationState::Dragging);
    EXPECT_EQ(state_.interaction.Refresh_Mode, 5);
    EXPECT_FALSE(timer_on_);

    move(kLeftButton, 130, 120);
    EXPECT_EQ(pixel(80, 80), kRed);
    EXPECT_EQ(pixel(50, 60), kWhite);
    EXPECT_EQ(pixel(10, 10), kWhite); // uncovered by the moved picture
    EXPECT_GT(repaints_, 0);
    EXPECT_EQ(redraws_, 0);

    up(kLeftButton, 130, 120);
    move(kNoButton, 130, 120);
    // The point under the pointer at the press is under it at the release.
    EXPECT_EQ(state_.view.View_X_Min, 970.0);
    EXPECT_EQ(state_.view.View_Y_Min, 2020.0);
    EXPECT_EQ(state_.navigation.Pan_State, state::NavigationState::Idle);
    EXPECT_EQ(state_.interaction.Refresh_Mode, 1);
    EXPECT_TRUE(timer_on_);
    EXPECT_TRUE(drag_.pan_picture.isNull());
    EXPECT_EQ(pointer_, state::kPointerCross);
    EXPECT_EQ(redraws_, 1);
    ASSERT_FALSE(messages_.empty());
    EXPECT_EQ(messages_.back(), "");
}

TEST_F(PanDrag, TheMapFollowsThePointerFromThePressNotFromTheFirstMove) {
    down(kLeftButton, 100, 100);
    move(kLeftButton, 150, 100); // the first move already 50 pixels on
    EXPECT_EQ(pixel(100, 60), kRed);
    move(kLeftButton, 300, 100);
    up(kLeftButton, 300, 100);
    move(kNoButton, 300, 100);
    EXPECT_EQ(state_.view.View_X_Min, 800.0); // the whole 200 pixels
    EXPECT_EQ(state_.view.View_Y_Min, 2000.0);
}

TEST_F(PanDrag, ReleasedAtItsStartKeepsTheViewAndStillRedraws) {
    move(kLeftButton, 100, 100);
    move(kLeftButton, 160, 40);
    move(kLeftButton, 100, 100);
    move(kNoButton, 100, 100);
    EXPECT_EQ(state_.view.View_X_Min, 1000.0);
    EXPECT_EQ(state_.view.View_Y_Min, 2000.0);
    EXPECT_EQ(redraws_, 1);
}

TEST_F(PanDrag, MovesWithoutTheButtonWhileArmedDoNothing) {
    move(kNoButton, 100, 100);
    move(kNoButton, 200, 100);
    EXPECT_EQ(state_.navigation.Pan_State, state::NavigationState::Armed);
    EXPECT_EQ(state_.view.View_X_Min, 1000.0);
    EXPECT_EQ(pixel(50, 60), kRed);
    EXPECT_EQ(redraws_, 0);
}

TEST_F(PanDrag, PanCommandWaitsUntilTheDragIsOver) {
    state_.navigation.Pan_State = state::NavigationState::Idle;
    // The window's events, as the waiting command lets them run one by one.
    const std::vector<std::pair<int, int>> events = {
        {kNoButton, 100}, {kLeftButton, 100}, {kLeftButton, 150}, {kNoButton, 150}};
    size_t next = 0;
    state::UiHooks ui = hooks_.ui;
    ui.process_events = [&] {
        ASSERT_LT(next, events.size()) << "the command did not see the drag end";
        move(events[next].first, events[next].second, 200);
        ++next;
    };
    view::Pan(state_.navigation, ui);
    EXPECT_EQ(next, events.size());
    EXPECT_EQ(state_.view.View_X_Min, 950.0);
    EXPECT_EQ(messages_.back(), "");
}

class ScaleBarDrag : public MouseTest {
  protected:
    void SetUp() override {
        show_view(0.0, 0.0, 400);
        state_.furniture.Scale_Floating = 1;
        auto &b = state_.boxes;
        b.bar_left = 76;
        b.bar_top = 318;
        b.bar_right = 176;
        b.bar_bottom = 326;
    }
};

TEST_F(ScaleBarDrag, GrabMoveAndDrop) {
    down(kLeftButton, 76, 318);
    EXPECT_TRUE(state_.interaction.Scale_Bar_Dragging);
    EXPECT_EQ(pointer_, state::kPointerSizeAll);

    move(kLeftButton, 300.4, 200.6);
    EXPECT_EQ(state_.furniture.Bar_Origin_X, 300);
    EXPECT_EQ(state_.furniture.Bar_Origin_Y, 201);
    EXPECT_EQ(redraws_, 0);

    up(kLeftButton, 300.4, 200.6);
    move(kNoButton, 300.4, 200.6);
    EXPECT_FALSE(state_.interaction.Scale_Bar_Dragging);
    EXPECT_EQ(pointer_, state::kPointerCross);
    EXPECT_EQ(redraws_, 1);
    EXPECT_EQ(state_.furniture.Bar_Origin_X, 300);
}

TEST_F(ScaleBarDrag, BarRectangleHasItsRightAndBottomEdgesOutside) {
    down(kLeftButton, 175, 325);
    EXPECT_TRUE(state_.interaction.Scale_Bar_Dragging);
    state_.interaction.Scale_Bar_Dragging = false;
    down(kLeftButton, 176, 320);
    EXPECT_FALSE(state_.interaction.Scale_Bar_Dragging);
    down(kLeftButton, 100, 326);
    EXPECT_FALSE(state_.interaction.Scale_Bar_Dragging);
    down(kLeftButton, 75, 320);
    EXPECT_FALSE(state_.interaction.Scale_Bar_Dragging);
}

TEST_F(ScaleBarDrag, FixedBarCannotBeGrabbed) {
    state_.furniture.Scale_Floating = 0;
    down(kLeftButton, 100, 320);
    EXPECT_FALSE(state_.interaction.Scale_Bar_Dragging);
    move(kLeftButton, 300, 200);
    EXPECT_EQ(state_.furniture.Bar_Origin_X, 75);
}

} // namespace
