// Plotting a site list into the excavation-point store: where each record lands, which
// records have no place, the order the searches rely on, and what is drawn.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>

#include "platform/surface/gdi.h"
#include "sites/point_plot.h"
#include "sites_test_support.h"
#include "support/temp_folder.h"
#include "view/navigation.h"
#include "view/transform.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kColour = gdi::rgb(200, 30, 40);
constexpr int32_t kSkEast = 40'000'000, kSkNorth = 30'000'000; // the 100 km square SK
constexpr int32_t kX0 = view::kMaxViewOriginX, kY0 = view::kMaxViewOriginY;
constexpr int32_t kH = view::kMaxViewHeight;

std::string n(int64_t v) {
    return std::to_string(v);
}

// Where a record is expected: world position and height, or not plotted.
struct Place {
    int32_t record;
    bool placed;
    int32_t easting = 0, northing = 0, elevation = 0;
};

class Plot : public ::testing::Test {
  protected:
    testing_support::TempFolder temp_;
    state::PointStore store_;
    state::ViewState view_; // shows nothing until set
    sites_test::Recorder said_;
    const state::UiHooks ui_ = said_.ui();

    fs::path database(const std::string &sql) {
        const fs::path file = temp_.path() / "sites.sqlite";
        sqlite3 *db = nullptr;
        sqlite3_open(file.c_str(), &db);
        dao_test::exec(db, sql);
        sqlite3_close(db);
        return file;
    }
    sites::PlotResult plot(const fs::path &db, const std::string &table,
                           gdi::DeviceContext *dc = nullptr) {
        return sites::Plot_Excavation_Points(store_, db.string(), table, view_, dc, kColour, ui_);
    }
    void expect_places(const std::vector<Place> &places) {
        for (const Place &p : places) {
            SCOPED_TRACE("record " + n(p.record));
            const auto it =
                std::find_if(store_.points.begin(), store_.points.end(),
                             [&](const auto &q) { return q.record_number == p.record; });
            ASSERT_EQ(it != store_.points.end(), p.placed);
            if (!p.placed)
                continue;
            const auto i = static_cast<int32_t>(it - store_.points.begin());
            EXPECT_EQ(store_.easting(i), p.easting);
            EXPECT_EQ(store_.northing(i), p.northing);
            EXPECT_EQ(it->elevation, p.elevation);
            EXPECT_EQ(it->bookmark, p.record - 1); // its row in table order
            EXPECT_EQ(it->set_number, 1);
            EXPECT_EQ(it->colour, kColour);
            EXPECT_EQ(it->symbol_size * 10 + it->symbol_number, 23);
        }
        EXPECT_TRUE(std::is_sorted(store_.coordinates.begin(), store_.coordinates.end(),
                                   [](const ZT_KeyPair &a, const ZT_KeyPair &b) {
                                       return std::pair(a.second, a.first) <
                                              std::pair(b.second, b.first);
                                   }));
    }
};

TEST_F(Plot, MetresWithinTheirSquareOrOnTheFullGrid) {
    const fs::path db =
        database("CREATE TABLE Sites (NGS TEXT, xcoord DOUBLE, ycoord DOUBLE, LEVEL DOUBLE);"
                 "INSERT INTO Sites VALUES ('SK 9470 7020', 94700.12, 70208.11, 5.5),"
                 "('  sk 1 2', 0.5, 0.25, NULL),"         // blanks and small letters
                 "('', 495000.0, 370000.0, 1.0),"         // full grid, inside the maximum view
                 "(NULL, 505000.0, 370000.0, 2.0),"       // east of its square, in a wide window
                 "(' ', 94700.0, 70208.0, 3.0),"          // metres in a square, but which?
                 "('SK 9470 7020', NULL, 70208.11, 3.0)," // no easting
                 "('SK 9470 7020', 94700.0, '', 3.0),"    // no northing
                 "(NULL, 495000.0, 375000.0, 3.0),"       // north of the maximum view
                 "('SK 1000 7020', 10000.0, 70208.11, -1.25);"); // west of the others
    const sites::PlotResult r = plot(db, "Sites");
    EXPECT_EQ(r.plotted, 5);
    EXPECT_EQ(r.skipped, 4);
    EXPECT_EQ(said_.messages,
              std::vector<std::string>{" 5 points plotted, 4 skipped without a place on the grid"});
    expect_places({{1, true, kSkEast + 9470012, kSkNorth + 7020811, 550},
                   {2, true, kSkEast + 50, kSkNorth + 25, 0},
                   {3, true, 49500000, 37000000, 100},
                   {4, true, 50500000, 37000000, 200},
                   {5, false},
                   {6, false},
                   {7, false},
                   {8, false},
                   {9, true, kSkEast + 1000000, kSkNorth + 7020811, -125}});
    ASSERT_EQ(store_.sets.size(), 1u);
    const state::PointSet &set = store_.sets[0];
    EXPECT_EQ(std::tuple(set.set_number, set.symbol_number, set.symbol_size, set.colour,
                         set.database, set.source, set.table),
              std::tuple(1, 3, 2, kColour, db.string(), state::PointSet::Table, "Sites"));
}

