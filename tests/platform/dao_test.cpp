// The database access layer over the site database, each case run on the Access 2000
// file, the Access 2010 file, the SQLite copy and the database on the PostgreSQL test
// server, which hold the same rows.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "dao_server_support.h"
#include "dao_test_support.h"
#include "platform/db/dao.h"
#include "platform/db/dao_cache.h"
#include "platform/db/dao_rows.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using dao::Value;

class DaoTest : public ::testing::TestWithParam<std::string> {
  protected:
    testing_support::TempFolder temp_;
    const fs::path file_ = dao_test::site_database(GetParam(), temp_.path());

    void SetUp() override {
        if (file_.empty())
            GTEST_SKIP() << dao_test::kNoServer;
    }
    bool on_server() const { return GetParam() == "postgresql"; }

    // The record at table position k (from 1), as the fixture's notes count rows.
    static void go_to_row(dao::Recordset &rs, int k) {
        rs.move_first();
        for (int i = 1; i < k; ++i)
            rs.move_next();
    }

    // Expects fn to throw dao::Error naming the file and each of the words.
    template <typename Fn>
    static void expect_error(Fn fn, const fs::path &file, std::vector<std::string> words) {
        try {
            fn();
            ADD_FAILURE() << "no error for " << file;
        } catch (const dao::Error &e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(file.string()), std::string::npos) << message;
            for (const auto &w : words)
                EXPECT_NE(message.find(w), std::string::npos) << message << " lacks " << w;
        }
    }
};

TEST_P(DaoTest, TablesFieldsAndIndexesKeepTheirStoredNames) {
    auto db = dao::Database::open(file_);
    std::vector<std::string> names;
    for (const auto &t : db.tables())
        names.push_back(t.name);
    EXPECT_EQ(names, (std::vector<std::string>{"TAVIsitelist", "RAZ Text", "Era details"}));

    const dao::TableInfo &sites = db.table("tavisitelist");
    std::vector<std::string> fields;
    for (const auto &f : sites.fields)
        fields.push_back(f.name);
    EXPECT_EQ(fields,
              (std::vector<std::string>{"RENO", "SITE NAME", "site", "LOCATION", "NGS", "xcoord",
                                        "ycoord", "LEVEL", "DESCRIPTION", "Date Recorded"}));
    using T = dao::FieldType;
    EXPECT_EQ(sites.fields[0].type, T::Long);
    EXPECT_EQ(sites.fields[1].type, T::Text);
    EXPECT_EQ(sites.fields[1].size, 100);
    EXPECT_EQ(sites.fields[5].type, T::Double);
    EXPECT_EQ(sites.fields[8].type, T::Memo);
    EXPECT_EQ(sites.fields[9].type, T::Date);

    // The index names the lookups ask for, on the fields they order.
    struct Case {
        const char *table, *index;
        int column;
    };
    for (const Case c : {Case{"TAVIsitelist", "RENO", 0}, Case{"RAZ Text", "RAZREF", 1},
                         Case{"Era details", "ERANO", 0}}) {
        const auto &indexes = db.table(c.table).indexes;
        ASSERT_EQ(indexes.size(), 1u) << c.table;
        EXPECT_EQ(indexes[0].name, c.index);
        EXPECT_EQ(indexes[0].columns, std::vector<int>{c.column});
    }
    EXPECT_EQ(db.table("Era details").fields[0].name, "Era No");
}

TEST_P(DaoTest, SeeksReferencesErasAndSiteNumbers) {
    auto db = dao::open_site_database(file_);
    // Names come upper-cased from the project's linked-data description.
    struct Case {
        const char *table, *index;
        Value key;
        const char *field; // empty: no match expected
        Value expected;
    };
    const Case cases[] = {
        {"RAZ TEXT", "RAZREF", "7.12", "Name", "Zone 7.12 of era 7"},
        {"RAZ TEXT", "RAZREF", "7", "Name", "Era 7 overview"},
        {"RAZ TEXT", "razref", "712", "", {}},
        {"ERA DETAILS", "ERANO", "7.", "Title", "Roman Colonia"},
        {"ERA DETAILS", "ERANO", "7", "", {}},
        {"TAVIsitelist", "RENO", 12, "SITE NAME", "Site Church Walk 3"},
        {"TAVIsitelist", "RENO", 12.0, "site", "RE0012"},
        {"TAVIsitelist", "RENO", "12", "RENO", 12},
        {"TAVIsitelist", "RENO", 1234, "SITE NAME", "Site Quay Street 4"},
        {"TAVIsitelist", "RENO", 13, "", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.table) + " " + c.key.to_string());
        auto rs = db.open_table(c.table);
        rs.move_last();
        rs.select_index(c.index);
        rs.move_first();
        const bool found = rs.seek(c.key);
        EXPECT_EQ(found, *c.field != 0);
        EXPECT_EQ(rs.no_match(), !found);
        if (found)
            EXPECT_EQ(rs.value(c.field), c.expected);
        else
            EXPECT_TRUE(rs.eof());
    }
    // A text that is no number cannot be sought in a numeric index.
    auto rs = db.open_table("TAVIsitelist");
    rs.select_index("RENO");
    expect_error([&] { rs.seek("RE12"); }, file_, {"RE12", "RENO"});
}

