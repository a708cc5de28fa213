// Plotting a site list into the excavation-point store: where each record lands, which
// records have no place, the order the searches rely on, and what is drawn.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <map>

#include "platform/gdi.h"
#include "sites/point_plot.h"
#include "sites_test_support.h"
#include "support/temp_folder.h"
#include "view/navigation.h"
#include "view/transform.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kColour = gdi::rgb(200, 30, 40);
// The 100 km square SK lies 400 km east and 300 km north of the grid's origin.
constexpr int32_t kSkEast = 40'000'000, kSkNorth = 30'000'000;

// A database of one or more tables written by the SQL given.
fs::path write_database(const fs::path &file, const std::string &sql) {
    sqlite3 *db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK)
        throw std::runtime_error("cannot create " + file.string());
    try {
        dao_test::exec(db, sql);
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    return file;
}

// "INSERT INTO table VALUES (...), ..." of rows of values written as SQL.
std::string insert(const std::string &table, const std::vector<std::vector<std::string>> &rows) {
    std::string sql = "INSERT INTO " + table + " VALUES ";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        sql += r ? ", (" : "(";
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            sql += (c ? ", " : "") + rows[r][c];
        sql += ")";
    }
    return sql;
}

class Plot : public ::testing::Test {
  protected:
    testing_support::TempFolder temp_;
    state::PointStore store_;
    state::ViewState view_; // shows nothing: View_X_Max < View_X_Min
    sites_test::Recorder said_;
    const state::UiHooks ui_ = said_.ui();

    sites::PlotResult plot(const fs::path &db, const std::string &table,
                           gdi::DeviceContext *dc = nullptr) {
        return sites::Plot_Excavation_Points(store_, db.string(), table, view_, dc, kColour, ui_);
    }
    // The stored point of a record, by its record number; null when not plotted.
    const state::ExcavationPoint *point_of(int32_t record, ZT_KeyPair *at = nullptr) const {
        for (std::size_t i = 0; i < store_.points.size(); ++i)
            if (store_.points[i].record_number == record) {
                if (at)
                    *at = store_.coordinates[i];
                return &store_.points[i];
            }
        return nullptr;
    }
    bool sorted_by_easting() const {
        return std::is_sorted(store_.coordinates.begin(), store_.coordinates.end(),
                              [](const ZT_KeyPair &a, const ZT_KeyPair &b) {
                                  return a.second != b.second ? a.second < b.second
                                                              : a.first < b.first;
                              });
    }
};

// Where each record of a table is expected: its world position and height, or skipped.
struct Expected {
    int32_t record;
    bool placed;
    int32_t easting, northing, elevation;
};

void expect_places(const std::vector<Expected> &expected,
                   const std::function<const state::ExcavationPoint *(int32_t, ZT_KeyPair *)> &of) {
    for (const Expected &e : expected) {
        SCOPED_TRACE("record " + std::to_string(e.record));
        ZT_KeyPair at{};
        const state::ExcavationPoint *point = of(e.record, &at);
        ASSERT_EQ(point != nullptr, e.placed);
        if (!point)
            continue;
        EXPECT_EQ(at.second, e.easting);
        EXPECT_EQ(at.first, e.northing);
        EXPECT_EQ(point->elevation, e.elevation);
        // Tables without deleted rows: the bookmark is the record's row in table order.
        EXPECT_EQ(point->bookmark, e.record - 1);
    }
}

