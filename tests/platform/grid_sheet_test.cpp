// The grid's content without a window: counts, cell types, sorting, searching, column
// deletion and the table handed to the export writers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/exports/grid_sheet.h"
#include "platform/exports/grid_table.h"

namespace {

using grid::Block;
using grid::CellType;
using grid::Match;
using grid::Sheet;

// A sheet whose rows are given as texts, row 0 the headers.
Sheet sheet_of(const std::vector<std::vector<QString>> &rows) {
    Sheet s(static_cast<int>(rows.front().size()), static_cast<int>(rows.size()) - 1);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < static_cast<int>(rows[static_cast<std::size_t>(r)].size()); ++c)
            s.set_text(c + 1, r, rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);
    return s;
}

std::vector<QString> column(const Sheet &s, int c) {
    std::vector<QString> out;
    for (int r = 1; r <= s.row_count(); ++r)
        out.push_back(s.text(c, r));
    return out;
}

TEST(GridSheet, CountsReadBackAsWrittenAndKeepOrDropCells) {
    Sheet s;
    EXPECT_EQ(s.row_count(), 0);
    EXPECT_EQ(s.column_count(), 0);
    s.set_column_count(3);
    s.set_row_count(600);
    EXPECT_EQ(s.row_count(), 600);
    EXPECT_EQ(s.column_count(), 3);
    ASSERT_TRUE(s.set_text(3, 600, "last"));
    ASSERT_TRUE(s.set_text(2, 0, "Header"));
    ASSERT_TRUE(s.set_text(0, 5, "row five"));

    // Writes and reads outside the sheet neither grow it nor crash.
    EXPECT_FALSE(s.set_text(4, 1, "x"));
    EXPECT_FALSE(s.set_text(1, 601, "x"));
    EXPECT_FALSE(s.set_value(-1, 1, 2));
    EXPECT_EQ(s.text(7, 700), QString());
    EXPECT_EQ(s.row_count(), 600);
    EXPECT_EQ(s.column_count(), 3);

    s.set_row_count(599); // cuts the last row off
    s.set_row_count(600); // and the row that comes back is empty
    EXPECT_EQ(s.text(3, 600), QString());
    EXPECT_EQ(s.text(2, 0), "Header");
    s.set_column_count(1);
    s.set_column_count(3);
    EXPECT_EQ(s.text(2, 0), QString());
    EXPECT_EQ(s.text(0, 5), "row five");
    s.set_row_count(-4);
    EXPECT_EQ(s.row_count(), 0);
}

TEST(GridSheet, CellTypesDecideValueAndNumberness) {
    Sheet s(3, 3);
    s.set_text(1, 1, "12.5");
    s.set_text(2, 1, "12.5");
    s.set_text(2, 2, "n/a");
    s.set_text(3, 1, "1");
    s.set_column_type(2, CellType::Numeric);
    s.set_column_type(3, CellType::TickBox);

    // A text column: the number a text begins with, never a number for export.
    EXPECT_DOUBLE_EQ(s.value(1, 1), 12.5);
    EXPECT_FALSE(s.holds_number(1, 1));
    // A numeric column reads its texts as numbers where they are numbers.
    EXPECT_TRUE(s.holds_number(2, 1));
    EXPECT_DOUBLE_EQ(s.value(2, 1), 12.5);
    EXPECT_FALSE(s.holds_number(2, 2));
    // Numbers written keep their value and show the column's decimals.
    s.set_column_type(2, CellType::Numeric, 2);
    s.set_value(2, 3, 1234.5678);
    EXPECT_EQ(s.text(2, 3), "1234.57");
    EXPECT_DOUBLE_EQ(s.value(2, 3), 1234.5678);
    s.set_value(1, 3, 0.25);
    EXPECT_EQ(s.text(1, 3), "0.25");

    // Tick boxes: 0 or 1, whatever was written.
    EXPECT_TRUE(s.ticked(3, 1));
    EXPECT_FALSE(s.ticked(3, 2));
    s.set_value(3, 2, 7);
    EXPECT_DOUBLE_EQ(s.value(3, 2), 1);
    s.set_ticked(3, 2, false);
    EXPECT_DOUBLE_EQ(s.value(3, 2), 0);
    s.set_row_count(4); // a new row's box is there, unticked
    EXPECT_TRUE(s.holds_number(3, 4));
    EXPECT_FALSE(s.ticked(3, 4));

    // Back colours: white until set.
    EXPECT_EQ(s.back_colour(1, 1), gdi::rgb(255, 255, 255));
    EXPECT_FALSE(s.has_back_colour(1, 1));
    s.set_back_colour(1, 1, gdi::rgb(128, 128, 128));
    EXPECT_EQ(s.back_colour(1, 1), gdi::rgb(128, 128, 128));
}

