// The grid widget, offscreen: what the user's clicks, ticks and header picks deliver,
// that the table shows the sheet (also after bulk filling with redrawing off), and
// printing to a PDF file read back with pdftotext.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QPrinter>
#include <QProcess>
#include <QTableWidget>
#include <QTest>

#include <cctype>
#include <string>
#include <vector>

#include "platform/widgets/grid.h"
#include "support/temp_folder.h"

namespace {

using grid::Block;
using grid::CellType;
using grid::Grid;

class GridWidget : public ::testing::Test {
  protected:
    void SetUp() override {
        grid.resize(700, 500);
        grid.set_column_count(4);
        grid.set_row_count(6);
        const char *headers[] = {"Name", "Count", "Note", "Extra"};
        for (int c = 1; c <= 4; ++c)
            grid.set_text(c, 0, headers[c - 1]);
        for (int r = 1; r <= 6; ++r) {
            grid.set_text(1, r, QString("name %1").arg(r));
            grid.set_text(3, r, QString("note %1").arg(r));
        }
        grid.on_click = [this](int c, int r) { log.push_back(event("click", c, r)); };
        grid.on_double_click = [this](int c, int r) { log.push_back(event("double", c, r)); };
        grid.on_tick = [this](int c, int r, bool on) {
            log.push_back(event(on ? "tick" : "untick", c, r));
        };
        grid.on_focus_in = [this] { log.push_back("focus in"); };
        grid.on_focus_out = [this] { log.push_back("focus out"); };
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
        log.clear(); // the focus the new window takes
    }

    static std::string event(const char *what, int c, int r) {
        return std::string(what) + " " + std::to_string(c) + " " + std::to_string(r);
    }

    QTableWidget *table() { return grid.table_widget(); }
    QPoint cell_centre(int c, int r) {
        return table()->visualRect(table()->model()->index(r - 1, c - 1)).center();
    }
    QPoint section_centre(QHeaderView *h, int section) {
        const int mid = h->sectionViewportPosition(section) + h->sectionSize(section) / 2;
        return h->orientation() == Qt::Horizontal ? QPoint(mid, h->height() / 2)
                                                  : QPoint(h->width() / 2, mid);
    }
    // A double click as the window system delivers it: press, release, then the
    // double-click press and its release.
    static void double_click(QWidget *w, QPoint at) {
        QTest::mousePress(w, Qt::LeftButton, {}, at);
        QTest::mouseRelease(w, Qt::LeftButton, {}, at);
        QTest::mouseDClick(w, Qt::LeftButton, {}, at);
        QTest::mouseRelease(w, Qt::LeftButton, {}, at);
    }
    void click_header(int column, Qt::KeyboardModifiers keys = {}) {
        QHeaderView *h = table()->horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, keys, section_centre(h, column - 1));
    }
    void click_row_header(int row) {
        QHeaderView *h = table()->verticalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, section_centre(h, row - 1));
    }
    // What the table shows in a cell.
    QString shown(int c, int r) {
        const QTableWidgetItem *item = table()->item(r - 1, c - 1);
        return item != nullptr ? item->text() : QString();
    }
    QString shown_header(int c) {
        const QTableWidgetItem *item = table()->horizontalHeaderItem(c - 1);
        return item != nullptr ? item->text() : QString();
    }

    Grid grid;
    std::vector<std::string> log;
};

TEST_F(GridWidget, ClicksCarryTheColumnAndRowWithTheHeaderRowAsZero) {
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell_centre(2, 3));
    EXPECT_EQ(grid.current_column(), 2);
    EXPECT_EQ(grid.current_row(), 3);
    double_click(table()->viewport(), cell_centre(1, 4));
    click_header(3);
    click_row_header(5);
    double_click(table()->horizontalHeader()->viewport(),
                 section_centre(table()->horizontalHeader(), 1));
    const std::vector<std::string> want = {"click 2 3", "click 1 4", "double 1 4", "click 3 0",
                                           "click 0 5", "click 2 0", "double 2 0"};
    EXPECT_EQ(log, want);
}