TEST_F(Plot, WholeNumbersAreWorldUnitsAndTheLastMatchingFieldWins) {
    // X_COORD and ZCOORD lose to EASTING and ELEVATION, which come after them.
    const fs::path db = database(
        "CREATE TABLE Points (X_COORD INTEGER, EASTING INTEGER, NORTHING INTEGER, "
        "ZCOORD INTEGER, ELEVATION INTEGER); INSERT INTO Points VALUES "
        "(0, " +
        n(kX0) + ", " + n(kY0) + ", 0, 7), (0, " + n(kX0 + 2 * kH) + ", " + n(kY0 + kH) +
        ", 0, NULL), (0, " + n(kX0 - 1) + ", " + n(kY0) + ", 0, 1), (0, " + n(kX0) + ", " +
        n(kY0 + kH + 1) + ", 0, 1), (0, " + n(kX0 + 2 * kH + 1) + ", " + n(kY0) + ", 0, 1)");
    EXPECT_EQ(plot(db, "Points").skipped, 3);
    expect_places({{1, true, kX0, kY0, 7},
                   {2, true, kX0 + 2 * kH, kY0 + kH, 0},
                   {3, false},
                   {4, false},
                   {5, false}});
}

TEST_F(Plot, StoreGrowsToHoldEveryRecordAndLetsEventsIn) {
    const fs::path db =
        database("CREATE TABLE Many (EASTING INTEGER, NORTHING INTEGER);"
                 "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 1500) "
                 "INSERT INTO Many SELECT 49600000 - i * 100, 37000000 FROM k;");
    EXPECT_EQ(plot(db, "Many").plotted, 1500);
    ASSERT_EQ(store_.count(), 1500);
    expect_places({{1, true, 49599900, 37000000}, {1500, true, 49450000, 37000000}});
    EXPECT_EQ(store_.points.front().record_number, 1500); // the westernmost first
    EXPECT_EQ(said_.events, 2);                           // after 501 and 1002
}

TEST_F(Plot, PlottedStoreIsLeftAloneAndErrorsLeaveItEmpty) {
    const fs::path db = database("CREATE TABLE Sites (EASTING INTEGER, NORTHING INTEGER);"
                                 "CREATE TABLE Flat (EASTING INTEGER, HEIGHT INTEGER);"
                                 "INSERT INTO Sites VALUES (49500000, 37000000);");
    for (const auto &[file, table] : {std::pair(db, "Sitez"), std::pair(db, "Flat"),
                                      std::pair(temp_.path() / "none.sqlite", "Sites")}) {
        SCOPED_TRACE(table);
        EXPECT_THROW(plot(file, table), dao::Error);
        EXPECT_TRUE(store_.empty() && store_.coordinates.empty() && store_.sets.empty());
    }
    ASSERT_EQ(plot(db, "Sites").plotted, 1);
    said_.messages.clear();
    EXPECT_TRUE(plot(db, "Sites").already);
    EXPECT_EQ(store_.count(), 1);
    EXPECT_EQ(store_.sets.size(), 1u);
    EXPECT_TRUE(said_.messages.empty());
}

TEST_F(Plot, SymbolsAreDrawnOnlyForPointsInTheView) {
    QImage image(200, 100, QImage::Format_RGB32); // one world unit to the pixel
    gdi::DeviceContext dc(image);
    view_.View_X_Min = 49500000;
    view_.View_Y_Min = 37000000;
    view_.View_Height_Units = 100;
    view::Prepare_View(view_, dc, 200, 100);
    dc.clear(gdi::rgb(255, 255, 255));
    const int32_t x = 49500000, y = 37000000;
    const fs::path db = database(
        "CREATE TABLE Sites (EASTING INTEGER, NORTHING INTEGER); INSERT INTO Sites VALUES (" +
        n(x + 100) + ", " + n(y + 50) + "), (" + n(x) + ", " + n(y + 75) + "), (" + n(x - 2) +
        ", " + n(y + 25) + "), (" + n(x + 100) + ", " + n(y + 102) + ")");
    EXPECT_EQ(plot(db, "Sites", &dc).plotted, 4);
    const auto painted = [&](int x0, int y0, int x1, int y1) {
        int count = 0;
        for (int py = y0; py <= y1; ++py)
            for (int px = x0; px <= x1; ++px)
                count += dc.get_pixel(px, py) == kColour;
        return count;
    };
    EXPECT_EQ(dc.get_pixel(100, 50), kColour); // the centre
    EXPECT_EQ(dc.get_pixel(0, 25), kColour);   // on the west edge
    EXPECT_EQ(painted(0, 70, 4, 80), 0);       // two units west: its circle would show
    EXPECT_EQ(painted(95, 0, 105, 3), 0);      // two units north
}

class PlotSiteList : public Plot, public ::testing::WithParamInterface<std::string> {};

TEST_P(PlotSiteList, EverySiteWithAGridReference) {
    const sites::PlotResult r =
        plot(sites_test::site_database(GetParam(), temp_.path()), "TAVIsitelist");
    if (GetParam() == "sample") {
        EXPECT_EQ(r.plotted, 300);
        return;
    }
    // Row 5 has no grid reference, and its metres within the square lie off the map.
    // Row 3 is RE0012 at SK 9470 7020, 549.5 m high; every sixth row has no level.
    EXPECT_EQ(r.plotted, 39);
    expect_places({{3, true, kSkEast + 9470012, kSkNorth + 7020811, 54950},
                   {5, false},
                   {6, true, kSkEast + 9750439, kSkNorth + 7140076, 0}});
}

INSTANTIATE_TEST_SUITE_P(Sources, PlotSiteList, ::testing::ValuesIn(sites_test::kSources),
                         [](const auto &info) { return info.param; });

} // namespace
