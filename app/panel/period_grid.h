// The period-map grid of the control panel: one row per period drawing with an on/off
// tick, the period's name and a cell showing its fixed colour (white: the drawing's own
// colours). Rows and columns are numbered from 1, as the panel's handlers count them.
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
    // Hidden: each period row's era number, as the RAZ references of the period give it.
    static constexpr int kEraColumn = 5;
    static constexpr int32_t kNoColour = 0xFFFFFF; // white

    explicit PeriodGrid(QWidget *parent = nullptr);

    bool ticked(int row) const;
    int32_t colour(int row) const; // RGB, red in the low byte
    QString name(int row) const;
    QString era_tag(int row) const; // "era5" .. "era11" on rows 1 to 7
    // Changes made by the program itself: no handler hears of them.
    void set_ticked(int row, bool on);
    void set_colour(int row, int32_t rgb);

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

    // The ticks as last seen, so that only a change of the tick itself reaches on_tick,
    // not every repaint of the cell's other properties.
    std::array<bool, kRows> last_ticks_{};
    bool quiet_ = false;
};

} // namespace app