TEST_F(GridWidget, TheUsersTickReachesTheSheetAndTheWindow) {
    grid.set_column_type(4, CellType::TickBox);
    grid.set_ticked(4, 2, true); // the program's own change: no event
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(table()->item(1, 3)->checkState(), Qt::Checked);

    table()->setCurrentCell(2, 3);
    QTest::keyClick(table(), Qt::Key_Space);
    EXPECT_TRUE(grid.ticked(4, 3));
    table()->setCurrentCell(1, 3);
    QTest::keyClick(table(), Qt::Key_Space);
    EXPECT_FALSE(grid.ticked(4, 2));
    EXPECT_EQ(log, (std::vector<std::string>{"tick 4 3", "untick 4 2"}));
    EXPECT_DOUBLE_EQ(grid.value(4, 3), 1);
}

TEST_F(GridWidget, EnterAndSpaceOnTheFocusedCellAreItsDoubleClickAndClick) {
    table()->setCurrentCell(3, 0);
    QTest::keyClick(table(), Qt::Key_Return);
    QTest::keyClick(table(), Qt::Key_Enter, Qt::KeypadModifier);
    table()->setCurrentCell(1, 2);
    QTest::keyClick(table(), Qt::Key_Space);
    EXPECT_EQ(grid.current_column(), 3);
    EXPECT_EQ(grid.current_row(), 2);
    // With a modifier the keys keep the table's own meaning.
    QTest::keyClick(table(), Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(log, (std::vector<std::string>{"double 1 4", "double 1 4", "click 3 2"}));
}

TEST_F(GridWidget, FocusComingAndGoingIsTold) {
    QFocusEvent in(QEvent::FocusIn), out(QEvent::FocusOut);
    QApplication::sendEvent(table(), &in);
    QApplication::sendEvent(table(), &out);
    EXPECT_EQ(log, (std::vector<std::string>{"focus in", "focus out"}));
}

TEST_F(GridWidget, PicksOnHeadersBecomeBlocksOfWholeRowsOrColumns) {
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell_centre(2, 2));
    EXPECT_EQ(grid.selection(), (Block{2, 2, 2, 2}));
    click_row_header(3);
    EXPECT_EQ(grid.selection(), (Block{0, 3, 4, 3}));
    click_header(2);
    click_header(3, Qt::ShiftModifier);
    EXPECT_EQ(grid.selection(), (Block{2, 0, 3, 6}));
    if (auto *corner = table()->findChild<QAbstractButton *>()) {
        QTest::mouseClick(corner, Qt::LeftButton);
        EXPECT_EQ(grid.selection(), grid.sheet().whole());
    }
    grid.select_block(Block{2, 0, 3, 6});
    EXPECT_EQ(grid.selection(), (Block{2, 0, 3, 6}));
    EXPECT_TRUE(table()->item(0, 2)->isSelected());

    // The results window deletes the picked columns, then cuts the count to the data.
    grid.delete_columns(grid.selection());
    grid.set_column_count(grid.data_column_count());
    EXPECT_EQ(grid.column_count(), 2);
    EXPECT_EQ(table()->columnCount(), 2);
    EXPECT_EQ(shown_header(2), "Extra");
    EXPECT_EQ(shown(1, 6), "name 6");
    EXPECT_TRUE(grid.selection().empty());
}