TEST_F(Plot, MetresWithGridReferencesAndFullGridCoordinates) {
    const fs::path db = write_database(
        temp_.path() / "metres.sqlite",
        "CREATE TABLE Sites (RENO INTEGER, NAME TEXT, NGS TEXT, xcoord DOUBLE, ycoord DOUBLE, "
        "LEVEL DOUBLE, FROMDRAW TEXT);"
        "INSERT INTO Sites VALUES "
        "(1, 'in its square', 'SK 9470 7020', 94700.12, 70208.11, 5.5, 'x'),"
        "(2, 'small letters, blanks', '  sk 1 2', 0.5, 0.25, NULL, ''),"
        "(3, 'blank reference, full grid', '', 495000.0, 370000.0, 1.0, ''),"
        "(4, 'no reference, east of the square', NULL, 505000.0, 370000.0, 2.0, ''),"
        "(5, 'no reference, within-square metres', ' ', 94700.0, 70208.0, 3.0, ''),"
        "(6, 'no easting', 'SK 9470 7020', NULL, 70208.11, 3.0, ''),"
        "(7, 'empty northing', 'SK 9470 7020', 94700.0, '', 3.0, ''),"
        "(8, 'north of the maximum view', NULL, 495000.0, 375000.0, 3.0, ''),"
        "(9, 'west of the reference', 'SK 1000 7020', 10000.0, 70208.11, -1.25, '');");
    const sites::PlotResult r = plot(db, "Sites");
    EXPECT_EQ(r.plotted, 5);
    EXPECT_EQ(r.skipped, 4);
    EXPECT_FALSE(r.already);
    EXPECT_EQ(said_.messages,
              std::vector<std::string>{" 5 points plotted, 4 skipped without a place on the grid"});
    expect_places({{1, true, kSkEast + 9470012, kSkNorth + 7020811, 550},
                   {2, true, kSkEast + 50, kSkNorth + 25, 0},
                   {3, true, 49500000, 37000000, 100},
                   {4, true, 50500000, 37000000, 200},
                   {5, false, 0, 0, 0},
                   {6, false, 0, 0, 0},
                   {7, false, 0, 0, 0},
                   {8, false, 0, 0, 0},
                   {9, true, kSkEast + 1000000, kSkNorth + 7020811, -125}},
                  [this](int32_t k, ZT_KeyPair *at) { return point_of(k, at); });

    // Ordered by easting: the records as they lie from west to east.
    std::vector<int32_t> order;
    for (const auto &p : store_.points)
        order.push_back(p.record_number);
    EXPECT_EQ(order, (std::vector<int32_t>{2, 9, 1, 3, 4}));
    EXPECT_TRUE(sorted_by_easting());

    // One set for the table; every point carries it and keeps its plotting index.
    ASSERT_EQ(store_.sets.size(), 1u);
    const state::PointSet &set = store_.sets[0];
    EXPECT_EQ(set.set_number, 1);
    EXPECT_EQ(set.symbol_number, 3);
    EXPECT_EQ(set.symbol_size, 2);
    EXPECT_EQ(set.colour, kColour);
    EXPECT_EQ(set.database, db.string());
    EXPECT_EQ(set.source, state::PointSet::Table);
    EXPECT_EQ(set.table, "Sites");
    std::vector<int32_t> numbers;
    for (const auto &p : store_.points) {
        EXPECT_EQ(p.set_number, 1);
        EXPECT_EQ(p.colour, kColour);
        EXPECT_EQ(p.symbol_size, 2);
        EXPECT_EQ(p.symbol_number, 3);
        numbers.push_back(p.point_number);
    }
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(numbers, (std::vector<int32_t>{0, 1, 2, 3, 4}));
}

TEST_F(Plot, WholeNumbersAreWorldUnitsAndTheLastMatchingFieldWins) {
    const int32_t x0 = view::kMaxViewOriginX, y0 = view::kMaxViewOriginY;
    const int32_t h = view::kMaxViewHeight;
    const auto n = [](int64_t v) { return std::to_string(v); };
    // Corners of the maximum view are inside; a unit beyond is not.
    const fs::path db =
        write_database(temp_.path() / "units.sqlite",
                       "CREATE TABLE Points (X_COORD INTEGER, EASTING INTEGER, NORTHING INTEGER, "
                       "ZCOORD INTEGER, ELEVATION INTEGER);" +
                           insert("Points", {{"0", n(x0), n(y0), "0", "7"},
                                             {"0", n(x0 + 2 * h), n(y0 + h), "0", "NULL"},
                                             {"0", n(x0 - 1), n(y0), "0", "1"},
                                             {"0", n(x0), n(y0 + h + 1), "0", "1"},
                                             {"0", n(x0 + 2 * h + 1), n(y0), "0", "1"},
                                             {"0", "49500000", "37000000", "0", "1234"}}));
    const sites::PlotResult r = plot(db, "Points");
    EXPECT_EQ(r.plotted, 3);
    EXPECT_EQ(r.skipped, 3);
    expect_places({{1, true, x0, y0, 7},
                   {2, true, x0 + 2 * h, y0 + h, 0},
                   {3, false, 0, 0, 0},
                   {4, false, 0, 0, 0},
                   {5, false, 0, 0, 0},
                   {6, true, 49500000, 37000000, 1234}},
                  [this](int32_t k, ZT_KeyPair *at) { return point_of(k, at); });
}

TEST_F(Plot, StoreGrowsToHoldEveryRecordAndLetsEventsIn) {
    // 1500 sites, the easternmost first, all on one northing.
    const fs::path db = write_database(
        temp_.path() / "many.sqlite",
        "CREATE TABLE Many (EASTING INTEGER, NORTHING INTEGER);"
        "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 1500) "
        "INSERT INTO Many SELECT 49600000 - i * 100, 37000000 FROM k;");
    const sites::PlotResult r = plot(db, "Many");
    EXPECT_EQ(r.plotted, 1500);
    ASSERT_EQ(store_.count(), 1500);
    ASSERT_EQ(store_.coordinates.size(), 1500u);
    EXPECT_TRUE(sorted_by_easting());
    EXPECT_EQ(store_.points.front().record_number, 1500);
    EXPECT_EQ(store_.points.back().record_number, 1);
    EXPECT_EQ(store_.points[1000].record_number, 500);
    EXPECT_EQ(store_.easting(1000), 49600000 - 500 * 100);
    EXPECT_EQ(said_.events, 2); // after 501 and 1002
}

