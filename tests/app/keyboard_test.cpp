// The viewer without a mouse, through the real windows on the sample project: Tab leaves
// the tables, Esc in the panel hands the keys to the map, the map takes them when clicked
// and shows it, the keyboard's pointer clicks for every tool, and the toolbar shows the
// tool in force.
#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolBar>

#include "app/panel/period_grid.h"
#include "app/results/map_searches.h"
#include "platform/widgets/grid.h"
#include "view/grid_ref.h"
#include "windows_test_support.h"

namespace {

using namespace windows_test;

// Church Lane (RE0003), on its excavated area.
constexpr int32_t kSiteX = 49'659'546, kSiteY = 37'025'501;

class Keyboard : public WindowsTest {
  protected:
    void SetUp() override {
        start();
        ASSERT_FALSE(frame_->ended());
    }
    app::CtrlPanel &panel() { return *frame_->control_panel(); }
    void activate(QWidget *w) {
        w->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), w->window());
    }
    // Keys typed where the focus is, as a user types them.
    void type(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget *at = QApplication::focusWidget();
        ASSERT_NE(at, nullptr);
        QTest::keyClick(at, key, mods);
        QApplication::processEvents();
    }
    // Go to a place by its grid reference, then Esc back to the map.
    void go_to(int32_t x, int32_t y) {
        activate(frame_.get());
        type(Qt::Key_G, Qt::ControlModifier);
        auto *field = panel().findChild<QLineEdit *>("GoTo");
        QTRY_COMPARE(QApplication::focusWidget(), field);
        QTest::keyClicks(field, QString::fromStdString(view::grid_reference(x, y)));
        type(Qt::Key_Return);
        type(Qt::Key_Escape);
        QTRY_COMPARE(QApplication::focusWidget(), map());
    }
    QAction *tool_action(const char *key) { return panel().findChild<QAction *>(key); }
    std::string help() {
        return panel().findChild<QPlainTextEdit *>("Text2")->toPlainText().toStdString();
    }
    // The site rows of the point results window, by their site code column.
    bool results_hold(const char *code) {
        app::Point_Dialog *d = frame_->map_searches()->point_dialog();
        if (d == nullptr)
            return false;
        grid::Grid &g = *d->PointInfo();
        for (int r = 1; r <= g.row_count(); ++r)
            for (int c = 1; c <= g.column_count(); ++c)
                if (g.text(c, r) == code)
                    return true;
        return false;
    }
};

TEST_F(Keyboard, TabAndShiftTabLeaveEveryTable) {
    state().view.View_X_Min = kSiteX - 40000;
    state().view.View_Y_Min = kSiteY - 25000;
    state().view.View_Height_Units = 50000;
    map()->Redraw_Everything();
    panel().tool_button("PointDataSearch");
    QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(map()->width() / 2, map()->height() / 2));
    app::Point_Dialog *results = frame_->map_searches()->point_dialog();
    ASSERT_NE(results, nullptr);
    QWidget *tables[] = {panel().findChild<app::PeriodGrid *>("vaSpread1"),
                         panel().findChild<grid::Grid *>("vaSpread2")->table_widget(),
                         results->PointInfo()->table_widget()};
    for (QWidget *table : tables) {
        SCOPED_TRACE(table->objectName().toStdString());
        for (const auto mods : {Qt::NoModifier, Qt::ShiftModifier}) {
            activate(table);
            table->setFocus(Qt::TabFocusReason);
            QTRY_COMPARE(QApplication::focusWidget(), table);
            QTest::keyClick(table, Qt::Key_Tab, mods);
            EXPECT_NE(QApplication::focusWidget(), table) << "Tab stayed in the table";
        }
    }
}

TEST_F(Keyboard, EscInThePanelsFieldsHandsTheKeysToTheMap) {
    QWidget *fields[] = {panel().findChild<QLineEdit *>("GoTo"),
                         panel().findChild<QComboBox *>("Combo1")->lineEdit(),
                         panel().findChild<grid::Grid *>("vaSpread2")->table_widget()};
    for (QWidget *field : fields) {
        SCOPED_TRACE(field->objectName().toStdString());
        activate(&panel());
        field->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), field);
        QTest::keyClick(field, Qt::Key_Escape);
        QTRY_COMPARE(QApplication::focusWidget(), map());
        EXPECT_EQ(QApplication::activeWindow(), frame_.get());
    }
}

TEST_F(Keyboard, TheMapTakesTheKeysWhenClickedAndShowsIt) {
    activate(&panel());
    QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, QPoint(40, 40));
    QTRY_COMPARE(QApplication::focusWidget(), map());
    EXPECT_EQ(QApplication::activeWindow(), frame_.get());
    EXPECT_TRUE(panel().isVisible()) << "the click still brings the panel up";
    // The focus frame round the map's edge, and the keyboard's pointer at its centre.
    const QImage shown = map()->grab().toImage();
    const QColor highlight = map()->palette().color(QPalette::Highlight);
    EXPECT_EQ(shown.pixelColor(1, shown.height() / 3), highlight);
    EXPECT_NE(map()->picture().pixelColor(1, shown.height() / 3), highlight)
        << "the frame is drawn on the screen, not into the map";
    const QPoint c(map()->width() / 2, map()->height() / 2);
    int black = 0;
    for (int d = 4; d <= 10; ++d)
        black += shown.pixelColor(c.x() + d, c.y()) == Qt::black;
    EXPECT_GE(black, 5) << "no crosshair at the keyboard's pointer";
}

