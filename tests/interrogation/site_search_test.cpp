// The site-list searches: which plotted points each shape finds (circle, polygon,
// polyline), the rows read for them from each point set's database, the digitising of a
// shape by clicks, the headers the exports use, and the blink of a row's place.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <set>
#include <thread>

#include "interrogation/mouse_tools.h"
#include "interrogation/site_search.h"
#include "platform/dao_server_support.h"
#include "platform/dao_test_support.h"
#include "platform/db/dao_reader.h"
#include "project/app_state.h"
#include "sites/point_plot.h"
#include "support/temp_folder.h"
#include "view/transform.h"

namespace {

using namespace interrogation;
using state::ToolCode;
namespace fs = std::filesystem;

class SiteSearch : public ::testing::Test {
  protected:
    // A site list of four records and a stored query over it holding the last two.
    fs::path database() {
        const fs::path file = temp_.path() / "sites.sqlite";
        sqlite3 *db = nullptr;
        sqlite3_open(file.c_str(), &db);
        dao_test::exec(db,
                       "CREATE TABLE TAVIsitelist (RENO INTEGER, \" SITE NAME \" TEXT, "
                       "site TEXT, LOCATION TEXT, NGS TEXT, xcoord DOUBLE, ycoord DOUBLE);"
                       "CREATE INDEX RENO ON TAVIsitelist (RENO);"
                       "INSERT INTO TAVIsitelist VALUES (7, 'Mill', 'RE0007', NULL, 'SK 1 2', "
                       "10.5, 20.25), (3, 'Abbey', 'RE0003', 'Close', 'SK 1 3', 11, 21),"
                       "(9, 'Wharf', 'RE0009', 'Quay', 'SK 1 4', 12, 22),"
                       "(4, 'Gate', 'RE0004', 'Bar', 'SK 1 5', 13, 23);"
                       "CREATE VIEW Later AS SELECT RENO, site FROM TAVIsitelist WHERE RENO > 5;");
        sqlite3_close(db);
        return file;
    }
    void add_set(state::PointSet::Source source, const std::string &db, const std::string &table) {
        state::PointSet s;
        s.set_number = static_cast<uint8_t>(sets_.size() + 1);
        s.source = source;
        s.database = db;
        s.table = table;
        sets_.push_back(s);
        state_.points.replace(sets_, placed_);
    }
    // A point of the set added last: record number from 1, bookmark its table row. The
    // store is ordered as the plot leaves it.
    void add_point(int32_t x, int32_t y, int32_t record = 1) {
        state::ExcavationPoint p;
        p.set_number = static_cast<int32_t>(sets_.size());
        p.record_number = record;
        p.bookmark = record - 1;
        placed_.add(x, y, p);
        state_.points.replace(sets_, placed_);
    }
    std::set<std::pair<int32_t, int32_t>> places(const std::vector<int32_t> &found) {
        std::set<std::pair<int32_t, int32_t>> out;
        for (int32_t i : found)
            out.insert({state_.points.easting(i), state_.points.northing(i)});
        return out;
    }