TEST_F(GridWidget, BulkFillingWithRedrawOffShowsOnceSwitchedOn) {
    grid.set_redraw(false);
    grid.set_column_count(3);
    grid.set_row_count(12000);
    grid.set_column_type(2, CellType::Numeric);
    for (int r = 1; r <= 12000; ++r) {
        grid.set_text(1, r, QString("row %1").arg(r));
        grid.set_value(2, r, r * 0.5);
    }
    grid.set_back_colour(3, 7, gdi::rgb(128, 128, 128));
    EXPECT_EQ(table()->rowCount(), 6); // still what was shown before
    grid.set_redraw(true);
    EXPECT_EQ(table()->rowCount(), 12000);
    EXPECT_EQ(table()->columnCount(), 3);
    EXPECT_EQ(shown(1, 12000), "row 12000");
    EXPECT_EQ(shown(2, 12000), "6000");
    EXPECT_EQ(shown_header(1), "Name");
    EXPECT_EQ(table()->item(6, 2)->background().color(), QColor(128, 128, 128));

    // With redrawing on, each change shows at once.
    grid.set_text(1, 12000, "changed");
    EXPECT_EQ(shown(1, 12000), "changed");
    grid.set_text(2, 0, "Half");
    EXPECT_EQ(shown_header(2), "Half");
}

TEST_F(GridWidget, AHeaderClickSortsOnlyWhenSwitchedOnAndTurnsTheOrderAround) {
    grid.set_column_type(2, CellType::Numeric);
    const int counts[] = {10, 9, 100, -2, 35, 0};
    for (int r = 1; r <= 6; ++r)
        grid.set_value(2, r, counts[r - 1]);
    auto shown_counts = [this] {
        std::vector<QString> v;
        for (int r = 1; r <= 6; ++r)
            v.push_back(shown(2, r));
        return v;
    };

    click_header(2);
    EXPECT_EQ(shown_counts(), (std::vector<QString>{"10", "9", "100", "-2", "35", "0"}));

    grid.set_sort_on_header_click(true);
    click_header(2);
    EXPECT_EQ(shown_counts(), (std::vector<QString>{"-2", "0", "9", "10", "35", "100"}));
    // The rows went whole: the note of the row counting 100 was row 3's.
    EXPECT_EQ(shown(3, 6), "note 3");
    EXPECT_EQ(grid.text(1, 6), "name 3");
    click_header(2);
    EXPECT_EQ(shown_counts(), (std::vector<QString>{"100", "35", "10", "9", "0", "-2"}));
    EXPECT_EQ(log.back(), "click 2 0");

    grid.sort_rows(Block{1, 1, 4, 6}, 1);
    EXPECT_EQ(shown(1, 1), "name 1");
    EXPECT_EQ(grid.search_column(3, 1, 6, "NOTE 4"), 4);

    // The header's sort mark (on column 2) moves with its column and goes with it.
    QHeaderView *h = table()->horizontalHeader();
    grid.delete_columns(Block{1, 0, 1, 6});
    EXPECT_TRUE(h->isSortIndicatorShown());
    EXPECT_EQ(h->sortIndicatorSection(), 0);
    grid.delete_columns(Block{1, 0, 1, 6});
    EXPECT_FALSE(h->isSortIndicatorShown());
}

// ---------------------------------------------------------------------------------
// Printing

// The text of each page of a PDF file.
std::vector<std::string> pdf_pages(const std::string &file) {
    QProcess p;
    p.start("pdftotext", {"-layout", QString::fromStdString(file), "-"});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    std::vector<std::string> pages;
    for (const QByteArray &page : p.readAllStandardOutput().split('\f'))
        if (!page.trimmed().isEmpty())
            pages.push_back(page.toStdString());
    return pages;
}

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// The word is there, not only as the start of a longer number ("Site 1" in "Site 12").
bool has_word(const std::string &text, const std::string &word) {
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const auto end = at + word.size();
        if (end == text.size() || !std::isdigit(static_cast<unsigned char>(text[end])))
            return true;
    }
    return false;
}

