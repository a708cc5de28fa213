#include "view/navigation.h"

#include <QImage>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/surface/gdi.h"
#include "view_test_support.h"

using state::NavigationState;
using state::ViewState;

namespace {

const std::string kAtMaximum = "Attempt to Zoom Beyond TAVI Limits set at maximum view";
const std::string kAtMinimum = "Attempt to Zoom Beyond TAVI Limits set at minimum view";
const std::string kScaleKept = "Attempt to Zoom Beyond Scale limit !! Old scale retained";

// A window 600 x 400 pixels (three wide for two high) and everything the navigation
// tells the window: redraws, status texts and pointers, in the order they came.
class Navigation : public ::testing::Test {
  protected:
    Navigation() {
        v_.Window_Width = 600.0;
        v_.Window_Height = 400.0;
        v_.View_X_Min = 49140000.0;
        v_.View_Y_Min = 47568000.0;
        nav_.Tool_Pointer = 7;
        hooks_.status_message = [this](const std::string &t) { log_.push_back("status:" + t); };
        hooks_.set_pointer = [this](int p) { log_.push_back("pointer:" + std::to_string(p)); };
        redraw_ = [this] { log_.push_back("redraw"); };
    }

    void view_of(int32_t height, int32_t width) {
        v_.View_Height_Units = height;
        v_.View_Width_Units = width;
    }
    double centre_x() const { return v_.View_X_Min + v_.View_Width_Units / 2; }
    double centre_y() const { return v_.View_Y_Min + v_.View_Height_Units / 2; }

    void zoom(double by) { view::Zoom(v_, nav_, by, redraw_, hooks_); }
    // The view's corner and height, the fields a navigation step sets.
    view::StoredView shown() const { return view::stored_view(v_); }

    state::ViewState v_;
    state::NavigationState nav_;
    state::UiHooks hooks_;
    view::Redraw redraw_;
    std::vector<std::string> log_;
};

} // namespace

// ---- Zoom by a factor ----------------------------------------------------------------

TEST_F(Navigation, ZoomKeepsTheCentreAndRestoresTheToolsPointer) {
    view_of(60000, 90000);
    const double cx = centre_x(), cy = centre_y();
    zoom(0.5);
    EXPECT_EQ(v_.View_Height_Units, 30000);
    EXPECT_EQ(v_.View_Width_Units, 45000);
    EXPECT_DOUBLE_EQ(centre_x(), cx);
    EXPECT_DOUBLE_EQ(centre_y(), cy);
    EXPECT_EQ(log_, (std::vector<std::string>{"redraw", "pointer:7"}));

    zoom(2);
    EXPECT_EQ(shown(), (view::StoredView{49140000, 47568000, 60000}));
}

TEST_F(Navigation, ZoomingInPastTheMinimumStopsAtItAboutTheSameCentre) {
    // Half of 50,000 would be 25,000; a zoom step stops at 27,500.
    view_of(50000, 75000);
    const double cx = centre_x(), cy = centre_y();
    zoom(0.5);
    EXPECT_EQ(shown(), (view::StoredView{cx - 20625, cy - 13750, 27500}));
    EXPECT_EQ(v_.View_Width_Units, 41250); // from the window's shape, not the old width
    EXPECT_EQ(log_, (std::vector<std::string>{"redraw", "status:" + kAtMinimum}));

    // Any factor that would go below, a negative one included.
    log_.clear();
    view_of(27500, 41250);
    zoom(-3);
    EXPECT_EQ(v_.View_Height_Units, 27500);
    EXPECT_EQ(log_.back(), "status:" + kAtMinimum);
}

TEST_F(Navigation, ZoomingInExactlyToTheMinimumIsAnOrdinaryStep) {
    // The old width is not of the window's shape, so the two ways of ending tell apart.
    struct Case {
        int32_t height;   // before a zoom by 0.5
        int32_t width;    // afterwards, with the height 27,500 either way
        std::string last; // the last thing told
    } cases[] = {
        {55000, 50000, "pointer:7"},            // exactly the minimum: scaled as asked
        {54999, 41250, "status:" + kAtMinimum}, // 27,499.5 is below it, even if it rounds up
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.height);
        view_of(c.height, 100000);
        log_.clear();
        const double cx = centre_x(), cy = centre_y();
        zoom(0.5);
        EXPECT_EQ(v_.View_Height_Units, view::kMinZoomHeight);
        EXPECT_EQ(v_.View_Width_Units, c.width);
        EXPECT_DOUBLE_EQ(centre_x(), cx);
        EXPECT_DOUBLE_EQ(centre_y(), cy);
        EXPECT_EQ(log_, (std::vector<std::string>{"redraw", c.last}));
    }
}