    testing_support::TempFolder temp_;
    std::vector<state::PointSet> sets_;
    state::PlacedPoints placed_;
    project::AppState state_;
    SiteSearchState searched_{state_.points, state_.settings, state_.interaction, state_.view};
    std::vector<std::string> said_;
    state::UiHooks ui_{
        [this](const std::string &m) { said_.push_back(m); }, {}, {}, {}, {}, {}, {}};
};

TEST_F(SiteSearch, TheCircleHoldsItsRimButNotTheCornersOfItsBox) {
    add_set(state::PointSet::Neither, "", "");
    const int32_t r = 500;
    for (const auto &[x, y] : std::vector<std::pair<int32_t, int32_t>>{
             {r, 0}, {-r, 0}, {0, r}, {r, r}, {r, -3}, {354, 354}, {353, 353}, {r + 1, 0}})
        add_point(x, y);
    // Two points share the easting of the rim: the slice keeps both, and the one on the
    // circle is found although the other comes first.
    EXPECT_EQ(places(points_in_circle(state_.points, 0, 0, r)),
              (std::set<std::pair<int32_t, int32_t>>{{r, 0}, {-r, 0}, {0, r}, {353, 353}}));
    // Every point lies west of the circle's east edge: the slice still reaches the last.
    EXPECT_EQ(places(points_in_circle(state_.points, r + 1, 0, 1)),
              (std::set<std::pair<int32_t, int32_t>>{{r, 0}, {r + 1, 0}}));
}

TEST_F(SiteSearch, APolygonMissesItsNotchWhichALineAlongTheEdgeFinds) {
    add_set(state::PointSet::Neither, "", "");
    add_point(500, 400);  // in the notch, 1 m above its floor at y 300
    add_point(600, 700);  // exactly on the notch's east edge
    add_point(200, 500);  // inside an arm
    add_point(1500, 500); // beyond the ring
    const Shape u = {{0, 0, 0},     {1000, 0, 0},  {1000, 1000, 0}, {600, 1000, 0},
                     {600, 300, 0}, {400, 300, 0}, {400, 1000, 0},  {0, 1000, 0}};
    EXPECT_EQ(places(points_in_polygon(state_.points, u)),
              (std::set<std::pair<int32_t, int32_t>>{{600, 700}, {200, 500}}));
    const Shape floor = {{400, 300, 0}, {600, 300, 0}};
    EXPECT_EQ(places(points_near_polyline(state_.points, floor, 200)),
              (std::set<std::pair<int32_t, int32_t>>{{500, 400}}));
    EXPECT_TRUE(points_near_polyline(state_.points, floor, 199).empty());
    // A ring of two vertices holds nothing, not even the points on its line.
    EXPECT_TRUE(points_in_polygon(state_.points, {{400, 300, 0}, {600, 300, 0}}).empty());
}

TEST_F(SiteSearch, ALineFindsWhatLiesBesideItBeyondItsOwnExtent) {
    add_set(state::PointSet::Neither, "", "");
    add_point(5000, 300);   // 3 m north of a straight east-west line
    add_point(10200, -150); // beside its east end
    add_point(5000, 900);
    const Shape line = {{0, 0, 0}, {10000, 0, 0}};
    EXPECT_EQ(places(points_near_polyline(state_.points, line, 1000)),
              (std::set<std::pair<int32_t, int32_t>>{{5000, 300}, {10200, -150}}));
}

TEST_F(SiteSearch, RowsComeSetBySetWithEachPointsRecord) {
    const std::string db = database().string();
    add_set(state::PointSet::Table, db, "TAVIsitelist");
    add_point(300, 0, 3); // the third row of the table: RENO 9
    add_point(100, 0, 1);
    add_set(state::PointSet::Query, db, "Later");
    add_point(200, 0, 2); // the query's second record: RENO 9 again, by position
    add_set(state::PointSet::Neither, "", "");
    add_point(50, 0);
    std::vector<int32_t> all(4);
    std::iota(all.begin(), all.end(), 0);

    const SiteRows rows = site_rows(state_.points, all, ui_);
    ASSERT_EQ(rows.count(), 4);
    // Set 1 in store order (east of each other), then set 2, then the bare set 3.
    EXPECT_EQ(rows.rows[0],
              (std::vector<dao::Value>{1, 1, 7, "Mill", "RE0007", {}, "SK 1 2", 10.5, 20.25}));
    EXPECT_EQ(rows.rows[1][4], dao::Value("RE0009"));
    EXPECT_EQ(rows.rows[2], (std::vector<dao::Value>{2, 2, 9, "RE0009"}));
    EXPECT_EQ(rows.rows[3], (std::vector<dao::Value>{3, 0}));
    // The headers name the fields of the last set read.
    EXPECT_EQ(rows.headers, (std::vector<std::string>{"DB source", "point", "RENO", "site"}));
    EXPECT_TRUE(rows.unreadable.empty());
    EXPECT_EQ(rows.caption(), "Point Data Interrogation results: Records= 4");
    EXPECT_EQ(SiteRows{}.caption(), "Point Data Interrogation results: Records= 0");

    // Numbers stay numbers with the decimals they need; a column holding any text is
    // text, and a missing value leaves its cell empty.
    const grid::Sheet sheet = result_sheet(rows, header_names(state_.points, 1));
    EXPECT_EQ(sheet.text(4, 0), "SITE_NAME");
    EXPECT_EQ(sheet.column_type(3), grid::CellType::Numeric);
    EXPECT_EQ(sheet.text(8, 1), "10.5");
    EXPECT_EQ(sheet.text(9, 2), "22.00");
    EXPECT_EQ(sheet.column_type(7), grid::CellType::Text);
    EXPECT_EQ(sheet.text(6, 1), "");
    EXPECT_EQ(header_names(state_.points, 3), (std::vector<std::string>{"DataRef", "RecPos"}));
}

TEST_F(SiteSearch, AnUnreadableDatabaseKeepsItsPointsAndTheOtherSetsRows) {
    add_set(state::PointSet::Table, (temp_.path() / "gone.sqlite").string(), "TAVIsitelist");
    add_point(100, 0);
    add_set(state::PointSet::Table, database().string(), "TAVIsitelist");
    add_point(200, 0, 2);
    const SiteRows rows = site_rows(state_.points, {0, 1}, ui_);
    ASSERT_EQ(rows.count(), 2);
    EXPECT_EQ(rows.rows[0], (std::vector<dao::Value>{1, 0}));
    EXPECT_EQ(rows.rows[1][2], dao::Value(3));
    ASSERT_EQ(rows.unreadable.size(), 1u);
    ASSERT_EQ(said_, rows.unreadable);
    EXPECT_NE(said_[0].find("gone.sqlite"), std::string::npos);
}

TEST_F(SiteSearch, DigitisingEndsWithTheRightButtonAndGrowsAsNeeded) {
    add_set(state::PointSet::Neither, "", "");
    add_point(50, 50);
    DrawnShape shape;
    auto click = [&](int32_t x, int32_t y, int32_t button, int32_t kind) {
        return Interrogate_By_Drawn_polygon(searched_, shape, nullptr, x, y, x, y, button, kind,
                                            ui_);
    };
    struct Case {
        ToolCode tool;
        int32_t shape;
        std::vector<std::pair<int32_t, int32_t>> clicks; // then a right click at (5000, 5000)
        int32_t found;
    };
    const Case cases[] = {
        {ToolCode::PolylineStart, 2, {}, 0},                   // a right click first: no vertex
        {ToolCode::PolylineStart, 2, {{0, 50}}, 0},            // one vertex: no segment
        {ToolCode::PolylineStart, 2, {{0, 0}, {100, 100}}, 1}, // the point lies on the line
        {ToolCode::PolygonStart, 1, {}, 0},                    // a ring of the click alone
        {ToolCode::PolygonStart, 1, {{0, 0}, {100, 0}, {0, 100}}, 1},
    };
    for (const Case &c : cases) {
        state_.interaction.Tool_Code = c.tool;
        for (const auto &[x, y] : c.clicks)
            EXPECT_FALSE(click(x, y, kLeftButton, c.shape));
        if (!c.clicks.empty()) { // the first click moves the tool on to digitising
            EXPECT_EQ(state_.interaction.Tool_Code,
                      c.shape == 1 ? ToolCode::Polygon : ToolCode::Polyline);
        }
        const std::optional<SiteRows> rows = click(5000, 5000, kRightButton, c.shape);
        ASSERT_TRUE(rows);
        EXPECT_EQ(rows->count(), c.found) << c.tool << " after " << c.clicks.size();
        EXPECT_EQ(state_.interaction.Tool_Code, ToolCode::None);
    }
    // A long outline: nothing bounds the vertices.
    state_.interaction.Tool_Code = ToolCode::PolygonStart;
    for (int32_t k = 0; k < 3000; ++k)
        click(k, k % 2 == 0 ? 0 : 1, kLeftButton, 1);
    EXPECT_EQ(shape.count, 3000);
    EXPECT_TRUE(click(0, 0, kRightButton, 1));
    EXPECT_EQ(shape.count, 3001);
}

TEST_F(SiteSearch, ARowsRecordIsTheSiteWhoseFirstFieldHoldsItsNumber) {
    state::DrawingEntry e;
    e.data_file = database().string();
    state_.drawings.add(e);
    const SiteRecordLookup nine = site_record(" 9 ", state_.drawings, ui_);
    ASSERT_TRUE(nine.site.found);
    EXPECT_EQ(nine.site.value("site"), dao::Value("RE0009"));
    // A reference that reads as no number would match the first record: none is shown.
    for (const char *reference : {"abc", "0", "12"}) {
        said_.clear();
        const SiteRecordLookup none = site_record(reference, state_.drawings, ui_);
        EXPECT_FALSE(none.site.found) << reference;
        EXPECT_EQ(said_.size(), 1u) << reference;
    }
    state_.drawings.entry(1).data_file = (temp_.path() / "gone.mdb").string();
    EXPECT_TRUE(site_record("9", state_.drawings, ui_).missing);
}

TEST_F(SiteSearch, AFlashBlinksAtTheRowsPlaceAndLeavesItRed) {
    QImage image(200, 200, QImage::Format_RGB32);
    gdi::DeviceContext dc(image);
    dc.clear(gdi::rgb(255, 255, 255));
    // The square SK starts 400 km east and 300 km north; the view shows 100 m of it.
    state_.view.View_X_Min = 40'000'000 + 1'000'000;
    state_.view.View_Y_Min = 30'000'000 + 2'000'000;
    state_.view.View_Height_Units = 10'000;
    view::Prepare_View(state_.view, dc, 200, 200);
    int events = 0;
    state::UiHooks ui;
    ui.process_events = [&] { ++events; };
    const auto at = Flash_Point(state_.view, dc, "sk 10050 20050", 10050.0, 20050.25, ui,
                                std::chrono::milliseconds(0));
    ASSERT_TRUE(at);
    EXPECT_EQ(*at, std::pair(41'005'000, 32'005'025));
    int32_t px = 0, py = 0;
    view::world_to_pixel(state_.view, at->first, at->second, px, py);
    EXPECT_EQ(dc.get_pixel(px, py), gdi::rgb(255, 0, 0));
    EXPECT_EQ(events, 4);
    EXPECT_FALSE(Flash_Point(state_.view, dc, " ", 1, 1, ui, std::chrono::milliseconds(0)));
}

} // namespace