TEST_P(DaoTest, ValuesKeepTheirKindsNullsAndWholeMemos) {
    auto db = dao::Database::open(file_);
    auto rs = db.open_table("TAVIsitelist");
    ASSERT_EQ(rs.record_count(), 40);
    for (int k = 1; k <= 40; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(rs.value("LEVEL").is_null(), k % 6 == 0);
        EXPECT_EQ(rs.value("NGS").is_null(), k == 5);
        rs.move_next();
    }
    go_to_row(rs, 3);
    EXPECT_EQ(rs.value(0).kind(), Value::Kind::Integer);
    EXPECT_EQ(rs.value(0).to_string(), "12");
    go_to_row(rs, 2);
    EXPECT_EQ(rs.value("xcoord").kind(), Value::Kind::Real);
    EXPECT_EQ(rs.value("xcoord").to_string(), "95754.68");
    EXPECT_EQ(rs.value("Date Recorded"), Value("2000-03-15"));
    go_to_row(rs, 7);
    EXPECT_EQ(rs.value("DESCRIPTION").text(),
              "Quay revetment recorded at Bridge End <with \"markup\" & ampersand>.");
    EXPECT_EQ(rs.values().size(), 10u);

    // The bare era's record has an empty text of boundaries, not a null one.
    auto raz = db.open_table("RAZ Text");
    ASSERT_EQ(raz.record_count(), 99);
    raz.move_last();
    EXPECT_EQ(raz.value("Reference"), Value("7"));
    EXPECT_FALSE(raz.value("Boundaries").is_null());
    EXPECT_EQ(raz.value("Boundaries"), Value(""));
}

TEST_P(DaoTest, NavigatesInIndexAndTableOrder) {
    auto db = dao::Database::open(file_);
    auto rs = db.open_table("TAVIsitelist");
    EXPECT_EQ(rs.value("RENO"), Value(107)); // table order first
    rs.select_index("RENO");
    std::vector<std::int64_t> seen;
    for (; !rs.eof(); rs.move_next())
        seen.push_back(rs.value(0).as_integer());
    ASSERT_EQ(seen.size(), 40u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.front(), 12);
    rs.move_next(); // past the end stays there
    EXPECT_TRUE(rs.eof());
    expect_error([&] { rs.value(0); }, file_, {"no current record"});
    rs.move_last();
    EXPECT_EQ(rs.value(0), Value(seen.back()));
    rs.move_first();
    rs.move_previous();
    EXPECT_TRUE(rs.bof());
    rs.select_index("");
    EXPECT_EQ(rs.value(0), Value(107));
}

TEST_P(DaoTest, BookmarkTakenInOneOpeningFindsTheRecordInAnother) {
    dao::Bookmark mark;
    {
        auto db = dao::Database::open(file_);
        auto rs = db.open_table("TAVIsitelist");
        rs.select_index("RENO");
        ASSERT_TRUE(rs.seek(1234));
        mark = rs.bookmark();
    }
    // Once from the cache, once read afresh from the file; with and without an index.
    for (const bool afresh : {false, true}) {
        if (afresh)
            dao::clear_cache();
        auto db = dao::Database::open(file_);
        auto rs = db.open_table("TAVIsitelist");
        rs.set_bookmark(mark);
        EXPECT_EQ(rs.value("RENO"), Value(1234));
        rs.select_index("RENO");
        rs.set_bookmark(mark);
        EXPECT_EQ(rs.value("site"), Value("RE1234"));
    }
    auto db = dao::Database::open(file_);
    auto rs = db.open_table("TAVIsitelist");
    expect_error([&] { rs.set_bookmark(dao::Bookmark{40}); }, file_, {"bookmark"});
}