TEST_F(Keyboard, APointSearchMadeWithoutAMouse) {
    go_to(kSiteX, kSiteY);
    EXPECT_EQ(map()->keyboard_pointer().x, kSiteX / 100 * 100);
    type(Qt::Key_S, Qt::AltModifier); // the point search's key
    ASSERT_EQ(state().interaction.Tool_Code, state::ToolCode::PointData);
    type(Qt::Key_Return);
    EXPECT_TRUE(results_hold("RE0003"));
}

TEST_F(Keyboard, ThePointerMovesByATwentiethOfTheViewOrAPixelAndShowsItsGridReference) {
    activate(frame_.get());
    map()->setFocus();
    const auto &v = state().view;
    const auto start = map()->keyboard_pointer();
    ASSERT_TRUE(start.placed);
    EXPECT_NEAR(start.x, v.View_X_Min + v.View_Width_Units / 2.0, 1);
    type(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_NEAR(map()->keyboard_pointer().x - start.x, v.View_Width_Units / 20.0, 1);
    type(Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_NEAR(map()->keyboard_pointer().y - start.y, 1 / v.View_Scale, 1);
    EXPECT_EQ(v.View_X_Min, state().view.View_X_Min) << "Shift+arrows do not pan";
    const auto &p = map()->keyboard_pointer();
    EXPECT_EQ(frame_->status_text(3).substr(0, 9), "OS NGR ~ ");
    EXPECT_EQ(std::make_pair(v.Cursor_World_X, v.Cursor_World_Y), std::make_pair(p.x, p.y));
}

TEST_F(Keyboard, APolygonDrawnAndEndedWithKeysSearchesAndTheToolbarShowsTheToolUntilItDrops) {
    go_to(kSiteX, kSiteY);
    type(Qt::Key_Y, Qt::AltModifier); // the polygon search's key
    ASSERT_EQ(state().interaction.Tool_Code, state::ToolCode::PolygonStart);
    QAction *polygon = tool_action("PointPolySearch");
    ASSERT_TRUE(polygon->isCheckable());
    EXPECT_TRUE(polygon->isChecked());
    for (const char *other : {"MousePntSrch", "PointDataSearch", "PointLineSearch"})
        EXPECT_FALSE(tool_action(other)->isChecked()) << other;
    // Read out as checked.
    QWidget *button = panel().findChild<QToolBar *>("Toolbar1")->widgetForAction(polygon);
    QAccessibleInterface *read = QAccessible::queryAccessibleInterface(button);
    ASSERT_NE(read, nullptr);
    EXPECT_TRUE(read->state().checkable);
    EXPECT_TRUE(read->state().checked);

    // A triangle round the site, corner by corner.
    type(Qt::Key_Left, Qt::ShiftModifier);
    type(Qt::Key_Down, Qt::ShiftModifier);
    type(Qt::Key_Return);
    type(Qt::Key_Right, Qt::ShiftModifier);
    type(Qt::Key_Right, Qt::ShiftModifier);
    type(Qt::Key_Return);
    type(Qt::Key_Left, Qt::ShiftModifier);
    type(Qt::Key_Up, Qt::ShiftModifier);
    type(Qt::Key_Up, Qt::ShiftModifier);
    type(Qt::Key_Return);
    type(Qt::Key_Return, Qt::ShiftModifier); // the right click that ends it
    EXPECT_TRUE(results_hold("RE0003"));
    EXPECT_EQ(state().interaction.Tool_Code, state::ToolCode::None);
    EXPECT_FALSE(polygon->isChecked()) << "the tool dropped, the button is still pressed";
    EXPECT_NE(help().find("choose a tool on the toolbar"), std::string::npos) << help();

    // Chosen again, then dropped by the results window's cancel.
    activate(frame_.get());
    type(Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(tool_action("PointDataSearch")->isChecked());
    frame_->map_searches()->point_dialog()->cancel_clicked();
    QTRY_VERIFY(!tool_action("PointDataSearch")->isChecked());
}

TEST_F(Keyboard, AToggleAsAScreenReaderMakesItChoosesTheToolOnce) {
    // Assistive technology toggles a checkable button; a click or key both toggles and
    // triggers it. Either way the tool is chosen, once.
    int chosen = 0;
    QAction *site_point = tool_action("PointDataSearch");
    site_point->toggle();
    QTRY_COMPARE(state().interaction.Tool_Code, state::ToolCode::PointData);
    EXPECT_TRUE(site_point->isChecked());
    state().interaction.Search_Shape = 0;
    QAction *polygon = tool_action("PointPolySearch");
    polygon->trigger();
    QApplication::processEvents();
    chosen = state().interaction.Search_Shape;
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(state().interaction.Tool_Code, state::ToolCode::PolygonStart);
    EXPECT_FALSE(site_point->isChecked());
    EXPECT_TRUE(polygon->isChecked());
}

TEST_F(Keyboard, WithoutAToolEnterClicksNothing) {
    activate(frame_.get());
    map()->setFocus();
    type(Qt::Key_Return);
    type(Qt::Key_Space);
    EXPECT_EQ(frame_->map_searches()->point_dialog(), nullptr);
    EXPECT_EQ(frame_->map_searches()->planning_result(), nullptr);
}

} // namespace