TEST(GridSheet, SortKeepsRowsTogetherAndComparesByTheKeysType) {
    Sheet s = sheet_of({{"Name", "Count", "Note"},
                        {"beta", "10", "b"},
                        {"Alpha", "9", "a"},
                        {"", "100", "empty name"},
                        {"gamma", "", "no count"},
                        {"alpha", "-2", "second alpha"}});
    s.set_back_colour(3, 1, gdi::rgb(1, 2, 3));
    s.set_column_type(2, CellType::Numeric);
    for (int r = 1; r <= s.row_count(); ++r)
        s.set_row_key(r, 100 + r);
    const Block rows{1, 1, 3, s.row_count()};

    struct Case {
        int key;
        bool ascending;
        std::vector<QString> notes;
    };
    const Case cases[] = {
        // Texts without regard to case (capital first among equals); empty last.
        {1, true, {"a", "second alpha", "b", "no count", "empty name"}},
        {1, false, {"no count", "b", "second alpha", "a", "empty name"}},
        // Numbers by value, not as texts ("100" after "9"); an empty count last.
        {2, true, {"second alpha", "a", "b", "empty name", "no count"}},
        {2, false, {"empty name", "b", "a", "second alpha", "no count"}},
    };
    for (const Case &c : cases) {
        Sheet t = s;
        t.sort_rows(rows, c.key, c.ascending);
        EXPECT_EQ(column(t, 3), c.notes) << "key " << c.key << (c.ascending ? " up" : " down");
        // Every cell stays with its row, the colour and the row's key too.
        for (int r = 1; r <= t.row_count(); ++r)
            if (t.text(3, r) == "b") {
                EXPECT_EQ(t.text(1, r), "beta");
                EXPECT_DOUBLE_EQ(t.value(2, r), 10);
                EXPECT_EQ(t.back_colour(3, r), gdi::rgb(1, 2, 3));
                EXPECT_EQ(t.row_key(r), 101);
            }
        EXPECT_EQ(t.text(1, 0), "Name"); // the header row never moves
    }

    // A block of some rows sorts those rows only; equal keys keep their order.
    Sheet t = sheet_of({{"k", "v"}, {"b", "1"}, {"b", "2"}, {"a", "3"}, {"a", "4"}, {"0", "5"}});
    t.sort_rows(Block{1, 1, 1, 4}, 1);
    EXPECT_EQ(column(t, 2), (std::vector<QString>{"3", "4", "1", "2", "5"}));
}