TEST_F(Plot, PlottedStoreIsLeftAloneAndErrorsLeaveItEmpty) {
    const fs::path db = write_database(temp_.path() / "sites.sqlite",
                                       "CREATE TABLE Sites (EASTING INTEGER, NORTHING INTEGER);"
                                       "CREATE TABLE Flat (EASTING INTEGER, HEIGHT INTEGER);"
                                       "INSERT INTO Sites VALUES (49500000, 37000000);"
                                       "INSERT INTO Flat VALUES (49500000, 37000000);");
    struct Case {
        const char *what;
        fs::path file;
        const char *table;
    };
    const Case failing[] = {{"no such table", db, "Sitez"},
                            {"no northing field", db, "Flat"},
                            {"no database", temp_.path() / "none.sqlite", "Sites"}};
    for (const Case &c : failing) {
        SCOPED_TRACE(c.what);
        EXPECT_THROW(plot(c.file, c.table), dao::Error);
        EXPECT_TRUE(store_.empty());
        EXPECT_TRUE(store_.coordinates.empty());
        EXPECT_TRUE(store_.sets.empty());
    }
    EXPECT_TRUE(said_.messages.empty());

    ASSERT_EQ(plot(db, "Sites").plotted, 1);
    said_.messages.clear();
    const sites::PlotResult again = plot(db, "Sites");
    EXPECT_TRUE(again.already);
    EXPECT_EQ(again.plotted, 0);
    EXPECT_EQ(store_.count(), 1);
    EXPECT_EQ(store_.sets.size(), 1u);
    EXPECT_TRUE(said_.messages.empty());
}

TEST_F(Plot, SymbolsAreDrawnOnlyForPointsInTheView) {
    // 200 x 100 pixels, one world unit to the pixel.
    QImage image(200, 100, QImage::Format_RGB32);
    gdi::DeviceContext dc(image);
    view_.View_X_Min = 49500000;
    view_.View_Y_Min = 37000000;
    view_.View_Height_Units = 100;
    view::Prepare_View(view_, dc, 200, 100);
    const gdi::Colour white = gdi::rgb(255, 255, 255);
    dc.clear(white);
    const int32_t x = 49500000, y = 37000000;
    // Rows 25 and 75 of the window: y + 75 and y + 25.
    const auto n = [](int64_t v) { return std::to_string(v); };
    const fs::path db =
        write_database(temp_.path() / "view.sqlite",
                       "CREATE TABLE Sites (EASTING INTEGER, NORTHING INTEGER);" +
                           insert("Sites", {{n(x + 100), n(y + 50)},     // the centre
                                            {n(x), n(y + 75)},           // on the left edge
                                            {n(x - 2), n(y + 25)},       // just west of it
                                            {n(x + 100), n(y + 102)}})); // just above
    EXPECT_EQ(plot(db, "Sites", &dc).plotted, 4);

    const auto painted = [&](int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int py = y0; py <= y1; ++py)
            for (int px = x0; px <= x1; ++px)
                n += dc.get_pixel(px, py) == kColour;
        return n;
    };
    EXPECT_GT(painted(96, 46, 104, 54), 0);
    EXPECT_EQ(dc.get_pixel(100, 50), kColour);
    EXPECT_EQ(dc.get_pixel(0, 25), kColour);
    EXPECT_EQ(painted(0, 70, 4, 80), 0); // its circle would reach into the window
    EXPECT_EQ(painted(95, 0, 105, 3), 0);

    // Without a device context the points are stored all the same.
    store_.clear();
    dc.clear(white);
    EXPECT_EQ(plot(db, "Sites").plotted, 4);
    EXPECT_EQ(painted(0, 0, 199, 99), 0);
}

// The test databases' own site lists: every site with a grid reference is plotted.
class PlotSiteList : public Plot, public ::testing::WithParamInterface<std::string> {};

TEST_P(PlotSiteList, EverySiteWithAGridReference) {
    const fs::path db = sites_test::site_database(GetParam(), temp_.path());
    const sites::PlotResult r = plot(db, "TAVIsitelist");
    EXPECT_TRUE(sorted_by_easting());
    if (GetParam() == "sample") {
        EXPECT_EQ(r.plotted, 300);
        EXPECT_EQ(r.skipped, 0);
        return;
    }
    // Row 5 has no grid reference, and its metres within the square lie off the map.
    EXPECT_EQ(r.plotted, 39);
    EXPECT_EQ(r.skipped, 1);
    // Row 3 is site RE0012 at SK 9470 7020, 94700.12 m and 70208.11 m within the square,
    // 549.5 m high; every sixth row has no level.
    expect_places({{3, true, kSkEast + 9470012, kSkNorth + 7020811, 54950},
                   {5, false, 0, 0, 0},
                   {6, true, kSkEast + 9750439, kSkNorth + 7140076, 0}},
                  [this](int32_t k, ZT_KeyPair *at) { return point_of(k, at); });
}

INSTANTIATE_TEST_SUITE_P(Sources, PlotSiteList, ::testing::ValuesIn(sites_test::kSources),
                         sites_test::source_name);

} // namespace
