// Tables laid out for paper: every cell's text wrapped within its column and never cut,
// numbers right-aligned, the rows spread over pages with the header row at the top of
// each page. The printed grid and the search report lay their tables out with it, so a
// long description reads the same in both.
//
// Everything is measured in the units of the device the table is painted on (a PDF
// writer or a printer), with the same fonts, so what was measured is what is drawn.
// Text is drawn as plain text: a record holding "<b>&amp;</b>" prints those characters.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <vector>

#include "platform/exports/grid_sheet.h"

class QPainter;
class QPaintDevice;

namespace reports {

// The text in lines no wider than width: broken at blanks where it can be, inside a word
// only where the word alone is wider than a line. Line breaks in the text are kept; the
// blanks a line is broken at are dropped; every other character stays, in its order.
// An empty text is one empty line.
QStringList wrap_text(const QString &text, const QFontMetricsF &metrics, double width);

// Widths for columns that want `natural` widths within `room`: when they do not all fit,
// the widest are narrowed to one common width (their text wraps) while narrower ones keep
// theirs; no column is narrowed below `narrowest` (or its own width, if less) unless even
// that does not fit, when every column is narrowed in proportion.
std::vector<double> fit_widths(const std::vector<double> &natural, double room, double narrowest);

struct TableStyle {
    bool column_headers = true; // the header row at the top of every page
    bool grid_lines = true;     // lines between the cells
    bool frame = true;          // a frame around the table on every page
    bool shaded_headers = true; // header cells on grey
    bool back_colours = false;  // the cells' own back colours
};

class TableLayout {
  public:
    // A part of one row on one page: its text lines [first_line, end_line).
    struct Piece {
        int row = 0;
        int first_line = 0;
        int end_line = 0;
    };
    using Page = std::vector<Piece>;
    // Indexes into the columns given, printed side by side.
    using Band = std::vector<int>;

    // The sheet's columns in the order given (0 is the row-header column, lettered as a
    // header) and its data rows 1 to last_row, lettered in font (the header row in its
    // bold) as the device measures it. The sheet must outlive the layout.
    TableLayout(const grid::Sheet &sheet, std::vector<int> columns, int last_row, const QFont &font,
                QPaintDevice *device, const TableStyle &style = {});

    // The width each column takes to show its longest line unwrapped, padding included.
    const std::vector<double> &natural_widths() const { return natural_; }
    double natural_width() const;
    // A few characters: what fit_widths narrows a column to at the least.
    double narrowest() const;

    // Fixes the column widths and wraps every cell's text within them.
    void set_widths(std::vector<double> widths);
    const std::vector<double> &widths() const { return widths_; }
    Band all_columns() const;
    double width(const Band &band) const;

    double line_height() const { return line_; }
    int row_count() const { return last_row_; }
    double header_height(const Band &band) const;
    // The height of the tallest row of the band: what a page must hold for a row to go
    // on it unsplit.
    double row_height(const Band &band, int row) const;

    // The rows spread over pages: the first page holds first_room of height (header row
    // included), every other page room. A row that does not fit what is left of a page
    // goes to the next; one taller than a whole page is split between its lines.
    std::vector<Page> paginate(const Band &band, double first_room, double room) const;

    // Paints the header row and the page's pieces with the top-left corner at `at`;
    // returns the height painted.
    double paint(QPainter &painter, QPointF at, const Band &band, const Page &page) const;
    // The height paint() would paint.
    double page_height(const Band &band, const Page &page) const;

  private:
    QString header_text(int index) const;
    QString cell_text(int index, int row) const;
    int lines_of(const Band &band, int row) const;
    double piece_height(int lines) const { return lines * line_ + 2 * vpad_; }
    void paint_cell(QPainter &p, const QRectF &box, int index, const Piece &piece,
                    bool header) const;

    const grid::Sheet &sheet_;
    std::vector<int> columns_;
    int last_row_;
    QFont font_, bold_;
    QFontMetricsF fm_, bold_fm_;
    TableStyle style_;
    double pad_ = 1, vpad_ = 1, line_ = 1;
    std::vector<double> natural_;
    std::vector<double> widths_;
    std::vector<QStringList> header_lines_;       // per column
    std::vector<std::vector<QStringList>> lines_; // [row - 1][column]
};

} // namespace reports