TEST(GridPrint, LongAndWideSheetsGoOverPagesWithTheHeaderOnEach) {
    QProcess probe;
    probe.start("pdftotext", {"-v"});
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0)
        GTEST_SKIP() << "no pdftotext (Debian package poppler-utils)";
    testing_support::TempFolder temp;
    grid::Sheet sheet(3, 600); // more rows than the data fill
    sheet.set_text(1, 0, "DataRef");
    sheet.set_text(2, 0, "Site_Name");
    sheet.set_text(3, 0, "Easting");
    sheet.set_column_type(3, CellType::Numeric);
    for (int r = 1; r <= 150; ++r) {
        sheet.set_value(1, r, r);
        sheet.set_text(2, r, r == 150 ? QString("LAST-ROW-150") : QString("Site %1").arg(r));
        sheet.set_value(3, r, 461000 + r);
    }

    struct Case {
        const char *name;
        grid::PrintOptions options;
        bool headers_on_every_page;
    };
    grid::PrintOptions bare;
    bare.column_headers = false;
    bare.row_headers = false;
    bare.grid_lines = false;
    bare.borders = false;
    const Case cases[] = {{"all options", grid::PrintOptions{}, true}, {"bare", bare, false}};
    for (const Case &c : cases) {
        const std::string file = (temp.path() / (std::string(c.name) + ".pdf")).string();
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(file));
        ASSERT_TRUE(grid::print(sheet, printer, c.options)) << c.name;
        const std::vector<std::string> pages = pdf_pages(file);
        ASSERT_GE(pages.size(), 2u) << c.name;
        for (const std::string &page : pages)
            EXPECT_EQ(has(page, "Site_Name"), c.headers_on_every_page) << c.name;
        EXPECT_TRUE(has(pages.back(), "LAST-ROW-150")) << c.name;
        EXPECT_TRUE(has_word(pages.front(), "Site 1")) << c.name;
        EXPECT_TRUE(has(pages.back(), "461150")) << c.name;
        // Only the used extent: the 450 empty rows add no pages of row numbers.
        EXPECT_FALSE(has(pages.back(), "151")) << c.name;
    }

    // Columns wider than a page go on in bands; every header is printed somewhere.
    grid::Sheet wide(24, 3);
    for (int c = 1; c <= 24; ++c) {
        wide.set_text(c, 0, QString("Header-%1").arg(c));
        for (int r = 1; r <= 3; ++r)
            wide.set_text(c, r, QString("a fairly long text in column %1").arg(c));
    }
    const std::string file = (temp.path() / "wide.pdf").string();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(file));
    ASSERT_TRUE(grid::print(wide, printer, grid::PrintOptions{}));
    const std::vector<std::string> pages = pdf_pages(file);
    EXPECT_GE(pages.size(), 2u);
    std::string all;
    for (const auto &p : pages)
        all += p;
    for (int c = 1; c <= 24; ++c)
        EXPECT_TRUE(has_word(all, "Header-" + std::to_string(c))) << c;
    EXPECT_TRUE(has(all, "a fairly long text in column 24")) << "a text that fits is not cut";
}

TEST(GridPrint, ALongTextWrapsInItsCellAndIsPrintedWhole) {
    testing_support::TempFolder temp;
    const QString description =
        QString("Roman and medieval deposits beneath the modern yard, a robbed wall; ")
            .repeated(10);
    grid::Sheet sheet(3, 2);
    sheet.set_text(1, 0, "site");
    sheet.set_text(2, 0, "SITE_NAME");
    sheet.set_text(3, 0, "DESCRIPTION");
    sheet.set_text(1, 1, "RE0003");
    sheet.set_text(2, 1, "<b>&amp;</b>"); // printed as the characters it is
    sheet.set_text(3, 1, description);
    const std::string file = (temp.path() / "long.pdf").string();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(file));
    ASSERT_TRUE(grid::print(sheet, printer, grid::PrintOptions{}));
    // In the order drawn, so that a cell's lines follow each other.
    QProcess p;
    p.start("pdftotext", {"-raw", QString::fromStdString(file), "-"});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput()).simplified();
    EXPECT_TRUE(text.contains(description.simplified())) << text.toStdString();
    EXPECT_TRUE(text.contains("<b>&amp;</b>")) << text.toStdString();
}

} // namespace