TEST(GridSheet, SearchFindsTheFirstMatchingRowOfAColumn) {
    const Sheet s =
        sheet_of({{"Drawing"}, {"RE123       "}, {"RE12        "}, {"re12"}, {"Wall 4"}});
    struct Case {
        QString text;
        Match match;
        Qt::CaseSensitivity cs;
        int first, last, row;
    };
    const Case cases[] = {
        {"RE12", Match::Prefix, Qt::CaseInsensitive, 1, 4, 1}, // the first that begins so
        {"RE12", Match::Whole, Qt::CaseInsensitive, 1, 4, 3},
        {"RE12", Match::Whole, Qt::CaseSensitive, 1, 4, -1},
        {"re12", Match::Whole, Qt::CaseSensitive, 1, 4, 3},
        {"RE12", Match::Prefix, Qt::CaseInsensitive, 2, 4, 2},
        {"wall 4", Match::Whole, Qt::CaseInsensitive, 1, 99, 4}, // rows clamped
        {"Wall 4", Match::Whole, Qt::CaseInsensitive, 1, 3, -1},
        {"RE9", Match::Prefix, Qt::CaseInsensitive, 1, 4, -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(s.search_column(1, c.first, c.last, c.text, c.match, c.cs), c.row)
            << c.text.toStdString() << " rows " << c.first << ".." << c.last;
    EXPECT_EQ(s.search_column(5, 1, 4, "RE12"), -1); // no such column
}

TEST(GridSheet, DeletedColumnsCloseTheGapAndTheRowHeadersStay) {
    Sheet s = sheet_of({{"A", "B", "C", "D", "E"}, {"a1", "b1", "c1", "d1", "e1"}});
    s.set_text(0, 1, "first");
    s.set_column_type(4, CellType::Numeric);
    s.delete_columns(2, 3);
    EXPECT_EQ(s.column_count(), 3);
    EXPECT_EQ(s.text(1, 0), "A");
    EXPECT_EQ(s.text(2, 0), "D");
    EXPECT_EQ(s.text(3, 1), "e1");
    EXPECT_EQ(s.column_type(2), CellType::Numeric); // the type goes with its column
    EXPECT_EQ(s.text(0, 1), "first");

    s.delete_columns(0, 1); // the row-header column is not a column to delete
    EXPECT_EQ(s.text(0, 1), "first");
    EXPECT_EQ(s.text(1, 0), "D");
    s.delete_columns(2, 9); // clamped to the sheet
    EXPECT_EQ(s.column_count(), 1);
    s.delete_columns(2, 1); // nothing
    EXPECT_EQ(s.column_count(), 1);
}

TEST(GridSheet, TheTableForExportIsTheUsedExtentWithNumbersAsNumbers) {
    Sheet s(6, 600); // a results window provides 600 rows whatever a search finds
    const char *headers[] = {"DataRef", "RecPos", "Site_Name", "Easting", "Done"};
    for (int c = 1; c <= 5; ++c)
        s.set_text(c, 0, headers[c - 1]);
    s.set_column_type(1, CellType::Numeric);
    s.set_column_type(4, CellType::Numeric, 0);
    s.set_column_type(5, CellType::TickBox);
    s.set_value(1, 1, 1);
    s.set_text(2, 1, "17");
    s.set_text(3, 1, "Castle <Keep>");
    s.set_value(4, 1, 461234.5);
    s.set_text(3, 3, "third");
    s.set_ticked(5, 3, true);
    s.set_text(0, 1, "row header: not exported");

    const exporting::Table t = grid::to_table(s);
    EXPECT_EQ(t.headers,
              (std::vector<std::string>{"DataRef", "RecPos", "Site_Name", "Easting", "Done"}));
    ASSERT_EQ(t.rows.size(), 3u);
    using exporting::Cell;
    EXPECT_EQ(t.rows[0], (std::vector<Cell>{1.0, std::string("17"), std::string("Castle <Keep>"),
                                            461234.5, 0.0}));
    EXPECT_EQ(t.rows[1],
              (std::vector<Cell>{std::string(), std::string(), std::string(), std::string(), 0.0}));
    EXPECT_EQ(t.rows[2], (std::vector<Cell>{std::string(), std::string(), std::string("third"),
                                            std::string(), 1.0}));

    const exporting::Table empty = grid::to_table(Sheet(3, 600));
    EXPECT_TRUE(empty.headers.empty());
    EXPECT_TRUE(empty.rows.empty());
}

} // namespace
