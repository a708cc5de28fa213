#include "platform/reports/table_layout.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <numeric>

namespace reports {

namespace {

const QColor kShade(0xD8, 0xD8, 0xD8);
const QColor kLines(0x80, 0x80, 0x80);

// Characters that read as a blank in a cell; a tab is a blank on paper.
bool is_blank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// The advance of text[pos, pos + len), measured a piece at a time: the metrics add up
// in fixed point, which a text of a million characters overflows at a printer's
// resolution (and then reads as narrow, or negative).
double advance(const QString &text, qsizetype pos, qsizetype len, const QFontMetricsF &fm) {
    constexpr qsizetype kPiece = 2048;
    double w = 0;
    while (len > 0) {
        qsizetype k = std::min(len, kPiece);
        if (k < len && k > 1 && text.at(pos + k - 1).isHighSurrogate())
            --k; // a surrogate pair stays in one piece
        w += fm.horizontalAdvance(text.mid(pos, k));
        pos += k;
        len -= k;
    }
    return w;
}

// The most characters from pos that fit the width (at least one, and never half of a
// surrogate pair): at least `lo` (known to fit, or 1) and fewer than `hi` (known not to).
qsizetype fitting(const QString &text, qsizetype pos, qsizetype lo, qsizetype hi,
                  const QFontMetricsF &fm, double width) {
    while (hi - lo > 1) {
        const qsizetype mid = (lo + hi) / 2;
        if (fm.horizontalAdvance(text.mid(pos, mid)) <= width)
            lo = mid;
        else
            hi = mid;
    }
    if (text.at(pos + lo - 1).isHighSurrogate() && pos + lo < text.size())
        lo = lo > 1 ? lo - 1 : lo + 1;
    return lo;
}

// Each line is found by measuring a window of about its own length, grown from a guess
// by doubling, never the rest of the paragraph: a long text wraps in time proportional
// to its length.
void wrap_paragraph(const QString &para, const QFontMetricsF &fm, double width, QStringList &out) {
    qsizetype pos = 0;
    const qsizetype n = para.size();
    if (n == 0) {
        out.append(QString());
        return;
    }
    const qsizetype guess = std::max<qsizetype>(
        16, static_cast<qsizetype>(width / std::max(1.0, fm.averageCharWidth())) * 2);
    qsizetype last = 0; // what the line before took
    while (pos < n) {
        qsizetype k = 0;
        // Lines of a text are much alike: first a bracket around the last line's length.
        if (const qsizetype above = last + last / 8 + 2;
            last > 0 && pos + above < n && fm.horizontalAdvance(para.mid(pos, above)) > width) {
            const qsizetype below = std::max<qsizetype>(1, last - last / 8);
            const bool fits = fm.horizontalAdvance(para.mid(pos, below)) <= width;
            k = fitting(para, pos, fits ? below : 1, fits ? above : below, fm, width);
        } else {
            qsizetype window = guess;
            while (pos + window < n && fm.horizontalAdvance(para.mid(pos, window)) <= width)
                window *= 2;
            if (pos + window >= n) {
                window = n - pos;
                if (advance(para, pos, window, fm) <= width) {
                    out.append(para.mid(pos));
                    return;
                }
            }
            k = fitting(para, pos, 1, window, fm, width);
        }
        last = k;
        // The last blank that leaves a line of something before it: a blank right after
        // what fits is as good a break as one inside it.
        qsizetype brk = -1;
        for (qsizetype i = std::min(pos + k, n - 1); i > pos; --i)
            if (is_blank(para.at(i)) && !is_blank(para.at(i - 1))) {
                brk = i;
                break;
            }
        qsizetype next = 0;
        if (brk > pos) {
            out.append(para.mid(pos, brk - pos));
            next = brk;
            while (next < n && is_blank(para.at(next)))
                ++next;
        } else {
            out.append(para.mid(pos, k));
            next = pos + k;
        }
        pos = next;
    }
}

QFont bold(QFont font) {
    font.setBold(true);
    return font;
}

} // namespace

QStringList wrap_text(const QString &text, const QFontMetricsF &metrics, double width) {
    QString t = text;
    t.remove(QLatin1Char('\r'));
    QStringList out;
    for (const QString &para : t.split(QLatin1Char('\n')))
        wrap_paragraph(para, metrics, width, out);
    return out;
}

std::vector<double> fit_widths(const std::vector<double> &natural, double room, double narrowest) {
    const double total = std::accumulate(natural.begin(), natural.end(), 0.0);
    if (total <= room || natural.empty())
        return natural;
    auto at_cap = [&](double cap) {
        double sum = 0;
        for (double w : natural)
            sum += std::max(std::min(w, narrowest), std::min(w, cap));
        return sum;
    };
    std::vector<double> out(natural.size());
    if (at_cap(narrowest) > room) {
        for (std::size_t i = 0; i < natural.size(); ++i)
            out[i] = std::min(natural[i], narrowest) * room / at_cap(narrowest);
        return out;
    }
    double lo = narrowest, hi = *std::max_element(natural.begin(), natural.end());
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        (at_cap(mid) <= room ? lo : hi) = mid;
    }
    for (std::size_t i = 0; i < natural.size(); ++i)
        out[i] = std::max(std::min(natural[i], narrowest), std::min(natural[i], lo));
    return out;
}