TEST_P(DaoTest, SomeFieldsAndFetchedRecordsAreTheWholeTablesOwn) {
    // Named in any order and case, kept in table order; then fetched records.
    struct Case {
        std::vector<std::string> asked, kept;
    };
    const std::vector<Case> cases{
        {{"NGS", "xcoord", "ycoord", "LEVEL"}, {"NGS", "xcoord", "ycoord", "LEVEL"}},
        {{"date recorded", "RENO", "DESCRIPTION"}, {"RENO", "DESCRIPTION", "Date Recorded"}},
        {{}, {}},
    };
    const std::vector<dao::Bookmark> marks{{39}, {0}, {17}, {17}};
    for (const bool afresh : {false, true})
        for (const Case &c : cases) {
            if (afresh)
                dao::clear_cache();
            auto db = dao::Database::open(file_);
            auto some = db.open_table("TAVIsitelist", c.asked);
            std::vector<std::string> kept;
            for (const auto &f : some.fields())
                kept.push_back(f.name);
            EXPECT_EQ(kept, c.kept);
            // Records after the first fetched alone, before the whole table is read.
            std::vector<std::vector<Value>> fetched = db.records("TAVIsitelist", marks);
            auto all = db.open_table("TAVIsitelist");
            ASSERT_EQ(some.record_count(), all.record_count());
            for (; !all.eof(); all.move_next(), some.move_next()) {
                EXPECT_EQ(some.bookmark(), all.bookmark());
                for (const std::string &name : c.kept)
                    EXPECT_EQ(some.value(name), all.value(name)) << name;
            }
            ASSERT_EQ(fetched.size(), marks.size());
            for (std::size_t i = 0; i < marks.size(); ++i) {
                all.set_bookmark(marks[i]);
                EXPECT_EQ(fetched[i], all.values()) << marks[i].row;
            }
            expect_error([&] { some.select_index("RENO"); }, file_, {"RENO"});
            expect_error([&] { db.records("TAVIsitelist", {{40}}); }, file_, {"bookmark"});
            expect_error(
                [&] {
                    db.open_table("TAVIsitelist", {"RENO", "nothing"});
                },
                file_, {"nothing"});
        }
}

TEST_P(DaoTest, ReadOnlyMarkedFileIsOpenedExclusively) {
    if (on_server())
        GTEST_SKIP() << "a database on a server has no file to mark read-only";
    fs::permissions(file_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    {
        auto db = dao::open_site_database(file_);
        EXPECT_EQ(db.lock_mode(), dao::LockMode::Exclusive);
        expect_error([&] { dao::Database::open(file_); }, file_, {"in use"});
    }
    fs::permissions(file_, fs::perms::owner_write, fs::perm_options::add);
    auto a = dao::open_site_database(file_);
    auto b = dao::open_site_database(file_);
    EXPECT_EQ(a.lock_mode(), dao::LockMode::Shared);
    EXPECT_EQ(b.lock_mode(), dao::LockMode::Shared);
    expect_error([&] { dao::Database::open(file_, true); }, file_, {"in use"});
}

// A lock never makes a read fail: any lock error but "held by another" opens the file
// without its lock, and on SMB and CIFS mounts (mandatory locks) none is even tried. Only
// another opening's lock keeps the file from being opened.
TEST_P(DaoTest, ALockNeverMakesAReadFail) {
    if (on_server())
        GTEST_SKIP() << "a database on a server is locked by its server, not by us";
    static int error = 0;             // the stand-in lock's error; 0: the system's lock
    static long file_system = 0xEF53; // the stand-in file system (ext4)
    static int lock_calls = 0;
    const dao::FileLocking before = dao::set_file_locking({[](int fd, int operation) {
                                                               ++lock_calls;
                                                               if (error == 0)
                                                                   return ::flock(fd, operation);
                                                               errno = error;
                                                               return -1;
                                                           },
                                                           [](int) { return file_system; }});
    using M = dao::LockMode;
    struct Case {
        const char *what;
        int error;
        long file_system;
        bool opens;
        bool tried;
    } cases[] = {
        {"NFS: exclusive needs a descriptor open for writing", EBADF, 0xEF53, true, true},
        {"no locks on this file system", ENOLCK, 0xEF53, true, true},
        {"locks not supported (ENOTSUP)", EOPNOTSUPP, 0xEF53, true, true},
        {"lock call refused", EINVAL, 0xEF53, true, true},
        {"input/output error", EIO, 0xEF53, true, true},
        {"permission denied", EACCES, 0xEF53, true, true},
        {"held by another opening", EWOULDBLOCK, 0xEF53, false, true},
        {"CIFS mount", 0, 0xFF534D42, true, false},
        {"SMB2 mount", 0, 0xFE534D42, true, false},
        {"SMB mount", 0, 0x517B, true, false},
    };
    for (const bool exclusive : {false, true})
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.what) + (exclusive ? ", exclusive" : ", shared"));
            error = c.error;
            file_system = c.file_system;
            lock_calls = 0;
            if (!c.opens) {
                expect_error([&] { dao::Database::open(file_, exclusive); }, file_, {"in use"});
                continue;
            }
            auto db = dao::Database::open(file_, exclusive);
            EXPECT_EQ(db.lock_mode(), M::None);
            EXPECT_EQ(lock_calls > 0, c.tried);
            auto rs = db.open_table("TAVIsitelist");
            EXPECT_EQ(rs.record_count(), 40);
            // Without a lock of its own, it keeps no one else out.
            error = 0;
            file_system = 0xEF53;
            EXPECT_EQ(dao::Database::open(file_, true).lock_mode(), M::Exclusive);
        }
    dao::set_file_locking(before);
}

