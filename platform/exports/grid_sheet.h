// The content of a grid: a sheet of cells addressed by (column, row), both counted from
// 1, with row 0 holding the column headers and column 0 the row headers. It knows
// nothing of windows, so the grid's sorting, searching and column deletion are tested
// (and can be used) without one; the Grid widget only shows a sheet.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

#include "platform/base/colour.h"

namespace grid {

// What a column's cells hold and how they compare and export.
enum class CellType {
    Text,    // shown, sorted and exported as text
    Numeric, // a number: sorted by value, exported as a number
    TickBox, // a box the user ticks; its value is 0 or 1
};

// A rectangle of cells, first and last column and row included. Column 0 and row 0
// are the header cells, so a block of whole rows starts at column 0 and a block of
// whole columns at row 0.
struct Block {
    int first_column = 0;
    int first_row = 0;
    int last_column = -1;
    int last_row = -1;

    bool empty() const { return last_column < first_column || last_row < first_row; }
    bool operator==(const Block &) const = default;
};

// How a column search compares the sought text with a cell's text.
enum class Match {
    Whole,  // the whole text equals
    Prefix, // the cell's text begins with the sought text
};

class Sheet {
  public:
    static constexpr gdi::Colour kWhite = gdi::rgb(255, 255, 255);

    Sheet() = default;
    Sheet(int columns, int rows);

    // Counts of data columns and rows (the header row and column come on top). Writing
    // a count cuts off or adds empty cells at the end; a negative count counts as 0.
    int row_count() const { return static_cast<int>(rows_.size()) - 1; }
    int column_count() const { return static_cast<int>(types_.size()) - 1; }
    void set_row_count(int rows);
    void set_column_count(int columns);

    // True for a cell inside the sheet, headers included. Reads outside give an empty
    // cell; writes outside are ignored and return false (they never grow the sheet, so
    // a count once written is the count read back).
    bool contains(int column, int row) const;

    QString text(int column, int row) const;
    bool set_text(int column, int row, const QString &text);

    // The cell as a number: in a numeric column the number written (or read from the
    // text written); in a tick-box column 0 or 1; elsewhere the number at the start of
    // the text, 0 when there is none.
    double value(int column, int row) const;
    // Whether the cell holds a number that sorts and exports as one (numeric columns
    // and tick boxes only).
    bool holds_number(int column, int row) const;
    // Writes a number: in a numeric column it is kept as given and shown with the
    // column's decimals; in a text column it becomes its text; a tick box is ticked by
    // any value but 0.
    bool set_value(int column, int row, double value);

    bool ticked(int column, int row) const { return value(column, row) != 0; }
    bool set_ticked(int column, int row, bool on) { return set_value(column, row, on ? 1 : 0); }

    // White unless set.
    gdi::Colour back_colour(int column, int row) const;
    bool has_back_colour(int column, int row) const;
    bool set_back_colour(int column, int row, gdi::Colour colour);

    // A number that stays with its row wherever sorting moves the row, shown and exported
    // nowhere: it lets whoever filled the rows tell them apart after the user sorted
    // them. -1 until set (and for rows outside the sheet).
    int row_key(int row) const;
    bool set_row_key(int row, int key);

    CellType column_type(int column) const;
    int column_decimals(int column) const;
    // The column's data cells (not its header) take the type; what they hold is read
    // again in the new type: a numeric column takes the numbers its texts begin with.
    void set_column_type(int column, CellType type, int decimals = 0);

    // Removes columns first..last (clamped to 1..count; the row-header column stays);
    // the columns to their right move left and the column count falls by the number
    // removed.
    void delete_columns(int first, int last);

    // The number of the last column holding a non-empty cell (header row included; an
    // unticked box counts as empty); 0 when every column is empty.
    int data_column_count() const;
    // The number of the last data row holding a non-empty cell; 0 when there is none.
    int data_row_count() const;

    // Sorts the data rows of the block (rows from 1; the header row never moves) on one
    // key column. Whole rows move, every column with its row, so no row is ever torn
    // apart whatever columns the block spans. Numeric and tick-box key columns compare
    // by value, others by text without regard to case (then with it, so the order is
    // fixed). Empty keys go last either way; equal keys keep their order.
    void sort_rows(const Block &block, int key_column, bool ascending = true);

    // The first row from first_row to last_row (clamped to the data rows) whose cell in
    // the column matches the text, compared without regard to case unless asked; -1
    // when none does.
    int search_column(int column, int first_row, int last_row, const QString &text,
                      Match match = Match::Whole,
                      Qt::CaseSensitivity cs = Qt::CaseInsensitive) const;

    // The whole sheet as a block, header row and column included.
    Block whole() const { return Block{0, 0, column_count(), row_count()}; }

  private:
    struct Cell {
        QString text;
        double number = 0;
        bool is_number = false;
        bool has_back = false;
        gdi::Colour back = kWhite;
        int key = -1; // the row's key, in its row-header cell
    };
    struct ColumnType {
        CellType type = CellType::Text;
        int decimals = 0;
    };

    const Cell *cell(int column, int row) const;
    Cell *cell(int column, int row);
    // A cell inside the sheet that holds something: a text, or a ticked box.
    bool holds_data(int column, int row) const;
    // Reads a cell's text again as the column's type says.
    void retype(Cell &c, const ColumnType &type) const;
    QString number_text(double v, const ColumnType &type) const;

    // rows_[r][c]; row 0 and column 0 are the headers. One vector per row, so sorting
    // moves rows without copying their cells.
    std::vector<std::vector<Cell>> rows_ = std::vector<std::vector<Cell>>(1, std::vector<Cell>(1));
    std::vector<ColumnType> types_ = std::vector<ColumnType>(1);
};

} // namespace grid