TEST_F(Navigation, ZoomingOutPastTheMaximumJumpsToTheMaximumView) {
    view_of(600000, 900000);
    zoom(2);
    EXPECT_EQ(shown(), (view::StoredView{49200000, 36552000, 878800}));
    EXPECT_EQ(v_.View_Width_Units, 1318200);
    EXPECT_EQ(log_, (std::vector<std::string>{"redraw", "status:" + kAtMaximum}));
}

TEST_F(Navigation, ZoomingOutExactlyToTheMaximumHeightIsAllowed) {
    view_of(439400, 659100);
    const double cx = centre_x(), cy = centre_y();
    zoom(2);
    EXPECT_EQ(v_.View_Height_Units, 878800);
    EXPECT_DOUBLE_EQ(centre_x(), cx);
    EXPECT_DOUBLE_EQ(centre_y(), cy);
    EXPECT_EQ(log_, (std::vector<std::string>{"redraw", "pointer:7"}));
}

TEST_F(Navigation, HalvesTruncateOnBothSidesSoAnOddViewZoomedByOneStaysPut) {
    view_of(30001, 301);
    zoom(1);
    EXPECT_EQ(shown(), (view::StoredView{49140000, 47568000, 30001}));
    EXPECT_EQ(v_.View_Width_Units, 301);

    // New extents round half to even: 0.5 x 60,001 = 30,000.5 gives 30,000.
    view_of(60001, 90001);
    zoom(0.5);
    EXPECT_EQ(v_.View_Height_Units, 30000);
    EXPECT_EQ(v_.View_Width_Units, 45000);
}

TEST_F(Navigation, AnExtentBeyondThe32BitRangeKeepsTheOldScale) {
    view_of(400000, 2000000000);
    zoom(2);
    EXPECT_EQ(v_.View_Height_Units, 400000);
    EXPECT_EQ(v_.View_Width_Units, 2000000000);
    EXPECT_DOUBLE_EQ(v_.View_X_Min, 49140000.0);
    EXPECT_EQ(log_, (std::vector<std::string>{"status:" + kScaleKept, "redraw", "pointer:7"}));

    // A factor that is no number at all is refused the same way.
    log_.clear();
    zoom(std::nan(""));
    EXPECT_EQ(v_.View_Height_Units, 400000);
    EXPECT_EQ(log_.front(), "status:" + kScaleKept);
}

TEST_F(Navigation, AWindowWithoutHeightGetsNoWidthInsteadOfADivisionByZero) {
    v_.Window_Height = 0.0;
    view_of(600000, 900000);
    zoom(2);
    EXPECT_EQ(v_.View_Height_Units, 878800);
    EXPECT_EQ(v_.View_Width_Units, 0);
    view_of(30000, 45000);
    zoom(0.5);
    EXPECT_EQ(v_.View_Height_Units, 27500);
    EXPECT_EQ(v_.View_Width_Units, 0);
}

TEST_F(Navigation, ZoomAboutAPointKeepsThatPointWhereItIsWithinTheSameLimits) {
    struct Case {
        double by;
        int32_t height;   // the view's height after the zoom
        const char *last; // the last thing told, as for the zoom buttons
    } cases[] = {{0.5, 50000, "pointer:7"},
                 {2.0, 200000, "pointer:7"},
                 {0.1, view::kMinZoomHeight,
                  "status:Attempt to Zoom Beyond TAVI Limits set at "
                  "minimum view"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.by);
        view_of(100000, 150000);
        log_.clear();
        // A point a quarter across and three quarters up the view.
        const double wx = v_.View_X_Min + 37500, wy = v_.View_Y_Min + 75000;
        view::Zoom_About(v_, nav_, c.by, wx, wy, redraw_, hooks_);
        EXPECT_EQ(v_.View_Height_Units, c.height);
        EXPECT_NEAR((wx - v_.View_X_Min) / v_.View_Width_Units, 0.25, 1e-4);
        EXPECT_NEAR((wy - v_.View_Y_Min) / v_.View_Height_Units, 0.75, 1e-4);
        ASSERT_FALSE(log_.empty());
        EXPECT_EQ(log_.front(), "redraw");
        EXPECT_EQ(log_.back(), c.last);
        v_.View_X_Min = 49140000.0;
        v_.View_Y_Min = 47568000.0;
    }
    // Out past the maximum it shows the maximum view, as the zoom-out button does.
    view_of(view::kMaxViewHeight, 1000000);
    view::Zoom_About(v_, nav_, 2.0, v_.View_X_Min, v_.View_Y_Min, redraw_, hooks_);
    EXPECT_EQ(v_.View_X_Min, view::kMaxViewOriginX);
    EXPECT_EQ(log_.back(), "status:" + kAtMaximum);
}

