// Tables laid out for paper: wrapping keeps every character and breaks words only when it
// must, columns are narrowed only as far as the page needs, and rows go over pages
// whole unless no page could hold them.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetricsF>
#include <QImage>

#include "platform/reports/table_layout.h"

namespace {

using reports::TableLayout;

QString without_blanks(QString s) {
    s.remove(QLatin1Char(' '));
    s.remove(QLatin1Char('\n'));
    return s;
}

TEST(TableLayout, WrappingKeepsEveryCharacterAndBreaksWordsOnlyWhenTheyAreTooLong) {
    QImage device(10, 10, QImage::Format_RGB32);
    const QFontMetricsF fm(QFont("Arial", 9), &device);
    const double w = fm.horizontalAdvance("a line of some twenty");
    struct Case {
        QString text;
        int least_lines;
    };
    const Case cases[] = {
        {"short", 1},
        {"", 1},
        {QString("Roman and medieval deposits beneath the yard; ").repeated(15), 10},
        {QString("x").repeated(300), 3}, // one word wider than many lines
        {"two\nparagraphs, the second one long enough to wrap at least once", 3},
        {"<b>&amp;</b> stays as it is", 1},
    };
    for (const Case &c : cases) {
        const QStringList lines = reports::wrap_text(c.text, fm, w);
        EXPECT_GE(lines.size(), c.least_lines) << c.text.toStdString();
        EXPECT_EQ(without_blanks(lines.join(QString())), without_blanks(c.text))
            << c.text.toStdString();
        for (const QString &l : lines)
            EXPECT_LE(fm.horizontalAdvance(l), w) << l.toStdString();
    }
    // A word wider than a line fills each line it is broken over.
    const QStringList broken = reports::wrap_text(QString("x").repeated(300), fm, w);
    for (qsizetype i = 0; i + 1 < broken.size(); ++i)
        EXPECT_GT(fm.horizontalAdvance(broken[i] + "x"), w) << i;
    // Words that fit are never broken: each comes back whole.
    const QStringList lines = reports::wrap_text("alpha beta gamma delta epsilon", fm, w);
    EXPECT_EQ(lines.join(' '), "alpha beta gamma delta epsilon");
}

TEST(TableLayout, OnlyTheWidestColumnsAreNarrowedToFitThePage) {
    struct Case {
        std::vector<double> natural;
        double room;
        std::vector<double> widths;
    };
    const Case cases[] = {
        {{10, 20, 30}, 100, {10, 20, 30}},   // fits: as they are
        {{10, 20, 300}, 100, {10, 20, 70}},  // one wide column takes the rest
        {{10, 200, 300}, 100, {10, 45, 45}}, // two share it
        {{10, 200, 300}, 40, {8, 16, 16}},   // not even the narrowest fits: in proportion
    };
    for (const Case &c : cases) {
        const std::vector<double> w = reports::fit_widths(c.natural, c.room, 20);
        ASSERT_EQ(w.size(), c.widths.size());
        for (std::size_t i = 0; i < w.size(); ++i)
            EXPECT_NEAR(w[i], c.widths[i], 0.01) << c.room << " column " << i;
    }
}

TEST(TableLayout, RowsGoOverPagesWholeAndOnlyARowTallerThanAPageIsSplit) {
    QImage device(10, 10, QImage::Format_RGB32);
    grid::Sheet sheet(2, 30);
    sheet.set_text(1, 0, "Name");
    sheet.set_text(2, 0, "Description");
    for (int r = 1; r <= 30; ++r) {
        sheet.set_text(1, r, QString("Site %1").arg(r));
        sheet.set_text(2, r, r == 20 ? QString("word ").repeated(400) : QString("a short text"));
    }
    TableLayout layout(sheet, {1, 2}, 30, QFont("Arial", 9), &device);
    layout.set_widths({100, 200});
    const TableLayout::Band band = layout.all_columns();
    const double page = layout.header_height(band) + 12 * layout.row_height(band, 1);
    const std::vector<TableLayout::Page> pages = layout.paginate(band, page / 2, page);

    // Every line of every row once, in order; a piece is a whole row unless the row is
    // taller than a page.
    int row = 1, line = 0;
    for (const TableLayout::Page &p : pages) {
        double used = layout.header_height(band);
        for (const TableLayout::Piece &piece : p) {
            if (piece.row != row) {
                EXPECT_EQ(piece.row, row + 1);
                ++row;
                line = 0;
            }
            EXPECT_EQ(piece.first_line, line);
            line = piece.end_line;
            used += layout.row_height(band, 1) +
                    (piece.end_line - piece.first_line - 1) * layout.line_height();
            if (piece.row != 20) {
                EXPECT_EQ(piece.end_line - piece.first_line, 1) << "row " << piece.row;
            }
        }
        EXPECT_LE(used, page);
    }
    EXPECT_EQ(row, 30);
    EXPECT_GT(pages.size(), 4u);
    EXPECT_EQ(pages.front().size(), 5u) << "the first page holds what its room takes";
}

} // namespace