TableLayout::TableLayout(const grid::Sheet &sheet, std::vector<int> columns, int last_row,
                         const QFont &font, QPaintDevice *device, const TableStyle &style)
    : sheet_(sheet), columns_(std::move(columns)), last_row_(std::max(0, last_row)), font_(font),
      bold_(bold(font)), fm_(font, device), bold_fm_(bold_, device), style_(style) {
    pad_ = fm_.averageCharWidth() / 2;
    vpad_ = fm_.lineSpacing() / 6;
    line_ = fm_.lineSpacing();
    // Fonts on paper may lay text out a shade wider than measured: a quarter of a
    // character to spare keeps a text that fits from wrapping its last letter.
    const double spare = fm_.averageCharWidth() / 4;
    natural_.assign(columns_.size(), 0.0);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        double w = 0;
        if (style_.column_headers)
            for (const QString &l : header_text(static_cast<int>(i)).split(QLatin1Char('\n')))
                w = std::max(w, advance(l, 0, l.size(), bold_fm_));
        const bool ticks = sheet_.column_type(columns_[i]) == grid::CellType::TickBox;
        if (ticks)
            w = std::max(w, fm_.height());
        else
            for (int r = 1; r <= last_row_; ++r)
                for (const QString &l : cell_text(static_cast<int>(i), r).split(QLatin1Char('\n')))
                    w = std::max(w, advance(l, 0, l.size(), fm_));
        natural_[i] = std::max(w + 2 * pad_ + spare, narrowest() / 2);
    }
}

double TableLayout::natural_width() const {
    return std::accumulate(natural_.begin(), natural_.end(), 0.0);
}

double TableLayout::narrowest() const {
    return 6 * fm_.averageCharWidth() + 2 * pad_;
}

QString TableLayout::header_text(int index) const {
    const int c = columns_[static_cast<std::size_t>(index)];
    const QString t = sheet_.text(c, 0);
    if (!t.isEmpty() || c == 0)
        return t;
    return QString::number(c); // an unnamed column is shown by its number, as on screen
}

QString TableLayout::cell_text(int index, int row) const {
    const int c = columns_[static_cast<std::size_t>(index)];
    QString t = sheet_.text(c, row);
    if (c == 0 && t.isEmpty())
        t = QString::number(row);
    t.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return t;
}

void TableLayout::set_widths(std::vector<double> widths) {
    widths_ = std::move(widths);
    widths_.resize(columns_.size(), narrowest());
    header_lines_.assign(columns_.size(), QStringList());
    lines_.assign(static_cast<std::size_t>(last_row_), std::vector<QStringList>(columns_.size()));
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const double inner = std::max(1.0, widths_[i] - 2 * pad_);
        if (style_.column_headers)
            header_lines_[i] = wrap_text(header_text(static_cast<int>(i)), bold_fm_, inner);
        const bool ticks = sheet_.column_type(columns_[i]) == grid::CellType::TickBox;
        for (int r = 1; r <= last_row_; ++r)
            lines_[static_cast<std::size_t>(r - 1)][i] =
                ticks ? QStringList(QString())
                      : wrap_text(cell_text(static_cast<int>(i), r), fm_, inner);
    }
}

TableLayout::Band TableLayout::all_columns() const {
    Band b(columns_.size());
    std::iota(b.begin(), b.end(), 0);
    return b;
}

double TableLayout::width(const Band &band) const {
    double w = 0;
    for (int i : band)
        w += widths_[static_cast<std::size_t>(i)];
    return w;
}

double TableLayout::header_height(const Band &band) const {
    if (!style_.column_headers)
        return 0;
    qsizetype lines = 1;
    for (int i : band)
        lines = std::max(lines, header_lines_[static_cast<std::size_t>(i)].size());
    return static_cast<double>(lines) * bold_fm_.lineSpacing() + 2 * vpad_;
}

int TableLayout::lines_of(const Band &band, int row) const {
    qsizetype lines = 1;
    const auto &cells = lines_[static_cast<std::size_t>(row - 1)];
    for (int i : band)
        lines = std::max(lines, cells[static_cast<std::size_t>(i)].size());
    return static_cast<int>(lines);
}

double TableLayout::row_height(const Band &band, int row) const {
    return piece_height(lines_of(band, row));
}

