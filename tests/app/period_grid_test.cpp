// The period-map grid: ticks switch drawings on and off, the colour cells give them a
// fixed colour, and rows the project does not fill stay harmless.
#include "panel_test_support.h"

#include <QFocusEvent>

namespace {

using paneltest::Harness;

constexpr int32_t kRed = gdi::rgb(255, 0, 0);
constexpr int32_t kTeal = gdi::rgb(0, 128, 128);
constexpr int32_t kWhite = gdi::rgb(255, 255, 255);
constexpr int32_t kBlack = gdi::rgb(0, 0, 0);

// Drives the tick box the way the keyboard does: the row's tick cell current, then Space.
void toggle_tick(Harness &h, int row) {
    app::PeriodGrid *g = h.grid();
    g->setCurrentCell(row - 1, app::PeriodGrid::kTickColumn - 1);
    QTest::keyClick(g, Qt::Key_Space);
}

void double_click(Harness &h, int column, int row) {
    h.double_click_cell(column, row);
}

TEST(PeriodGrid, ListsThePeriodsAllTickedWithoutFixedColours) {
    Harness h;
    app::PeriodGrid *g = h.grid();
    const char *names[] = {"Prehistoric",   "Roman Military", "Roman Colonia", "Early Medieval",
                           "High Medieval", "Early Modern",   "Industrial",    "Excavated Areas"};
    ASSERT_EQ(g->rowCount(), 8);
    for (int row = 1; row <= 8; ++row) {
        EXPECT_EQ(g->name(row).toStdString(), names[row - 1]);
        EXPECT_TRUE(g->ticked(row)) << row;
        EXPECT_EQ(g->colour(row), kWhite) << row;
    }
    EXPECT_EQ(g->toolTip().toStdString(), "Switch maps On/Off or set fixed map colour");
}

TEST(PeriodGrid, ColumnsAreNamedAndRowsEvenlyHigh) {
    Harness h;
    app::PeriodGrid *grid = h.grid();
    EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), "Show");
    EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), "Period");
    EXPECT_EQ(grid->horizontalHeaderItem(2)->text(), "Colour");
    for (int r = 1; r < app::PeriodGrid::kRows; ++r)
        EXPECT_EQ(grid->rowHeight(r), grid->rowHeight(0));
    EXPECT_EQ(grid->era_tag(1), "era5");
    EXPECT_EQ(grid->era_tag(7), "era11");
    EXPECT_EQ(grid->era_tag(8), "");
}

TEST(PeriodGrid, TheTickSwitchesItsOwnDrawingAndRedraws) {
    Harness h;
    h.add_drawings(8);
    toggle_tick(h, 3);
    EXPECT_FALSE(h.state.drawings.entry(3).active);
    EXPECT_EQ(h.count("Redraw"), 1);
    for (int n : {1, 2, 4, 8})
        EXPECT_TRUE(h.state.drawings.entry(n).active) << n;

    toggle_tick(h, 3);
    EXPECT_TRUE(h.state.drawings.entry(3).active);
    EXPECT_EQ(h.count("Redraw"), 2);
}

TEST(PeriodGrid, AColourFixesTheDrawingsColourAndWhiteOrBlackRemovesIt) {
    Harness h;
    h.add_drawings(8);
    h.state.interaction.Current_Colour = kTeal;

    h.next_colour = kRed;
    double_click(h, app::PeriodGrid::kColourColumn, 2);
    // The dialog opens on the row's own colour, not the last pick: white for own colours.
    EXPECT_EQ(h.picker_starts, std::vector<int32_t>{kWhite});
    EXPECT_EQ(h.state.drawings.entry(2).fixed_colour, kRed);
    EXPECT_EQ(h.state.interaction.Current_Colour, kRed);
    EXPECT_EQ(h.grid()->colour(2), kRed);
    EXPECT_EQ(h.count("Redraw"), 1);

    h.next_colour = kWhite;
    double_click(h, app::PeriodGrid::kColourColumn, 2);
    EXPECT_EQ(h.picker_starts.back(), kRed);
    EXPECT_EQ(h.state.drawings.entry(2).fixed_colour, 0);
    EXPECT_EQ(h.grid()->colour(2), kWhite);

    // Black is the "no fixed colour" value itself, so it cannot be a fixed colour: the
    // cell says so rather than show a black the map does not use.
    h.next_colour = kRed;
    double_click(h, app::PeriodGrid::kColourColumn, 5);
    h.next_colour = kBlack;
    double_click(h, app::PeriodGrid::kColourColumn, 5);
    EXPECT_EQ(h.state.drawings.entry(5).fixed_colour, 0);
    EXPECT_EQ(h.grid()->colour(5), kWhite);
    EXPECT_EQ(h.state.interaction.Current_Colour, kBlack);
    EXPECT_EQ(h.count("Redraw"), 4);
}

