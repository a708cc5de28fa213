#include "platform/reports/pdf_document.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <optional>

#include "platform/reports/table_layout.h"

namespace reports {

namespace {

constexpr double kMarginMm = 15;
constexpr double kFooterMm = 8;        // room at the foot of a page for its number
constexpr double kGapMm = 4;           // between the title block, the picture and the table
constexpr double kFewestMm = 60;       // a picture is not squeezed below this height
constexpr double kPictureShare = 0.68; // the picture's height to its width, at most
// The picture leaves the table this much of the first page, when the table has that
// much, so that a short list stands under its map.
constexpr double kTableFirstMm = 40;
constexpr double kTitlePoints = 16;
constexpr double kTextPoints = 9;
constexpr double kTablePoints = 8;
constexpr double kFooterPoints = 8;

double mm(double millimetres) {
    return millimetres * kResolution / 25.4;
}

QFont font_of(double points, bool bold = false) {
    // Arial is Liberation Sans here, a TrueType font the writer embeds.
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QPageLayout a4(QPageLayout::Orientation orientation) {
    return QPageLayout(QPageSize(QPageSize::A4), orientation,
                       QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                       QPageLayout::Millimeter);
}

// One pass over the document: the first finds where everything goes and how many
// pages there are, the second (with a painter) draws it there.
class Flow {
  public:
    Flow(const Document &doc, QPdfWriter &writer, TableLayout *table, TableLayout *second,
         QSizeF area)
        : doc_(doc), writer_(writer), table_(table), second_(second), width_(area.width()),
          body_(area.height() - mm(kFooterMm)), foot_(area.height()) {}

    // The pages the document takes; with a painter, draws them (false: stopped).
    bool run(QPainter *painter, int total, const Progress &progress) {
        p_ = painter;
        stopped_ = false;
        page_ = 1;
        y_ = 0;
        total_ = total;
        progress_ = progress;
        if (p_ != nullptr && progress_ && !progress_(0, total_))
            return false;
        text_block(font_of(kTitlePoints, true), doc_.title);
        for (const QString &line : doc_.lines)
            text_block(font_of(kTextPoints), line);
        if (stopped_)
            return false;
        y_ += mm(kGapMm);
        if (doc_.picture) {
            if (body_ - y_ < mm(kFewestMm) && !new_page())
                return false;
            double height = std::min(width_ * kPictureShare, body_ - y_);
            const double room = body_ - y_ - mm(kGapMm) - table_start() - 1;
            if (room >= mm(kFewestMm))
                height = std::min(height, room);
            if (p_ != nullptr) {
                p_->save();
                doc_.picture(*p_, QRectF(0, y_, width_, height));
                p_->restore();
            }
            y_ += height + mm(kGapMm);
        }
        if (table_ != nullptr && !table_rows(*table_))
            return false;
        if (second_ != nullptr) {
            y_ += mm(kGapMm);
            // The heading stands with the table's header row, not alone at a page's foot.
            const QFontMetricsF fm(font_of(kTextPoints, true), &writer_);
            if (y_ + fm.height() + second_->header_height(second_->all_columns()) > body_ &&
                !new_page())
                return false;
            text_block(font_of(kTextPoints, true), doc_.second_heading);
            if (stopped_ || !table_rows(*second_))
                return false;
        }
        return finish_page();
    }
    int pages() const { return page_; }

  private:
    // The height the start of the table takes: its header row and its first rows, up to
    // kTableFirstMm.
    double table_start() const {
        if (table_ == nullptr)
            return 0;
        const TableLayout::Band band = table_->all_columns();
        double h = table_->header_height(band);
        for (int r = 1; r <= table_->row_count() && h < mm(kTableFirstMm); ++r)
            h += table_->row_height(band, r);
        return std::min(h, mm(kTableFirstMm));
    }

    void text_block(const QFont &font, const QString &text) {
        const QFontMetricsF fm(font, &writer_);
        if (p_ != nullptr)
            p_->setFont(font);
        for (const QString &line : wrap_text(text, fm, width_)) {
            if (y_ + fm.height() > body_ && !new_page())
                return;
            if (p_ != nullptr)
                p_->drawText(QPointF(0, y_ + fm.ascent()), line);
            y_ += fm.lineSpacing();
        }
    }

    bool table_rows(TableLayout &table) {
        const TableLayout::Band band = table.all_columns();
        // Not even the header row fits under the picture: the table starts on a new page.
        if (body_ - y_ < table.header_height(band) && !new_page())
            return false;
        std::vector<TableLayout::Page> pages = table.paginate(band, body_ - y_, body_);
        // A first page with no room for a row: the table starts on the next.
        if (pages.size() > 1 && pages.front().empty()) {
            pages.erase(pages.begin());
            if (!new_page())
                return false;
        }
        for (std::size_t i = 0; i < pages.size(); ++i) {
            if (i > 0 && !new_page())
                return false;
            if (p_ != nullptr)
                table.paint(*p_, QPointF(0, y_), band, pages[i]);
            y_ += table.page_height(band, pages[i]);
        }
        return true;
    }

    // The foot of the page: its number. False when the caller asked to stop.
    bool finish_page() {
        if (p_ == nullptr)
            return true;
        const QFont font = font_of(kFooterPoints);
        const QFontMetricsF fm(font, &writer_);
        const QString text = QStringLiteral("Page %1 of %2").arg(page_).arg(total_);
        p_->setFont(font);
        p_->setPen(Qt::black);
        p_->drawText(QPointF((width_ - fm.horizontalAdvance(text)) / 2, foot_ - fm.descent()),
                     text);
        if (progress_ && !progress_(page_, total_))
            stopped_ = true;
        return !stopped_;
    }

    bool new_page() {
        if (!finish_page())
            return false;
        if (p_ != nullptr)
            writer_.newPage();
        ++page_;
        y_ = 0;
        return true;
    }

    const Document &doc_;
    QPdfWriter &writer_;
    TableLayout *table_;
    TableLayout *second_;
    double width_, body_, foot_;
    QPainter *p_ = nullptr;
    int page_ = 1, total_ = 0;
    double y_ = 0;
    Progress progress_;
    bool stopped_ = false;
};

} // namespace

bool set_creation_date(QByteArray &pdf, const QDateTime &made) {
    static const QByteArray key = "/CreationDate (";
    // The document information comes first, before any page.
    const qsizetype start = pdf.indexOf(key);
    if (start < 0 || start > 4096)
        return false;
    const qsizetype open = start + key.size();
    const qsizetype close = pdf.indexOf(')', open);
    if (close < 0)
        return false;
    const QByteArray date =
        "D:" + made.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + "Z";
    const qsizetype room = close - open;
    if (date.size() > room)
        return false;
    pdf.replace(open, room, date + ")" + QByteArray(room - date.size(), ' '));
    pdf.remove(open + room + 1, 1); // the old closing parenthesis, now inside the padding
    return true;
}

Written write_pdf(const std::filesystem::path &path, const Document &document,
                  const Progress &progress) {
    Written w;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(kResolution);
    writer.setTitle(document.title);
    writer.setCreator(document.creator);

    const auto layout_of = [&](const grid::Sheet *sheet, std::optional<TableLayout> &table) {
        if (sheet == nullptr)
            return;
        std::vector<int> columns(static_cast<std::size_t>(sheet->column_count()));
        for (std::size_t i = 0; i < columns.size(); ++i)
            columns[i] = static_cast<int>(i) + 1;
        table.emplace(*sheet, std::move(columns), sheet->row_count(), font_of(kTablePoints),
                      &writer);
    };
    std::optional<TableLayout> table, second;
    layout_of(document.table, table);
    layout_of(document.second_table, second);
    // Landscape when the table's columns, unwrapped, are wider than a portrait page.
    QPageLayout layout = a4(QPageLayout::Portrait);
    if (table && table->natural_width() > layout.paintRectPixels(kResolution).width())
        layout = a4(QPageLayout::Landscape);
    writer.setPageLayout(layout);
    const QSizeF area = layout.paintRectPixels(kResolution).size();
    for (std::optional<TableLayout> *t : {&table, &second})
        if (*t)
            (*t)->set_widths(fit_widths((*t)->natural_widths(), area.width(), (*t)->narrowest()));

    Flow flow(document, writer, table ? &*table : nullptr, second ? &*second : nullptr, area);
    flow.run(nullptr, 0, {});
    const int total = flow.pages();
    QPainter painter;
    if (!painter.begin(&writer)) {
        w.outcome = exporting::Outcome::failure("The PDF document could not be started.");
        return w;
    }
    const bool done = flow.run(&painter, total, progress);
    painter.end();
    if (!done) {
        w.cancelled = true;
        w.outcome = exporting::Outcome::failure("The report was cancelled.");
        return w;
    }
    w.pages = total;
    QByteArray &pdf = buffer.buffer();
    if (document.made.isValid() && !set_creation_date(pdf, document.made)) {
        w.outcome = exporting::Outcome::failure("The PDF's creation date could not be set.");
        return w;
    }
    w.outcome = exporting::write_output(
        path, std::string_view(buffer.data().constData(),
                               static_cast<std::size_t>(buffer.data().size())));
    return w;
}

} // namespace reports
