// The map window with the mouse: zoom box and pan dragged over the real window, the
// pointer readout, clicks, and the window's own behaviour - refusing to close, staying
// maximised, not drawing while minimised.
#include <QTimer>
#include <QWheelEvent>

#include "view/navigation.h"
#include "windows_test_support.h"

namespace {

using namespace windows_test;

class MapMouse : public WindowsTest {
  protected:
    void SetUp() override {
        start();
        ASSERT_FALSE(frame_->ended());
        ASSERT_GT(map()->height(), 300);
    }
};

TEST_F(MapMouse, ZoomBoxDraggedEitherWayGivesItsLowerLeftCornerAndHeight) {
    const QPoint sw(100, 300), ne(300, 100);
    const auto [x1, y1] = world_at(sw);
    const auto [x2, y2] = world_at(ne);

    map()->ZoomWindow();
    QTest::mousePress(map(), Qt::LeftButton, Qt::NoModifier, sw);
    QTest::mouseMove(map(), sw);
    const QImage before = map()->picture().copy();
    QTest::mouseMove(map(), ne);
    // The yellow box shows over the map while the button is held.
    EXPECT_NE(map()->picture().pixel(200, 100), before.pixel(200, 100));
    EXPECT_EQ(map()->picture().pixel(200, 200), before.pixel(200, 200));
    QTest::mouseRelease(map(), Qt::LeftButton, Qt::NoModifier, ne);

    EXPECT_EQ(state().view.View_X_Min, x1);
    EXPECT_EQ(state().view.View_Y_Min, y1);
    EXPECT_EQ(state().view.View_Height_Units, y2 - y1);
    EXPECT_EQ(state().navigation.Zoom_Window_State, state::NavigationState::Idle);
    const auto zoomed = state().view;

    // The same box dragged from the other corner, from the same view.
    map()->zoomext();
    map()->ZoomWindow();
    drag(ne, sw);
    EXPECT_EQ(state().view.View_X_Min, zoomed.View_X_Min);
    EXPECT_EQ(state().view.View_Y_Min, zoomed.View_Y_Min);
    EXPECT_EQ(state().view.View_Height_Units, zoomed.View_Height_Units);
}

TEST_F(MapMouse, SmallZoomBoxShowsTheMinimumViewDrawnPlainly) {
    // Zoom in far enough that a box of a few pixels is under 250 m.
    map()->Zoom(0.5);
    map()->Zoom(0.5);
    map()->Zoom(0.5);
    const QPoint a(200, 200), b(210, 205);
    const auto [x1, y1] = world_at(a);
    map()->ZoomWindow();
    drag(a, b);
    EXPECT_EQ(state().view.View_Height_Units, view::kMinZoomWindowHeight);
    EXPECT_EQ(state().view.View_X_Min, x1);
    EXPECT_EQ(frame_->status_text(1), "Attempt to Zoom Beyond TAVI Limits set at minimum view");
    // Drawn plainly, not in the box's exclusive-or: the same as any redraw of that view.
    const QImage zoomed = map()->picture().copy();
    map()->Redraw_Everything();
    EXPECT_EQ(zoomed, map()->picture());
    EXPECT_GT(coloured_pixels(zoomed), 0);
}

TEST_F(MapMouse, PanFollowsTheDragAndReturnsWhenItIsOver) {
    const auto before = state().view;
    const QPoint from(300, 200), to(360, 160);
    const auto [fx, fy] = world_at(from);
    const auto [tx, ty] = world_at(to);
    bool timer_stopped_while_dragging = false;
    QTimer::singleShot(0, [&] {
        QTest::mousePress(map(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(map(), from);
        QTest::mouseMove(map(), to);
        timer_stopped_while_dragging = !map()->refresh_timer_running();
        QTest::mouseRelease(map(), Qt::LeftButton, Qt::NoModifier, to);
    });
    frame_->control_panel()->tool_button("ctrlPan"); // returns after the drag
    EXPECT_TRUE(timer_stopped_while_dragging);
    EXPECT_EQ(state().navigation.Pan_State, state::NavigationState::Idle);
    EXPECT_EQ(state().view.View_X_Min, before.View_X_Min - (tx - fx));
    EXPECT_EQ(state().view.View_Y_Min, before.View_Y_Min - (ty - fy));
    EXPECT_EQ(state().interaction.Refresh_Mode, 1);
    EXPECT_TRUE(map()->refresh_timer_running());
    EXPECT_EQ(map()->pointer(), state().interaction.Cursor_Style + 1);
    // The waiting command clears the message panel last: the banner shows.
    EXPECT_EQ(frame_->status_text(1), frmMain::version_banner());
}

TEST_F(MapMouse, PanWaitEndsWhenTheProgramEnds) {
    QTimer::singleShot(0, [&] { frame_->close(); });
    // Should the wait not end by itself, the test ends it rather than hang.
    bool forced = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        forced = true;
        state().navigation.Pan_State = state::NavigationState::Idle;
    });
    guard.start(5000);
    map()->Pan();
    EXPECT_FALSE(forced);
    EXPECT_EQ(state().navigation.Pan_State, state::NavigationState::Idle);
    EXPECT_TRUE(frame_->ended());
}

TEST_F(MapMouse, PointerReadoutInTheThirdPanel) {
    const QPoint p(250, 180);
    const auto [x, y] = world_at(p);
    hover(p);
    EXPECT_EQ(state().view.Cursor_World_X, x);
    EXPECT_EQ(state().view.Cursor_World_Y, y);
    EXPECT_EQ(frame_->status_text(3).rfind("OS NGR ~ S", 0), 0u) << frame_->status_text(3);
    // The height under the pointer shows with the position it belongs to.
    const int32_t height = state().interaction.Current_Height;
    ASSERT_GT(height, 0) << "the sample's elevation grid lies under the middle of the city";
    EXPECT_EQ(frame_->status_text(3), interrogation::coordinate_readout(x, y, 3, height));
    EXPECT_NE(frame_->status_text(3).find(" OD "), std::string::npos);
}

TEST_F(MapMouse, ADoubleClickRunsTheToolOnce) {
    int searches = 0;
    map()->searches().Point_Data_Search = [&](int32_t &, int32_t &) { ++searches; };
    state().interaction.Tool_Code = state::ToolCode::PointData;
    // As the window system sends a double click: press, release, double click, release.
    QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
    QTest::mouseDClick(map(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
    EXPECT_EQ(searches, 1);
    QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, QPoint(220, 150));
    EXPECT_EQ(searches, 2);
}

TEST_F(MapMouse, APanFollowsThePointerFromThePress) {
    const auto before = state().view;
    const QPoint from(300, 200), to(500, 200);
    const auto [fx, fy] = world_at(from);
    const auto [tx, ty] = world_at(to);
    QTimer::singleShot(0, [&] {
        QTest::mousePress(map(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(map(), QPoint(400, 200)); // the first move already half-way
        QTest::mouseMove(map(), to);
        QTest::mouseRelease(map(), Qt::LeftButton, Qt::NoModifier, to);
    });
    map()->Pan();
    EXPECT_EQ(state().view.View_X_Min, before.View_X_Min - (tx - fx));
    EXPECT_EQ(state().view.View_Y_Min, before.View_Y_Min - (ty - fy));
}

TEST_F(MapMouse, ClickNamesTheRasterAndBringsUpThePanel) {
    frame_->control_panel()->hide();
    const auto &e = state().rasters.entry(1);
    // A pixel inside the first raster.
    int32_t px = 0, py = 0;
    view::world_to_pixel(state().view, e.west + (e.east - e.west) / 2,
                         e.south + (e.north - e.south) / 2, px, py);
    QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, QPoint(px, py));
    EXPECT_TRUE(frame_->control_panel()->isVisible());
    const std::string name = frame_->status_text(2);
    EXPECT_NE(name.find(".tif"), std::string::npos) << name;
    EXPECT_EQ(name.find('/'), std::string::npos) << name;
}

TEST_F(MapMouse, RightButtonReleaseAsksTheDrawingToStop) {
    QTest::mouseClick(map(), Qt::RightButton, Qt::NoModifier, QPoint(50, 50));
    EXPECT_TRUE(state().progress.Abort_Drawing);
    QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    EXPECT_FALSE(state().progress.Abort_Drawing);
}

class MapWindow : public WindowsTest {
  protected:
    void SetUp() override { start(); }
};

TEST_F(MapWindow, RefusesToClose) {
    auto *sub = qobject_cast<QMdiSubWindow *>(map()->parentWidget());
    EXPECT_FALSE(map()->close());
    sub->close();
    QApplication::processEvents();
    EXPECT_TRUE(map()->isVisible());
    EXPECT_TRUE(sub->isVisible());
}

TEST_F(MapWindow, StaysMaximisedAndBringsThePanelBack) {
    auto *sub = qobject_cast<QMdiSubWindow *>(map()->parentWidget());
    frame_->control_panel()->hide();
    sub->showNormal();
    sub->resize(200, 150);
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_TRUE(sub->isMaximized());
    EXPECT_TRUE(frame_->control_panel()->isVisible());
}

TEST_F(MapWindow, ABurstOfResizesEndsInOneRedrawAtTheNewSize) {
    const QSize old = map()->picture().size();
    written_.clear();
    for (int step = 1; step <= 5; ++step)
        frame_->resize(frame_->width() - 20, frame_->height() - 16);
    EXPECT_TRUE(QTest::qWaitFor([&] { return map()->picture().size() == map()->size(); }, 5000));
    ASSERT_NE(map()->size(), old);
    const auto messages = texts(1);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Redrawing Map View"), 1);
    EXPECT_GT(coloured_pixels(map()->picture()), 2000);
}

TEST_F(MapWindow, TheMapsWindowOffersNoButtonsItCannotHonourAndComesBackDrawn) {
    auto *sub = qobject_cast<QMdiSubWindow *>(map()->parentWidget());
    const Qt::WindowFlags flags = sub->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    sub->showMinimized();
    map()->Redraw_Everything(); // missed while minimised
    sub->showNormal();
    EXPECT_TRUE(QTest::qWaitFor([&] { return coloured_pixels(map()->picture()) > 2000; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return sub->isMaximized(); }, 5000));
}

TEST_F(MapWindow, AZoomBoxArmedWhileTheMapIsDrawnStaysArmed) {
    // The redraw lets events in; the toolbar's zoom-window button arrives meanwhile.
    QTimer::singleShot(0, map(), [this] { map()->ZoomWindow(); });
    map()->Redraw_Everything();
    EXPECT_EQ(state().navigation.Zoom_Window_State, state::NavigationState::Armed);
}

TEST_F(MapWindow, NothingIsDrawnWhileMinimisedAndTheMapReturnsWithTheFrame) {
    frame_->showMinimized();
    map()->Redraw_Everything();
    EXPECT_EQ(coloured_pixels(map()->picture()), 0);
    frame_->showMaximized();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_GT(coloured_pixels(map()->picture()), 2000);
}

TEST_F(MapWindow, TheWheelZoomsAboutThePointerAndKeysZoomPanAndGoHome) {
    const QPoint at(150, 100);
    const auto [wx, wy] = world_at(at);
    const int32_t height = state().view.View_Height_Units;
    QWheelEvent away(QPointF(at), QPointF(map()->mapToGlobal(at)), QPoint(), QPoint(0, 120),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(map(), &away);
    EXPECT_EQ(state().view.View_Height_Units, height / 2);
    const auto [ax, ay] = world_at(at); // the same ground under the pointer
    EXPECT_NEAR(ax, wx, 2 / state().view.View_Scale);
    EXPECT_NEAR(ay, wy, 2 / state().view.View_Scale);

    const int32_t h = state().view.View_Height_Units;
    QTest::keyClick(map(), Qt::Key_Minus);
    EXPECT_EQ(state().view.View_Height_Units, 2 * h);
    QTest::keyClick(map(), Qt::Key_Plus);
    EXPECT_EQ(state().view.View_Height_Units, h);
    const double x = state().view.View_X_Min;
    QTest::keyClick(map(), Qt::Key_Right);
    EXPECT_NEAR(state().view.View_X_Min, x + state().view.View_Width_Units / 4.0, 1.0);
    QTest::keyClick(map(), Qt::Key_Home);
    EXPECT_EQ(state().view.View_Height_Units, view::kMaxViewHeight);
    EXPECT_EQ(map()->picture().size(), map()->size());
}

TEST_F(MapWindow, EveryWindowCarriesTheProgramsOwnIcon) {
    EXPECT_FALSE(frame_->windowIcon().isNull());
    EXPECT_FALSE(frame_->control_panel()->windowIcon().isNull());
    EXPECT_FALSE(frame_->windowIcon().pixmap(32).toImage().isNull());
}

TEST_F(MapWindow, ARedrawAskedForDuringAFlashWaitsForTheMapsOwnColours) {
    // A double click on a site flashes it, and the zoom it also asks for arrives while
    // the flash lets events in.
    std::vector<std::pair<int32_t, bool>> seen; // forced colour, filling, at each redraw
    QObject::connect(frame_.get(), &frmMain::status_written, [&](int panel, const QString &t) {
        if (panel == 1 && t == "Redrawing Map View")
            seen.emplace_back(state().display.Forced_Colour, state().display.Polygon_Filling);
    });
    QTimer::singleShot(0, map(), [this] {
        map()->Redraw_Everything();
        map()->Flash_DRW(8, "RE0001", 0); // ignored: one flash at a time
    });
    map()->Flash_DRW(8, "RE0001", 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], std::make_pair(int32_t{0}, false));
}

TEST_F(MapWindow, PointerNumbersBecomeShapes) {
    map()->set_pointer(state::kPointerBusy);
    EXPECT_EQ(map()->cursor().shape(), Qt::WaitCursor);
    map()->set_pointer(state::kPointerSizeAll);
    EXPECT_EQ(map()->cursor().shape(), Qt::SizeAllCursor);
    map()->set_pointer(state::kPointerCross);
    EXPECT_EQ(map()->cursor().shape(), Qt::CrossCursor);
    map()->set_pointer(0);
    EXPECT_EQ(map()->cursor().shape(), Qt::ArrowCursor);
}

} // namespace
