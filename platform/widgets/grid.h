// The spreadsheet-like list every window of the program shows its rows in: a widget
// over a QTableWidget that shows a Sheet (grid_sheet.h) and tells its window what the
// user does with it. Cells are addressed by (column, row) from 1; row 0 is the header
// row and column 0 the row headers, in the cells and in the events alike.
//
// The sheet is the content; the table only shows it. Every change goes to the sheet
// and, while redrawing is on, straight to the table as well. With redrawing off (for
// bulk filling) only the sheet changes, and switching it back on shows everything in
// one pass, so tens of thousands of rows fill quickly.
#pragma once

#include <QWidget>

#include <functional>

#include "platform/exports/export_table.h"
#include "platform/exports/grid_sheet.h"
#include "platform/widgets/grid_print.h"

class QKeyEvent;
class QTableWidget;
class QTableWidgetItem;

namespace grid {

class Grid : public QWidget {
  public:
    explicit Grid(QWidget *parent = nullptr);
    ~Grid() override;

    const Sheet &sheet() const { return sheet_; }

    // Sizing: the count written is the count read back; writing cuts off or adds rows
    // and columns at the end.
    int row_count() const { return sheet_.row_count(); }
    int column_count() const { return sheet_.column_count(); }
    void set_row_count(int rows);
    void set_column_count(int columns);

    // Cells (see Sheet for what text, value and the cell types mean). Row 0 writes the
    // header row, column 0 the row headers; an empty header shows the column's or
    // row's number.
    QString text(int column, int row) const { return sheet_.text(column, row); }
    void set_text(int column, int row, const QString &text);
    double value(int column, int row) const { return sheet_.value(column, row); }
    void set_value(int column, int row, double value);
    bool ticked(int column, int row) const { return sheet_.ticked(column, row); }
    void set_ticked(int column, int row, bool on);
    gdi::Colour back_colour(int column, int row) const { return sheet_.back_colour(column, row); }
    void set_back_colour(int column, int row, gdi::Colour colour);
    void set_column_type(int column, CellType type, int decimals = 0);
    // A row's key (see Sheet::row_key): shown nowhere, so it needs no redraw.
    void set_row_key(int row, int key) { sheet_.set_row_key(row, key); }

    // The current cell: the one last set here or clicked by the user.
    int current_column() const { return current_column_; }
    int current_row() const { return current_row_; }
    void set_current(int column, int row);

    // The selected block. A selection made on the row headers covers whole rows and
    // starts at column 0; one made on the column headers covers whole columns and starts
    // at row 0; the corner button selects the whole sheet, headers included. Empty when
    // nothing is selected.
    Block selection() const { return block_; }
    void select_block(const Block &block);

    // Block operations (Sheet gives the details).
    void delete_columns(const Block &block);
    int data_column_count() const { return sheet_.data_column_count(); }
    void sort_rows(const Block &block, int key_column, bool ascending = true);
    int search_column(int column, int first_row, int last_row, const QString &text,
                      Match match = Match::Whole) const {
        return sheet_.search_column(column, first_row, last_row, text, match);
    }

    // Redrawing off: changes reach only the sheet until it is switched on again.
    void set_redraw(bool on);
    bool redraw() const { return redraw_; }

    // A click on a column's header sorts the data rows on that column, ascending, then
    // descending at the next click on the same header.
    void set_sort_on_header_click(bool on) { sort_on_header_click_ = on; }
    bool sort_on_header_click() const { return sort_on_header_click_; }

    void set_column_headers_visible(bool on);
    void set_row_headers_visible(bool on);

    // The content as a table for the export writers (grid_table.h).
    exporting::Table table() const;

    // Asks for a printer with the system's print dialog and prints the sheet; false when
    // the user cancelled or the printer could not be started.
    bool print_with_dialog(const PrintOptions &options);

    // What the user does, with the (column, row) under the pointer, or of the focused
    // cell from the keyboard: Enter double-clicks it, Space clicks it (or ticks it).
    std::function<void(int column, int row)> on_click;
    std::function<void(int column, int row)> on_double_click;
    std::function<void(int column, int row, bool ticked)> on_tick;
    std::function<void()> on_focus_in;
    std::function<void()> on_focus_out;

    // The table that shows the sheet, for placing and styling; change content only
    // through the grid.
    QTableWidget *table_widget() const { return table_; }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    enum class Picked { Cells, Rows, Columns, All };

    void refresh();
    // Enter and Space on the focused cell; true when the key was used.
    bool key_acts(const QKeyEvent &key);
    void show_cell(int column, int row);
    void show_header(int column, int row);
    void changed_cell(int column, int row);
    void changed_layout();
    void item_changed(QTableWidgetItem *item);
    void header_clicked(int section);
    void selection_changed();
    void show_block();
    // The header's sort mark on the column (from 1) the rows were last sorted on; none
    // for 0.
    void show_sorted_column(int column);

    Sheet sheet_;
    QTableWidget *table_ = nullptr;
    Block block_;
    Picked picked_ = Picked::Cells;
    int current_column_ = 1;
    int current_row_ = 1;
    bool redraw_ = true;
    bool stale_ = false; // the table no longer shows the sheet
    bool quiet_ = false; // the grid itself is changing the table
    bool sort_on_header_click_ = false;
    int sorted_column_ = 0;
    bool sorted_ascending_ = true;
};

} // namespace grid