TEST_F(Navigation, ZoomToAnObjectCentresItInAViewTwiceItsHeightAtLeast250Metres) {
    for (auto [height, view] : {std::pair{20000.0, 40000}, {5000.0, 25000}, {10000.0, 25000}}) {
        SCOPED_TRACE(height);
        view_of(100000, 150000);
        log_.clear();
        view::Zoom_To_Object(v_, 49600000, 37000000, height, redraw_);
        EXPECT_EQ(v_.View_Height_Units, view);
        EXPECT_EQ(v_.View_Width_Units, view * 3 / 2); // the window's shape stays
        EXPECT_EQ(v_.View_X_Min, 49600000 - view * 3 / 4);
        EXPECT_EQ(v_.View_Y_Min, 37000000 - view / 2);
        EXPECT_EQ(v_.View_Y_Max, 37000000 + view / 2);
        EXPECT_DOUBLE_EQ(v_.View_Scale, 400.0 / view);
        EXPECT_EQ(log_, std::vector<std::string>{"redraw"});
    }
}

TEST_F(Navigation, PanByMovesAQuarterOfTheView) {
    view_of(100000, 150000);
    view::Pan_By(v_, 0.25, -0.25, redraw_);
    EXPECT_EQ(v_.View_X_Min, 49140000.0 + 37500);
    EXPECT_EQ(v_.View_Y_Min, 47568000.0 - 25000);
    EXPECT_EQ(log_, std::vector<std::string>{"redraw"});
}

TEST_F(Navigation, ZoomextAlwaysShowsTheMaximumView) {
    view_of(30000, 45000);
    v_.View_X_Min = -5.0;
    view::zoomext(v_, redraw_, hooks_);
    EXPECT_EQ(shown(), (view::StoredView{49200000, 36552000, 878800}));
    EXPECT_EQ(log_, (std::vector<std::string>{"pointer:11", "redraw"}));
}

// ---- Pan -------------------------------------------------------------------------------

TEST_F(Navigation, APanMovesThePressedPointToTheReleasePoint) {
    nav_.Pan_State = state::NavigationState::Dragging;
    v_.Cursor_World_X = 49141100;
    v_.Cursor_World_Y = 47567900;
    view::End_Pan(v_, nav_, 49141000, 47568000, redraw_, hooks_);
    EXPECT_EQ(nav_.Pan_State, state::NavigationState::Idle);
    EXPECT_DOUBLE_EQ(v_.View_X_Min, 49140000.0 - 100);
    EXPECT_DOUBLE_EQ(v_.View_Y_Min, 47568000.0 + 100);
    EXPECT_EQ(log_, (std::vector<std::string>{"pointer:7", "status:", "redraw"}));

    // Released where it was pressed: nothing moves, but the map is still redrawn.
    log_.clear();
    view::End_Pan(v_, nav_, v_.Cursor_World_X, v_.Cursor_World_Y, redraw_, hooks_);
    EXPECT_DOUBLE_EQ(v_.View_X_Min, 49140000.0 - 100);
    EXPECT_EQ(log_.back(), "redraw");

    // No limits: a pan may leave the maximum view altogether.
    v_.Cursor_World_X = 2000000000;
    v_.Cursor_World_Y = -2000000000;
    view::End_Pan(v_, nav_, -2000000000, 2000000000, redraw_, hooks_);
    EXPECT_DOUBLE_EQ(v_.View_X_Min, 49140000.0 - 100 - 4000000000.0);
    EXPECT_DOUBLE_EQ(v_.View_Y_Min, 47568000.0 + 100 + 4000000000.0);
}

TEST_F(Navigation, PanWaitsWhileEventsRunUntilTheDragHasEnded) {
    // The window's events, as the mouse handler would turn them into pan steps.
    int events = 0;
    hooks_.process_events = [&] {
        ++events;
        if (events == 2)
            nav_.Pan_State = state::NavigationState::Dragging;
        if (events == 5) {
            v_.Cursor_World_X = 500;
            v_.Cursor_World_Y = 0;
            view::End_Pan(v_, nav_, 0, 0, redraw_, hooks_);
        }
    };
    view::Pan(nav_, hooks_);
    EXPECT_EQ(events, 5);
    EXPECT_EQ(nav_.Pan_State, state::NavigationState::Idle);
    EXPECT_DOUBLE_EQ(v_.View_X_Min, 49140000.0 - 500);
    EXPECT_EQ(log_, (std::vector<std::string>{
                        "status: Move pointer to From Point and Hold the Left Button Down while "
                        "dragging the cursor in the Pan Direction",
                        "pointer:7", "status:", "redraw", "status:"}));
}