TEST_P(DaoTest, MissingThingsAreErrorsNamingFileAndThing) {
    expect_error([&] { dao::Database::open(temp_.path() / "none.mdb"); }, temp_.path() / "none.mdb",
                 {"not found"});
    auto db = dao::Database::open(file_);
    expect_error([&] { db.open_table("Sites"); }, file_, {"\"Sites\"", "not found"});
    auto rs = db.open_table("RAZ Text");
    expect_error([&] { rs.select_index("REFIDX"); }, file_, {"REFIDX", "RAZ Text"});
    expect_error([&] { rs.value("Period"); }, file_, {"\"Period\"", "not found"});
    expect_error([&] { rs.seek("7.1"); }, file_, {"index"});
    expect_error([&] { db.open_query("Sites by name"); }, file_, {"Sites by name"});
    db.close();
    expect_error([&] { rs.move_next(); }, file_, {"closed"});
}

TEST_P(DaoTest, DamagedFilesAreErrorsNotCrashes) {
    if (on_server())
        GTEST_SKIP() << "a server reads its own files; its failures are DaoServer's cases";
    std::string bytes;
    {
        std::ifstream in(file_, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::mt19937 rng(7);
    std::string noise(bytes.size(), '\0');
    for (char &c : noise)
        c = static_cast<char>(rng());
    std::string scrambled = bytes; // the header kept, the pages behind it overwritten
    for (std::size_t i = 8192; i < scrambled.size(); ++i)
        scrambled[i] = static_cast<char>(rng());
    const std::pair<const char *, std::string> cases[] = {
        {"half.db", bytes.substr(0, bytes.size() / 2 / 4096 * 4096)},
        {"pages.db", bytes.substr(0, 3 * 4096)},
        {"catalogue.db", bytes.substr(0, 12 * 4096)},
        {"odd.db", bytes.substr(0, bytes.size() - 100)},
        {"noise.db", noise},
        {"scrambled.db", scrambled},
        {"empty.db", ""},
    };
    for (const auto &[name, content] : cases) {
        SCOPED_TRACE(name);
        const fs::path p = temp_.write(name, content);
        // The error may come at opening or when the rows are read; it must come.
        expect_error(
            [&] {
                auto db = dao::Database::open(p);
                for (const auto &t : db.tables()) {
                    auto rs = db.open_table(t.name);
                    for (; !rs.eof(); rs.move_next())
                        rs.values();
                }
                if (db.tables().size() < 3)
                    db.table("Era details");
            },
            p, {});
    }
}

TEST_P(DaoTest, EngineIsChosenByTheFirstBytesNotTheName) {
    if (on_server()) {
        // A server by its URI's scheme: either of libpq's, in any case.
        const std::string uri = file_.string();
        const std::string rest = uri.substr(uri.find("://"));
        for (const std::string scheme : {"postgresql", "postgres", "PostgreSQL"}) {
            auto db = dao::Database::open(scheme + rest);
            EXPECT_EQ(db.engine(), dao::Engine::PostgreSQL) << scheme;
            EXPECT_EQ(db.open_table("TAVIsitelist").record_count(), 40);
        }
        return;
    }
    const fs::path renamed = temp_.path() / (GetParam() == "sqlite" ? "tavidata.mdb" : "sites.db");
    fs::copy_file(file_, renamed);
    auto db = dao::Database::open(renamed);
    EXPECT_EQ(db.engine(), GetParam() == "sqlite" ? dao::Engine::SQLite : dao::Engine::Access);
    EXPECT_EQ(db.open_table("TAVIsitelist").record_count(), 40);
}

TEST_P(DaoTest, StoredQueriesRunByAbsolutePosition) {
    auto db = dao::Database::open(file_);
    const auto queries = db.queries();
    if (GetParam() != "sqlite" && !on_server()) {
        // libmdb cannot run Access saved queries: the test files hold none to try.
        if (queries.empty())
            GTEST_SKIP() << "no saved query in the Access test file";
        expect_error([&] { db.open_query(queries.front()); }, file_, {"cannot be run"});
        return;
    }
    ASSERT_EQ(queries, std::vector<std::string>{"Sites by number"});
    auto q = db.open_query("SITES BY NUMBER");
    EXPECT_TRUE(q.is_query());
    EXPECT_EQ(q.record_count(), 40);
    EXPECT_EQ(q.fields()[1].name, "SITE NAME");
    const std::pair<int, std::int64_t> cases[] = {{0, 12}, {1, 107}, {39, 1234}};
    for (const auto &[position, reno] : cases) {
        q.set_absolute_position(position);
        EXPECT_EQ(q.value("RENO"), Value(reno));
        EXPECT_EQ(q.absolute_position(), position);
    }
    expect_error([&] { q.set_absolute_position(40); }, file_, {"position 40"});
}

TEST_P(DaoTest, ReadingNeverWritesBesideOrIntoTheFile) {
    if (on_server()) {
        // While it reads, the opening holds no transaction id (it has written and
        // locked no row) and no lock but the one that only keeps a table from being
        // dropped meanwhile.
        dao::clear_cache();
        auto db = dao::Database::open(
            dao_test::with_parameter(file_.string(), "application_name=tavi-reading"));
        for (const auto &t : db.tables())
            db.open_table(t.name, dao::Access::DenyWrite).move_last();
        const std::string reader =
            "(SELECT pid FROM pg_stat_activity WHERE application_name = 'tavi-reading')";
        EXPECT_EQ(dao_test::as_admin("SELECT count(*) FROM pg_stat_activity WHERE pid IN " +
                                     reader + " AND backend_xid IS NULL"),
                  std::vector<std::string>{"1"});
        EXPECT_EQ(dao_test::as_admin("SELECT DISTINCT mode FROM pg_locks WHERE pid IN " + reader +
                                     " AND locktype = 'relation' ORDER BY 1"),
                  std::vector<std::string>{"AccessShareLock"});
        return;
    }
    const auto before = fs::last_write_time(file_);
    const auto size = fs::file_size(file_);
    {
        dao::clear_cache();
        auto db = dao::open_site_database(file_);
        for (const auto &t : db.tables()) {
            auto rs = db.open_table(t.name, dao::Access::DenyWrite);
            rs.move_last();
        }
    }
    EXPECT_EQ(fs::last_write_time(file_), before);
    EXPECT_EQ(fs::file_size(file_), size);
    std::set<std::string> names;
    for (const auto &e : fs::directory_iterator(temp_.path()))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, std::set<std::string>{file_.filename().string()});
}

// The cache must not hide a change to the file.
TEST(DaoCache, ChangedFileIsReadAfresh) {
    testing_support::TempFolder temp;
    const fs::path file = dao_test::site_database("sqlite", temp.path());
    {
        auto db = dao::Database::open(file);
        EXPECT_EQ(db.open_table("Era details").record_count(), 7);
    }
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    dao_test::exec(db, "INSERT INTO \"Era details\" VALUES ('12.', 'Modern', 'AD 1945', NULL)");
    sqlite3_close(db);
    auto again = dao::Database::open(file);
    auto rs = again.open_table("Era details");
    EXPECT_EQ(rs.record_count(), 8);
    rs.select_index("ERANO");
    ASSERT_TRUE(rs.seek("12."));
    EXPECT_TRUE(rs.value("latest date").is_null());
}

// A file is known by one identity, as the drawings held between redraws are: the change
// time tells a rewrite whose modification time was put back, and a look taken within a
// tick of the file's clock (racy) is trusted by the opening that took it, not the next.
TEST(DaoCache, AStateSeenWithinATickOfItsClockIsReadAgainByTheNextOpening) {
    dao::clear_cache();
    int loads = 0;
    const auto load = [&] {
        ++loads;
        return dao::Catalog{};
    };
    files::Identity seen{.size = 4096, .modified_ns = 5, .changed_ns = 5, .device = 1, .inode = 2};
    seen.racy = true;
    seen.look = 1;
    const auto look = [&](files::Identity id, uint64_t number) {
        id.look = number;
        dao::cached_catalog("racy.sqlite", id, load);
        return loads;
    };
    EXPECT_EQ(look(seen, 1), 1);
    EXPECT_EQ(look(seen, 1), 1); // the same opening
    EXPECT_EQ(look(seen, 2), 2);
    seen.racy = false; // the clock has moved on since
    EXPECT_EQ(look(seen, 3), 3);
    EXPECT_EQ(look(seen, 4), 3);
    seen.changed_ns = 6; // written again, its modification time put back
    EXPECT_EQ(look(seen, 5), 4);
    dao::clear_cache();
}

TEST(DaoCache, KeepsWithinItsLimit) {
    testing_support::TempFolder temp;
    const fs::path mdb = dao_test::site_database("mdb", temp.path());
    const fs::path accdb = dao_test::site_database("accdb", temp.path());
    const std::size_t limit = dao::cache_limit();
    dao::clear_cache();
    dao::set_cache_limit(1);
    std::size_t one_table = 0;
    for (const fs::path &file : {mdb, accdb}) {
        auto db = dao::Database::open(file);
        auto rs = db.open_table("RAZ Text");
        rs.select_index("RAZREF");
        // What is in use stays, however small the limit; the rest goes.
        if (one_table == 0)
            one_table = dao::cache_bytes();
        EXPECT_GT(dao::cache_bytes(), 0u);
        EXPECT_LT(dao::cache_bytes(), one_table * 3 / 2);
        EXPECT_TRUE(rs.seek("11.14"));
    }
    auto db = dao::Database::open(mdb);
    EXPECT_EQ(db.open_table("Era details").record_count(), 7);
    dao::set_cache_limit(limit);
}

// Access keeps dates as days since 30 December 1899, the fraction being the time of day
// (also before that day, where the day counts down and the time still counts up).
TEST(DaoDates, AccessDaysAndStoredDatesInIsoForm) {
    const std::pair<double, const char *> days[] = {
        {0.0, "1899-12-30"},
        {36563.0, "2000-02-07"},
        {1.5, "1899-12-31 12:00:00"},
        {-1.25, "1899-12-29 06:00:00"},
        {36563.99999999, "2000-02-08"}, // a hair before midnight rounds to it
        {-657434.0, "0100-01-01"},
        {2958465.5, "9999-12-31 12:00:00"},
    };
    for (const auto &[d, iso] : days)
        EXPECT_EQ(dao::access_date_text(d), std::optional<std::string>(iso)) << d;
    EXPECT_EQ(dao::access_date_text(-657435.0), std::nullopt);
    EXPECT_EQ(dao::access_date_text(std::nan("")), std::nullopt);

    EXPECT_EQ(dao::iso_date_text("2000-02-07T10:11:12"), "2000-02-07 10:11:12");
    EXPECT_EQ(dao::iso_date_text("2000-02-07 00:00:00"), "2000-02-07");
    EXPECT_EQ(dao::iso_date_text("c. 8000 BC"), "c. 8000 BC");
}

// What an SQLite table can hold beyond the site database: accented texts, yes/no
// fields, blobs, a descending index, a table without rowids.
TEST(DaoSqlite, AnyTableReadsWithItsKindsAndOrders) {
    testing_support::TempFolder temp;
    const fs::path file = temp.path() / "other.sqlite";
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    dao_test::exec(db, "CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(20), flag BOOLEAN, "
                       "note TEXT, data BLOB);"
                       "CREATE INDEX byname ON t (name DESC);"
                       "INSERT INTO t VALUES (1, 'Bob', 1, '', x'00ff'), (2, 'bob', 0, NULL, NULL),"
                       "(3, 'zed', NULL, 'z', NULL), (4, 'Apple', 5, 'a', NULL),"
                       "(5, 'Émile', 0, 'e', NULL);"
                       "CREATE TABLE w (k TEXT PRIMARY KEY, v INTEGER) WITHOUT ROWID;"
                       "INSERT INTO w VALUES ('b', 2), ('a', 1);");
    sqlite3_close(db);

    auto d = dao::Database::open(file);
    EXPECT_EQ(d.table("t").fields[2].type, dao::FieldType::Boolean);
    auto rs = d.open_table("t");
    EXPECT_EQ(rs.value("note"), Value("")); // empty, not null
    EXPECT_EQ(rs.value("flag"), Value(-1)); // yes is -1, as in Access
    EXPECT_EQ(rs.value("data"), Value::binary(std::string("\0\xff", 2)));
    rs.move_next();
    EXPECT_TRUE(rs.value("note").is_null());
    EXPECT_EQ(rs.value("flag"), Value(0));

    rs.select_index("BYNAME");
    std::vector<std::int64_t> order;
    for (; !rs.eof(); rs.move_next())
        if (rs.value("id").as_integer() < 5)
            order.push_back(rs.value("id").as_integer());
    EXPECT_EQ(order, (std::vector<std::int64_t>{3, 1, 2, 4})); // Bob = bob, in table order
    ASSERT_TRUE(rs.seek("éMILE"));
    EXPECT_EQ(rs.value("id"), Value(5));

    auto w = d.open_table("w");
    EXPECT_EQ(w.value("k"), Value("a"));
}

// What the user is told when the server is not there, refuses the user, lacks what is
// asked for or drops the connection part way: one line naming the server and the
// database, never the password.
TEST(DaoServer, FailuresNameServerAndDatabaseButNeverThePassword) {
    const std::string uri = dao_test::server_uri();
    if (uri.empty())
        GTEST_SKIP() << dao_test::kNoServer;
    const std::string host = dao_test::server_uri("TAVI_TEST_POSTGRES_DIR");
    const std::string secret = "not-the-password";
    const std::string dropped = dao_test::with_parameter(uri, "application_name=tavi-dropped");
    struct Case {
        const char *what;
        std::string location;
        std::function<void(dao::Database &)> then; // after opening
        std::vector<std::string> words;
    };
    const Case cases[] = {
        // Nothing answers at that address, as when the server is stopped.
        {"server stopped",
         "postgresql://tavi@/tavidata?host=" + host + "&port=1",
         {},
         {"cannot connect to database \"tavidata\" on server " + host, "No such file"}},
        {"wrong password",
         "postgresql://tavi:" + secret + "@/tavidata?host=" + host,
         {},
         {"postgresql://tavi:*****@/tavidata", "password authentication failed"}},
        {"wrong password as a parameter",
         dao_test::with_parameter(uri, "password=" + secret),
         {},
         {"password=*****", "password authentication failed"}},
        {"no such database",
         "postgresql://tavi@/elsewhere?host=" + host,
         {},
         {"database \"elsewhere\" does not exist"}},
        {"missing table",
         uri,
         [](dao::Database &db) { db.open_table("Sites"); },
         {"table \"Sites\" not found"}},
        {"missing index",
         uri,
         [](dao::Database &db) { db.open_table("RAZ Text").select_index("REFIDX"); },
         {"no index named \"REFIDX\""}},
        {"connection dropped part way",
         dropped,
         [](dao::Database &db) {
             dao_test::as_admin("SELECT pg_terminate_backend(pid, 10000) FROM pg_stat_activity "
                                "WHERE application_name = 'tavi-dropped'");
             db.open_table("TAVIsitelist");
         },
         {"connection to the server was lost while reading table \"TAVIsitelist\""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        dao::clear_cache();
        try {
            // Opened as given: a project file could not hold a password (see
            // dao_server_safety_test.cpp).
            auto db = dao::Database::open(c.location);
            if (c.then)
                c.then(db);
            ADD_FAILURE() << "no error";
        } catch (const dao::Error &e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind(dao::shown_location(c.location) + ": ", 0), 0u) << message;
            EXPECT_EQ(message.find(secret), std::string::npos) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
            for (const auto &w : c.words)
                EXPECT_NE(message.find(w), std::string::npos) << message << " lacks " << w;
        }
    }
}

// Table, field and index names come from project files and the server; whatever they
// hold, they are only ever names.
TEST(DaoServer, HostileNamesStayNames) {
    const std::string uri = dao_test::server_uri();
    if (uri.empty())
        GTEST_SKIP() << dao_test::kNoServer;
    const std::string table = "x\"; DROP TABLE \"TAVIsitelist\"; --";
    auto db = dao::Database::open(dao_test::with_parameter(uri, "options=-csearch_path%3Dodd"));
    ASSERT_EQ(db.tables().size(), 1u);
    EXPECT_EQ(db.tables()[0].name, table);
    auto rs = db.open_table(table);
    EXPECT_EQ(rs.record_count(), 2);
    EXPECT_EQ(rs.fields()[0].name, "id\")--");
    rs.select_index("K\"; --");
    ASSERT_TRUE(rs.seek(1));
    EXPECT_EQ(rs.value("name"), Value("one"));
    EXPECT_THROW(db.open_table("TAVIsitelist\"; --"), dao::Error);
    EXPECT_EQ(dao::Database::open(uri).open_table("TAVIsitelist").record_count(), 40);
}

// A connection kept between openings that the server has ended meanwhile (idle too
// long, or the server restarted) is replaced without the user noticing; one dropped
// while an opening reads is not kept.
TEST(DaoServer, ConnectionEndedWhileIdleIsReplaced) {
    const std::string uri = dao_test::server_uri();
    if (uri.empty())
        GTEST_SKIP() << dao_test::kNoServer;
    const std::string location = dao_test::with_parameter(uri, "application_name=tavi-idle");
    const std::string end_it = "SELECT pg_terminate_backend(pid, 10000) FROM pg_stat_activity "
                               "WHERE application_name = 'tavi-idle'";
    EXPECT_EQ(dao::Database::open(location).tables().size(), 3u);
    EXPECT_EQ(dao_test::as_admin(end_it), std::vector<std::string>{"t"}); // it was kept
    EXPECT_EQ(dao::Database::open(location).tables().size(), 3u);
    {
        auto db = dao::Database::open(location);
        dao_test::as_admin(end_it);
        dao::clear_cache();
        EXPECT_THROW(db.open_table("Era details"), dao::Error);
    }
    EXPECT_EQ(dao::Database::open(location).open_table("Era details").record_count(), 7);
}

// The cache must not hide a change made on the server. The server counts the rows
// written to each table; the next opening sees the new counts once the writer's
// statistics are in, normally at once, at most about a second later. A table with a
// primary key is in the key's order, whatever order the server keeps its rows in.
TEST(DaoServer, ChangesOnTheServerAreReadAfreshInKeyOrder) {
    const std::string uri = dao_test::server_uri();
    if (uri.empty())
        GTEST_SKIP() << dao_test::kNoServer;
    const std::string t = "changes_" + std::to_string(::getpid());
    dao_test::as_admin("CREATE SCHEMA " + t + "; CREATE TABLE " + t +
                       ".t (k integer PRIMARY KEY, "
                       "v text); INSERT INTO " +
                       t +
                       ".t VALUES (2, 'b'), (1, 'a'); GRANT USAGE "
                       "ON SCHEMA " +
                       t + " TO tavi; GRANT SELECT ON " + t + ".t TO tavi");
    const std::string location = dao_test::with_parameter(uri, "options=-csearch_path%3D" + t);
    // The count, and the first record's value.
    using Seen = std::pair<std::int64_t, std::string>;
    const auto read = [&] {
        auto db = dao::Database::open(location);
        auto rs = db.open_table("t");
        return Seen(rs.record_count(), rs.value("v").to_string());
    };
    EXPECT_EQ(read(), Seen(2, "a"));
    // The changed row goes to the end of the server's order.
    dao_test::as_admin("UPDATE " + t + ".t SET v = 'c' WHERE k = 1; INSERT INTO " + t +
                       ".t VALUES (3, 'd')");
    Seen seen;
    for (int tries = 0; tries < 50 && (seen = read()).first != 3; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(seen, Seen(3, "c"));
    dao_test::as_admin("DROP SCHEMA " + t + " CASCADE");
}

INSTANTIATE_TEST_SUITE_P(Engines, DaoTest,
                         ::testing::Values("mdb", "accdb", "sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