// After the site list changes under the plot, a search still shows each point's own
// record: bookmarks hold only in the version they were taken in, so the list is plotted
// again (and the status line says so) rather than its rows read at shifted places. On
// SQLite a deletion moves every later row; on a server, an update moves the rows of a
// table without a primary key, and a new row moves the later keys of one with a key.
TEST(SiteSearchChanges, AChangedListIsPlottedAgainAndEachPointShowsItsOwnRecord) {
    struct Case {
        const char *what;
        bool server;
        std::string create, change;
    };
    std::string rows = "INSERT INTO \"TAVIsitelist\" VALUES ";
    for (int reno = 1; reno <= 20; ++reno)
        rows += std::string(reno > 1 ? ", " : "") + "(" + std::to_string(reno) + ", 'RE" +
                std::to_string(reno) + "', 'SK', " + std::to_string(reno * 1000) + ", 500)";
    const Case cases[] = {
        {"SQLite, rows deleted", false,
         "CREATE TABLE TAVIsitelist (RENO INTEGER, site TEXT, NGS TEXT, xcoord INTEGER, "
         "ycoord INTEGER)",
         "DELETE FROM TAVIsitelist WHERE RENO IN (2, 3); VACUUM"},
        {"PostgreSQL without a key, rows updated", true,
         "CREATE TABLE \"TAVIsitelist\" (\"RENO\" integer, site text, \"NGS\" text, xcoord "
         "integer, ycoord integer)",
         "UPDATE \"TAVIsitelist\" SET site = site || ' ' WHERE \"RENO\" IN (2, 3)"},
        {"PostgreSQL with a key, a site without a place added", true,
         "CREATE TABLE \"TAVIsitelist\" (\"RENO\" integer PRIMARY KEY, site text, \"NGS\" "
         "text, xcoord integer, ycoord integer)",
         "INSERT INTO \"TAVIsitelist\" (\"RENO\", site) VALUES (0, 'RE0')"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        testing_support::TempFolder temp;
        std::string location;
        std::string admin;
        const std::string name = "changes_" + std::to_string(::getpid());
        if (c.server) {
            const std::string host = dao_test::server_uri("TAVI_TEST_POSTGRES_DIR");
            if (host.empty()) {
                std::fprintf(stderr, "%s: %s\n", c.what, dao_test::kNoServer);
                continue;
            }
            dao_test::allow_stored_passwords(temp.path());
            dao_test::as_admin("DROP DATABASE IF EXISTS " + name);
            dao_test::as_admin("CREATE DATABASE " + name);
            admin = "postgresql://postgres@/" + name + "?host=" + host;
            dao_test::as_admin_of(admin, c.create + "; " + rows +
                                             "; GRANT SELECT ON ALL TABLES IN SCHEMA public TO "
                                             "tavi");
            location = "postgresql://tavi@/" + name + "?host=" + host;
        } else {
            location = (temp.path() / "sites.sqlite").string();
            sqlite3 *db = nullptr;
            sqlite3_open(location.c_str(), &db);
            dao_test::exec(db, c.create + "; " + rows);
            sqlite3_close(db);
        }
        dao::clear_cache();

        project::AppState state;
        state.settings.Search_Buffer = 200;
        SiteSearchState searched{state.points, state.settings, state.interaction, state.view};
        std::vector<std::string> said;
        const state::UiHooks ui{
            [&](const std::string &m) { said.push_back(m); }, {}, {}, {}, {}, {}, {}};
        sites::Plot_Excavation_Points(state.points, location, "TAVIsitelist", state.view, nullptr,
                                      0, ui);
        ASSERT_EQ(state.points.count(), 20);
        const std::string before = dao::open_site_database(location).version();
        // Where site 15 was plotted.
        int32_t e = 0, n = 0;
        for (int32_t i = 0; i < state.points.count(); ++i)
            if (state.points.points[static_cast<std::size_t>(i)].reference == 15) {
                e = state.points.easting(i);
                n = state.points.northing(i);
            }

        if (c.server) {
            dao_test::as_admin_of(admin, c.change);
            // The server's counts of rows written show the change within a second or so.
            for (int tries = 0; tries < 50 && dao::open_site_database(location).version() == before;
                 ++tries)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } else {
            sqlite3 *db = nullptr;
            sqlite3_open(location.c_str(), &db);
            dao_test::exec(db, c.change);
            sqlite3_close(db);
        }
        said.clear();
        const std::optional<SiteRows> found = Point_Data_Search(searched, e, n, nullptr, ui);
        ASSERT_TRUE(found.has_value());
        ASSERT_EQ(found->count(), 1);
        EXPECT_EQ(found->rows[0].at(kFirstFieldColumn - 1), dao::Value(15));
        EXPECT_EQ(found->rows[0].at(kFirstFieldColumn), dao::Value("RE15"));
        EXPECT_TRUE(found->unreadable.empty());
        ASSERT_EQ(found->notes.size(), 1u);
        EXPECT_NE(found->notes[0].find("changed since it was plotted: plotted again"),
                  std::string::npos)
            << found->notes[0];
        EXPECT_NE(std::find(said.begin(), said.end(), found->notes[0]), said.end());
        if (c.server) {
            dao::clear_cache();
            dao_test::as_admin("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                               "datname = '" +
                               name + "'");
            dao_test::as_admin("DROP DATABASE IF EXISTS " + name);
        }
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

// A search of an Access site list starts the reader process once: the plot reads the
// table, and the records the search finds come from what it read, not from a second
// reader reading the table again.
TEST(SiteSearchAccess, APlotAndASearchStartTheReaderOnce) {
    testing_support::TempFolder temp;
    const fs::path file = temp.path() / "tavidata.mdb";
    fs::copy_file(dao_test::test_data("tavidata.mdb"), file);
    // An old file, as a data disc holds: a file changed within a tick of the clock (two
    // seconds at most) is read afresh by every opening.
    fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::hours(24));
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    const fs::path log = temp.path() / "starts";
    const fs::path wrapper = temp.path() / "reader";
    std::ofstream(wrapper) << "#!/bin/sh\necho started >> '" << log.string() << "'\nexec '"
                           << dao::access_reader_program().string() << "' \"$@\"\n";
    fs::permissions(wrapper, fs::perms::owner_all);
    dao::set_access_reader_program(wrapper);
    dao::clear_cache();

    project::AppState state;
    state.settings.Search_Buffer = 20000; // 200 m
    SiteSearchState searched{state.points, state.settings, state.interaction, state.view};
    sites::Plot_Excavation_Points(state.points, file.string(), "TAVIsitelist", state.view, nullptr,
                                  0, {});
    ASSERT_GT(state.points.count(), 0);
    const std::optional<SiteRows> found =
        Point_Data_Search(searched, state.points.easting(0), state.points.northing(0), nullptr, {});
    dao::set_access_reader_program({});
    ASSERT_TRUE(found.has_value());
    ASSERT_GE(found->count(), 1);
    EXPECT_TRUE(found->unreadable.empty());
    EXPECT_GT(found->rows[0].size(), static_cast<std::size_t>(kFirstFieldColumn + 4));
    std::ifstream in(log);
    int starts = 0;
    for (std::string line; std::getline(in, line);)
        ++starts;
    EXPECT_EQ(starts, 1);
}