TEST_F(Navigation, PanWithoutAnEventLoopLeavesTheToolArmed) {
    view::Pan(nav_, hooks_);
    EXPECT_EQ(nav_.Pan_State, state::NavigationState::Armed);
    EXPECT_EQ(log_.size(), 1u);
}

// ---- Zoom window -------------------------------------------------------------------------

TEST_F(Navigation, AZoomBoxBecomesTheViewFromItsSouthWestCornerAndHeight) {
    view::ZoomWindow(nav_);
    EXPECT_EQ(nav_.Zoom_Window_State, state::NavigationState::Armed);
    nav_.Zoom_Window_State = state::NavigationState::Dragging;
    view_of(100000, 150000);
    // Dragged from south-west to north-east.
    view::End_Zoom_Window(v_, nav_, 49250000, 47560000, 49300000, 47600000, redraw_, hooks_);
    const view::StoredView forward = shown();
    EXPECT_EQ(nav_.Zoom_Window_State, state::NavigationState::Idle);
    EXPECT_EQ(forward, (view::StoredView{49250000, 47560000, 40000}));
    EXPECT_EQ(log_, (std::vector<std::string>{"redraw"}));

    // The same box dragged from north-east to south-west.
    view_of(100000, 150000);
    view::End_Zoom_Window(v_, nav_, 49300000, 47600000, 49250000, 47560000, redraw_, hooks_);
    EXPECT_EQ(shown(), forward);
}

TEST_F(Navigation, AZoomBoxBelowTheMinimumIsWidenedFromItsSouthWestCorner) {
    nav_.Zoom_Window_State = state::NavigationState::Dragging;
    view::End_Zoom_Window(v_, nav_, 49300000, 47584999, 49290000, 47560000, redraw_, hooks_);
    EXPECT_EQ(shown(), (view::StoredView{49290000, 47560000, 25000}));
    EXPECT_EQ(v_.View_Width_Units, 37500);
    EXPECT_EQ(nav_.Zoom_Window_State, state::NavigationState::Idle);
    EXPECT_EQ(log_, (std::vector<std::string>{"redraw", "status:" + kAtMinimum}));

    // A box exactly at the minimum is taken as drawn.
    log_.clear();
    view::End_Zoom_Window(v_, nav_, 49290000, 47560000, 49300000, 47585000, redraw_, hooks_);
    EXPECT_EQ(v_.View_Height_Units, 25000);
    EXPECT_EQ(log_, (std::vector<std::string>{"redraw"}));

    // A box of no height at all is widened the same way.
    view::End_Zoom_Window(v_, nav_, 10, 20, 10, 20, redraw_, hooks_);
    EXPECT_EQ(v_.View_Height_Units, 25000);
}

TEST_F(Navigation, AZoomBoxAsHighAsThe32BitRangeGivesTheLargestHeight) {
    view::End_Zoom_Window(v_, nav_, 0, -2147483647 - 1, 0, 2147483647, redraw_, hooks_);
    EXPECT_EQ(v_.View_Height_Units, 2147483647);
    EXPECT_DOUBLE_EQ(v_.View_Y_Min, -2147483648.0);
}

class NavigationDrawing : public view_test::PaintingTest {};

TEST_F(NavigationDrawing, TheMapIsDrawnPlainlyAgainAfterTheExclusiveOrBox) {
    state::ViewState v;
    v.Window_Width = 600.0;
    v.Window_Height = 400.0;
    v.Map_DC = &dc();
    state::NavigationState nav;
    dc().set_rop2(gdi::Rop2::XorPen);
    view::End_Zoom_Window(v, nav, 0, 0, 30000, 30000, {}, {});
    EXPECT_EQ(dc().set_rop2(gdi::Rop2::XorPen), gdi::Rop2::CopyPen);
}

TEST(RestoringTheLastView, OnlyAViewOverTheProjectIsWorthIt) {
    using view::worth_restoring;
    const double aspect = 1.5;
    EXPECT_TRUE(worth_restoring({49500000, 36900000, 40000}, aspect));
    // Overlapping one corner of the maximum view is enough.
    EXPECT_TRUE(worth_restoring({49190000, 36540000, 20000}, aspect));
    // The defaults of an empty store: far to the north.
    EXPECT_FALSE(worth_restoring({49140000, 47568000, 50000}, aspect));
    EXPECT_FALSE(worth_restoring({49500000, 36900000, 0}, aspect));
    EXPECT_FALSE(worth_restoring({49500000, 36900000, 40000}, 0.0));
    EXPECT_FALSE(worth_restoring({49100000, 36900000, 40000}, aspect)); // ends west of it
}