TEST(PeriodGrid, CancellingTheColourDialogChangesNothing) {
    Harness h;
    h.add_drawings(8);
    h.next_colour = kRed;
    double_click(h, app::PeriodGrid::kColourColumn, 4);
    h.state.interaction.Current_Colour = kTeal; // picked elsewhere since

    h.next_colour = std::nullopt;
    double_click(h, app::PeriodGrid::kColourColumn, 4);
    EXPECT_EQ(h.state.drawings.entry(4).fixed_colour, kRed);
    EXPECT_EQ(h.grid()->colour(4), kRed);
    EXPECT_EQ(h.state.interaction.Current_Colour, kTeal);
    EXPECT_EQ(h.count("Redraw"), 1);
}

TEST(PeriodGrid, OnlyTheColourColumnOpensTheColourDialog) {
    Harness h;
    h.add_drawings(8);
    h.next_colour = kRed;
    double_click(h, app::PeriodGrid::kNameColumn, 1);
    double_click(h, app::PeriodGrid::kTickColumn, 1);
    EXPECT_TRUE(h.picker_starts.empty());
    EXPECT_EQ(h.state.drawings.entry(1).fixed_colour, 0);
}

TEST(PeriodGrid, FromTheKeyboardSpaceTicksTheFocusedRowAndEnterSetsItsColour) {
    Harness h;
    h.add_drawings(8);
    app::PeriodGrid *g = h.grid();
    g->setCurrentCell(5, app::PeriodGrid::kNameColumn - 1);
    QTest::keyClick(g, Qt::Key_Space);
    EXPECT_FALSE(h.state.drawings.entry(6).active);
    h.next_colour = kRed;
    QTest::keyClick(g, Qt::Key_Return);
    EXPECT_EQ(h.picker_starts, std::vector<int32_t>{kWhite});
    EXPECT_EQ(h.state.drawings.entry(6).fixed_colour, kRed);
    EXPECT_EQ(h.count("Redraw"), 2);
}

TEST(PeriodGrid, RowsBeyondTheProjectsDrawingsControlNothing) {
    Harness h;
    h.add_drawings(3);
    h.next_colour = kRed;
    toggle_tick(h, 6);
    double_click(h, app::PeriodGrid::kColourColumn, 8);
    EXPECT_EQ(h.state.drawings.count(), 3);
    EXPECT_TRUE(h.picker_starts.empty());
    EXPECT_EQ(h.count("Redraw"), 0);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_TRUE(h.state.drawings.entry(n).active);
        EXPECT_EQ(h.state.drawings.entry(n).fixed_colour, 0);
    }

    // Without any project at all the grid is just as quiet.
    Harness empty;
    toggle_tick(empty, 1);
    double_click(empty, app::PeriodGrid::kColourColumn, 1);
    EXPECT_TRUE(empty.log.empty());
}

TEST(PeriodGrid, ExplainsItselfWhileItHasTheFocus) {
    Harness h;
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(h.grid(), &in);
    EXPECT_EQ(h.help_text(), "Left click over the tick-boxes to turn On or Off the ERA maps. "
                             "Double click the clear cells to change the drawing colour.");
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(h.grid(), &out);
    EXPECT_EQ(h.help_text(), "");
}

} // namespace
