// The period-map grid of the control panel: one row per period drawing with an on/off
// tick, the period's name and a cell showing the colour the period is drawn in - its
// fixed colour when it has one, else the drawing's own - so that the list is the map's
// key. Rows and columns are numbered from 1, as the panel's handlers count them.
#pragma once

#include <QTableWidget>

#include <array>
#include <cstdint>
#include <functional>

namespace app {

class PeriodGrid : public QTableWidget {
  public:
    static constexpr int kRows = 8;
    static constexpr int kTickColumn = 1;
    static constexpr int kNameColumn = 2;
    static constexpr int kColourColumn = 3;
    static constexpr int32_t kNoColour = 0xFFFFFF; // white: no fixed colour

    explicit PeriodGrid(QWidget *parent = nullptr);

    bool ticked(int row) const;
    int32_t colour(int row) const; // the fixed colour, RGB, red in the low byte; kNoColour: none
    int32_t shown_colour(int row) const; // the colour the cell shows
    QString name(int row) const;
    // Each period row's era number, as the RAZ references of the period give it ("era5"
    // .. "era11" on rows 1 to 7), kept with the row and not shown.
    QString era_tag(int row) const;
    // Changes made by the program itself: no handler hears of them.
    void set_ticked(int row, bool on);
    void set_colour(int row, int32_t rgb);
    // The colour the drawing's own objects are mostly drawn in; shown while no colour
    // is fixed. kNoColour: not known.
    void set_own_colour(int row, int32_t rgb);

    // The user ticked or unticked row's box (column is the tick column).
    std::function<void(int column, int row)> on_tick;
    std::function<void(int column, int row)> on_double_click;
    std::function<void()> on_focus_in;
    std::function<void()> on_focus_out;

  protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

  private:
    void item_changed(QTableWidgetItem *item);
    void show_colour(int row);

    // The ticks as last seen, so that only a change of the tick itself reaches on_tick,
    // not every repaint of the cell's other properties.
    std::array<bool, kRows> last_ticks_{};
    std::array<int32_t, kRows> fixed_{};
    std::array<int32_t, kRows> own_{};
    bool quiet_ = false;
};

} // namespace app
