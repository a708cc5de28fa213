#include "platform/widgets/grid_print.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <vector>

namespace grid {

namespace {

const QColor kShadow(0xD8, 0xD8, 0xD8);
const QColor kLines(0x80, 0x80, 0x80);

// What a header shows when nothing was written into it: the column's or row's number,
// as on screen.
QString header_text(const Sheet &sheet, int column, int row) {
    const QString t = sheet.text(column, row);
    if (!t.isEmpty())
        return t;
    return QString::number(row == 0 ? column : row);
}

// A cell prints on one line.
QString one_line(QString t) {
    t.replace(QLatin1Char('\n'), QLatin1Char(' '));
    t.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return t;
}

class Layout {
  public:
    Layout(const Sheet &sheet, const PrintOptions &options, QPainter &painter, QSizeF area)
        : sheet_(sheet), options_(options), p_(painter), fm_(painter.fontMetrics()) {
        last_column_ = options.used_extent_only ? sheet.data_column_count() : sheet.column_count();
        last_row_ = options.used_extent_only ? sheet.data_row_count() : sheet.row_count();
        pad_ = std::max(1, fm_.averageCharWidth() / 2);
        row_height_ = fm_.height() + fm_.height() / 3;
        const int narrowest = 4 * fm_.averageCharWidth() + 2 * pad_;
        const int widest = std::max(narrowest, static_cast<int>(area.width() * 0.45));
        // Printer fonts lay text out a little wider than the metrics say: a character's
        // width to spare keeps a text that fits from being cut short.
        const int spare = fm_.averageCharWidth();
        auto width_of = [&](const QString &t) {
            return std::clamp(fm_.horizontalAdvance(one_line(t)) + 2 * pad_ + spare, narrowest,
                              widest);
        };

        widths_.assign(static_cast<std::size_t>(last_column_) + 1, narrowest);
        for (int c = 1; c <= last_column_; ++c) {
            int w = options.column_headers ? width_of(header_text(sheet, c, 0)) : narrowest;
            for (int r = 1; r <= last_row_; ++r)
                w = std::max(w, width_of(sheet.text(c, r)));
            widths_[static_cast<std::size_t>(c)] = w;
        }
        row_header_width_ = 0;
        if (options.row_headers) {
            row_header_width_ = narrowest;
            for (int r = 1; r <= last_row_; ++r)
                row_header_width_ = std::max(row_header_width_, width_of(header_text(sheet, 0, r)));
        }

        // Bands of columns as wide as a page takes; a column wider than the page on
        // its own still gets a band (its text cut short).
        const int room = static_cast<int>(area.width()) - row_header_width_;
        for (int c = 1; c <= last_column_;) {
            const int start = c;
            int used = 0;
            while (c <= last_column_ &&
                   (c == start || used + widths_[static_cast<std::size_t>(c)] <= room))
                used += widths_[static_cast<std::size_t>(c++)];
            bands_.emplace_back(start, c - 1);
        }
        const int top = options.column_headers ? row_height_ : 0;
        rows_per_page_ = std::max(1, (static_cast<int>(area.height()) - top) / row_height_);
    }

    void print(QPrinter &printer) {
        bool first_page = true;
        for (const auto &[first_column, last_column] : bands_) {
            int row = 1;
            do {
                if (!first_page)
                    printer.newPage();
                first_page = false;
                const int last = std::min(last_row_, row + rows_per_page_ - 1);
                page(first_column, last_column, row, last);
                row = last + 1;
            } while (row <= last_row_);
        }
    }

  private:
    void page(int first_column, int last_column, int first_row, int last_row) {
        int y = 0;
        if (options_.column_headers) {
            int x = 0;
            if (options_.row_headers) {
                header_cell(QRect(0, 0, row_header_width_, row_height_), QString());
                x = row_header_width_;
            }
            for (int c = first_column; c <= last_column; ++c) {
                const int w = widths_[static_cast<std::size_t>(c)];
                header_cell(QRect(x, 0, w, row_height_), header_text(sheet_, c, 0));
                x += w;
            }
            y = row_height_;
        }
        for (int r = first_row; r <= last_row; ++r, y += row_height_) {
            int x = 0;
            if (options_.row_headers) {
                header_cell(QRect(0, y, row_header_width_, row_height_), header_text(sheet_, 0, r));
                x = row_header_width_;
            }
            for (int c = first_column; c <= last_column; ++c) {
                const int w = widths_[static_cast<std::size_t>(c)];
                cell(QRect(x, y, w, row_height_), c, r);
                x += w;
            }
        }
        if (options_.borders) {
            int width = options_.row_headers ? row_header_width_ : 0;
            for (int c = first_column; c <= last_column; ++c)
                width += widths_[static_cast<std::size_t>(c)];
            p_.save();
            p_.setPen(QPen(Qt::black, std::max(1, pad_ / 2)));
            p_.setBrush(Qt::NoBrush);
            p_.drawRect(QRect(0, 0, width, y));
            p_.restore();
        }
    }

    void header_cell(const QRect &r, const QString &text) {
        if (options_.shadows)
            p_.fillRect(r, kShadow);
        lines(r);
        p_.drawText(r.adjusted(pad_, 0, -pad_, 0), Qt::AlignCenter,
                    fm_.elidedText(one_line(text), Qt::ElideRight, r.width() - 2 * pad_));
    }

    void cell(const QRect &r, int column, int row) {
        if (options_.colour && sheet_.has_back_colour(column, row))
            p_.fillRect(r, QColor::fromRgb(gdi::to_qrgb(sheet_.back_colour(column, row))));
        lines(r);
        const CellType type = sheet_.column_type(column);
        if (type == CellType::TickBox) {
            const int side = fm_.height() * 2 / 3;
            const QRect box(r.center().x() - side / 2, r.center().y() - side / 2, side, side);
            p_.save();
            p_.setPen(QPen(Qt::black, 0));
            p_.drawRect(box);
            if (sheet_.ticked(column, row)) {
                p_.drawLine(box.topLeft(), box.bottomRight());
                p_.drawLine(box.bottomLeft(), box.topRight());
            }
            p_.restore();
            return;
        }
        const auto align =
            (type == CellType::Numeric ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
        p_.drawText(r.adjusted(pad_, 0, -pad_, 0), align,
                    fm_.elidedText(one_line(sheet_.text(column, row)), Qt::ElideRight,
                                   r.width() - 2 * pad_));
    }

    void lines(const QRect &r) {
        if (!options_.grid_lines)
            return;
        p_.save();
        p_.setPen(QPen(kLines, 0));
        p_.setBrush(Qt::NoBrush);
        p_.drawRect(r);
        p_.restore();
    }

    const Sheet &sheet_;
    const PrintOptions &options_;
    QPainter &p_;
    QFontMetrics fm_;
    int last_column_ = 0, last_row_ = 0;
    int pad_ = 1, row_height_ = 1, row_header_width_ = 0, rows_per_page_ = 1;
    std::vector<int> widths_;
    std::vector<std::pair<int, int>> bands_;
};

} // namespace

bool print(const Sheet &sheet, QPrinter &printer, const PrintOptions &options) {
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    QFont font = painter.font();
    font.setPointSizeF(9);
    painter.setFont(font);
    const QSizeF area = printer.pageLayout().paintRectPixels(printer.resolution()).size();
    Layout layout(sheet, options, painter, area);
    layout.print(printer);
    return painter.end();
}

} // namespace grid
