// The navigation buttons of the panel's toolbar: which map operation each one asks for,
// the help it shows, the pointer it leaves, and the refusal while the project loads.
#include "panel_test_support.h"

namespace {

using paneltest::Harness;
using paneltest::kIdlePointer;

struct NavButton {
    const char *key;
    const char *tooltip;
    const char *help;
    std::vector<std::string> calls; // map calls and event runs, in order
};

const NavButton kNavButtons[] = {
    {"CtrlZoomin", "Zoom In by 2 (Alt+I)", "Zoom In by 2.", {"events", "Zoom 0.5", kIdlePointer}},
    {"ctrlZoomout", "Zoom out by 2 (Alt+O)", "Zoom Out by 2.", {"events", "Zoom 2", kIdlePointer}},
    {"CtrlZoomWindow",
     "Use the mouse to define the zoom window (Alt+W)",
     "Using the mouse, define a zoom window by pressing the left button and dragging the mouse "
     "to highlight the zoom window. Release the left button to end. The new window will be "
     "defined by the height of the zoom window and its south-west origin.",
     {"ZoomWindow", kIdlePointer}},
    // The move pointer while the drag runs; the idle pointer once the drag is over.
    {"ctrlPan",
     "Point and drag to pan the Window (Alt+P)",
     "Pan the view area by pressing the left button and dragging the mouse in the direction "
     "you wish to move the drawing.",
     {"pointer 5", "Pan", kIdlePointer}},
};

class NavigationButton : public ::testing::TestWithParam<NavButton> {};

TEST_P(NavigationButton, AsksTheMapForItsOperationAndShowsItsHelp) {
    const NavButton &b = GetParam();
    Harness h;
    h.state.interaction.Tool_Code = state::ToolCode::PointData;
    auto *action = h.panel().findChild<QAction *>(b.key);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->toolTip().toStdString(), b.tooltip);

    h.click_toolbar(b.key);

    EXPECT_EQ(h.log, b.calls);
    EXPECT_EQ(h.help_text(), b.help);
    // Navigation leaves the chosen interrogation tool armed.
    EXPECT_EQ(h.state.interaction.Tool_Code, state::ToolCode::PointData);
    EXPECT_TRUE(h.messages.empty());
}

// The key the tooltip shows does what the click does, and the button is read out by
// its tooltip's text with its help as the description.
TEST_P(NavigationButton, TheKeyItsTooltipShowsDoesWhatTheClickDoes) {
    const NavButton &b = GetParam();
    Harness h;
    app::CtrlPanel &panel = h.panel();
    panel.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    const std::string tip = b.tooltip;
    const auto open = tip.rfind(" (");
    ASSERT_NE(open, std::string::npos) << tip;
    const QKeySequence keys(QString::fromStdString(tip.substr(open + 2, tip.size() - open - 3)));
    ASSERT_EQ(keys.count(), 1) << tip;

    QTest::keySequence(&panel, keys);

    EXPECT_EQ(h.log, b.calls);
    EXPECT_EQ(h.help_text(), b.help);
    auto *action = panel.findChild<QAction *>(b.key);
    ASSERT_NE(action, nullptr);
    const QWidget *button = panel.findChild<QToolBar *>("Toolbar1")->widgetForAction(action);
    EXPECT_EQ(button->accessibleName().toStdString(), tip.substr(0, open));
    EXPECT_EQ(button->accessibleDescription().toStdString(), b.help);
}

INSTANTIATE_TEST_SUITE_P(Toolbar, NavigationButton, ::testing::ValuesIn(kNavButtons),
                         [](const auto &info) { return std::string(info.param.key); });

TEST(Toolbar, WhileDataLoadsEveryButtonOnlyAsksTheUserToWait) {
    Harness h;
    const std::string help = h.help_text();
    h.state.interaction.Data_Loading = true;
    for (const auto &b : kNavButtons) {
        h.messages.clear();
        h.click_toolbar(b.key);
        EXPECT_EQ(h.messages, std::vector<std::string>{"Please wait Data Loading"}) << b.key;
    }
    EXPECT_TRUE(h.log.empty()); // no map call, no pointer change, no events run
    EXPECT_EQ(h.help_text(), help);
}

TEST(Toolbar, AKeyThatNamesNoButtonOnlyPutsTheIdlePointerBack) {
    Harness h;
    const std::string help = h.help_text();
    h.panel().tool_button("ctrlNoSuchTool");
    // Keys are compared exactly: a zoom key in the wrong case is no zoom.
    h.panel().tool_button("ctrlZoomin");
    h.panel().tool_button("CtrlPan");
    EXPECT_EQ(h.log, (std::vector<std::string>{kIdlePointer, kIdlePointer, kIdlePointer}));
    EXPECT_EQ(h.help_text(), help);
}

TEST(Toolbar, TheIdlePointerFollowsTheUsersPointerStyle) {
    Harness h;
    h.state.interaction.Cursor_Style = 1;
    h.click_toolbar("ctrlPan");
    EXPECT_EQ(h.log, (std::vector<std::string>{"pointer 5", "Pan", "pointer 2"}));
}

TEST(Toolbar, APanelClosedWhileThePanWaitsEndsTheHandlerQuietly) {
    Harness h;
    h.panel();
    std::unique_ptr<app::CtrlPanel> panel = h.take_panel();
    h.map.during_pan = [&panel] { panel.reset(); };
    panel->tool_button("ctrlPan");
    EXPECT_EQ(panel, nullptr);
    EXPECT_EQ(h.log, (std::vector<std::string>{"pointer 5", "Pan"}));
}

} // namespace