std::vector<TableLayout::Page> TableLayout::paginate(const Band &band, double first_room,
                                                     double room) const {
    const double header = header_height(band);
    const double full = room - header; // what a page of its own holds
    std::vector<Page> pages(1);
    double left = first_room - header;
    auto new_page = [&] {
        pages.emplace_back();
        left = full;
    };
    for (int r = 1; r <= last_row_; ++r) {
        const int lines = lines_of(band, r);
        int from = 0;
        while (from < lines) {
            const double rest = piece_height(lines - from);
            if (rest <= left) {
                pages.back().push_back(Piece{r, from, lines});
                left -= rest;
                break;
            }
            if (rest <= full) {
                new_page();
                continue;
            }
            // Taller than any page: as many lines as fit here, the rest on the next.
            int fit = static_cast<int>((left - 2 * vpad_) / line_);
            if (fit < 1 && left >= full)
                fit = 1; // a page that holds no line at all still takes one
            if (fit >= 1) {
                pages.back().push_back(Piece{r, from, from + fit});
                from += fit;
            }
            new_page();
        }
    }
    return pages;
}

void TableLayout::paint_cell(QPainter &p, const QRectF &box, int index, const Piece &piece,
                             bool header) const {
    const auto i = static_cast<std::size_t>(index);
    const int column = columns_[i];
    const bool header_like = header || column == 0;
    if (header_like && style_.shaded_headers)
        p.fillRect(box, kShade);
    else if (!header_like && style_.back_colours && sheet_.has_back_colour(column, piece.row))
        p.fillRect(box, QColor::fromRgb(gdi::to_qrgb(sheet_.back_colour(column, piece.row))));
    if (style_.grid_lines) {
        p.setPen(QPen(kLines, 0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(box);
    }
    p.setPen(Qt::black);
    const QFontMetricsF &fm = header ? bold_fm_ : fm_;
    const double line = header ? bold_fm_.lineSpacing() : line_;
    if (!header && sheet_.column_type(column) == grid::CellType::TickBox) {
        if (piece.first_line > 0)
            return;
        const double side = fm.height() * 2 / 3;
        const QRectF tick(box.center().x() - side / 2, box.top() + vpad_ + (line - side) / 2, side,
                          side);
        p.setPen(QPen(Qt::black, 0));
        p.drawRect(tick);
        if (sheet_.ticked(column, piece.row)) {
            p.drawLine(tick.topLeft(), tick.bottomRight());
            p.drawLine(tick.bottomLeft(), tick.topRight());
        }
        return;
    }
    const QStringList &lines =
        header ? header_lines_[i] : lines_[static_cast<std::size_t>(piece.row - 1)][i];
    const bool right = !header && sheet_.column_type(column) == grid::CellType::Numeric;
    double y = box.top() + vpad_ + fm.ascent();
    const int end = std::min<int>(piece.end_line, static_cast<int>(lines.size()));
    for (int l = piece.first_line; l < end; ++l, y += line) {
        const QString &text = lines[l];
        if (text.isEmpty())
            continue;
        double x = box.left() + pad_;
        if (header_like)
            x = box.left() + (box.width() - fm.horizontalAdvance(text)) / 2;
        else if (right)
            x = box.right() - pad_ - fm.horizontalAdvance(text);
        // Plain text: whatever the cell holds is shown as the characters it is.
        p.drawText(QPointF(x, y), text);
    }
}

double TableLayout::page_height(const Band &band, const Page &page) const {
    double h = style_.column_headers ? header_height(band) : 0.0;
    for (const Piece &piece : page)
        h += piece_height(piece.end_line - piece.first_line);
    return h;
}

double TableLayout::paint(QPainter &painter, QPointF at, const Band &band, const Page &page) const {
    painter.save();
    double y = at.y();
    const double header = header_height(band);
    if (style_.column_headers) {
        painter.setFont(bold_);
        double x = at.x();
        for (int i : band) {
            const double w = widths_[static_cast<std::size_t>(i)];
            paint_cell(painter, QRectF(x, y, w, header), i, Piece{0, 0, 1 << 20}, true);
            x += w;
        }
        y += header;
    }
    painter.setFont(font_);
    for (const Piece &piece : page) {
        const double h = piece_height(piece.end_line - piece.first_line);
        double x = at.x();
        for (int i : band) {
            const double w = widths_[static_cast<std::size_t>(i)];
            paint_cell(painter, QRectF(x, y, w, h), i, piece, false);
            x += w;
        }
        y += h;
    }
    if (style_.frame) {
        painter.setPen(QPen(Qt::black, std::max(1.0, pad_ / 2)));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(at.x(), at.y(), width(band), y - at.y()));
    }
    painter.restore();
    return y - at.y();
}

} // namespace reports
