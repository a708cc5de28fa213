// Every program answers --help and --version in the usual form, and a wrong argument
// with one line and a failure, whatever the program.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/dao_server_support.h"
#include "platform/dao_test_support.h"
#include "support/output_kinds.h"
#include "support/temp_folder.h"

namespace {

const std::filesystem::path kBin = std::filesystem::path(TAVI_BUILD_DIR) / "bin";

struct Answer {
    int code = -1;
    std::string out, err;
};

Answer run(const std::string &program, const QStringList &args) {
    QProcess p;
    // No display: the answers must not need one.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString((kBin / program).string()), args);
    p.waitForFinished(60000);
    return Answer{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                  p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

} // namespace

TEST(CommandLine, EveryProgramAnswersHelpVersionAndAWrongArgument) {
    std::vector<const char *> programs = {"tavi-render", "tavi-convert", "tavi-search"};
#ifdef TAVI_WITH_VIEWER
    programs.push_back("tavi");
#endif
#ifdef TAVI_WITH_LAUNCHER
    programs.push_back("brevo");
#endif
    for (const char *program : programs) {
        SCOPED_TRACE(program);
        const Answer help = run(program, {"--help"});
        EXPECT_EQ(help.code, 0) << help.err;
        EXPECT_EQ(help.out.rfind(std::string("Usage: ") + program + " ", 0), 0u) << help.out;
        EXPECT_NE(help.out.find("--version"), std::string::npos);

        const Answer version = run(program, {"--version"});
        EXPECT_EQ(version.code, 0) << version.err;
        EXPECT_EQ(version.out, std::string(program) + " " TAVI_VERSION "\n");

        const Answer wrong = run(program, {"--no-such-option"});
        EXPECT_EQ(wrong.code, 2);
        EXPECT_EQ(wrong.err.rfind(std::string(program) + ": ", 0), 0u) << wrong.err;
        EXPECT_EQ(std::count(wrong.err.begin(), wrong.err.end(), '\n'), 1) << wrong.err;
    }
}

// tavi-search on bad values or a damaged site database: one line naming what is wrong and
// exit code 2, whichever way the Access file was damaged (libmdb's own complaints stay in
// the reader process).
TEST(CommandLine, TaviSearchRefusesBadValuesAndDamagedDatabasesInOneLine) {
    namespace fs = std::filesystem;
    testing_support::TempFolder temp;
    const fs::path data = temp.path() / "data";
    fs::copy(fs::path(TAVI_BUILD_DIR) / "share" / "tavi" / "data", data,
             fs::copy_options::recursive);
    std::ifstream in(fs::path(TAVI_SOURCE_DIR) / "tests" / "data" / "tavidata.mdb",
                     std::ios::binary);
    const std::string access{std::istreambuf_iterator<char>(in), {}};
    std::string flipped = access, noise(access.size(), '\0');
    // The bytes of the catalogue's table definition (page 2 of 4096 bytes) inverted.
    for (std::size_t i = 8192; i < 8192 + 64; ++i)
        flipped[i] = static_cast<char>(~flipped[i]);
    std::mt19937 random(7);
    for (char &c : noise)
        c = static_cast<char>(random());

    struct Case {
        const char *what;
        std::string database; // empty: the sample's own
        QStringList args;
        const char *said;
    };
    const QStringList point = {"--point", "496400,370000"};
    const Case cases[] = {
        {"off the grid", "", {"--point", "-5,370000"}, "not E,N in metres"},
        {"a word", "", {"--polyline", "496400,370000;east"}, "not E,N in metres"},
        {"two vertices for a polygon", "", {"--polygon", "1,1;2,2"}, "at least 3 vertices"},
        {"a buffer too wide", "", {"--point", "496400,370000", "--buffer", "250"}, "1 to 100"},
        {"a title without a report", "", {"--point", "496400,370000", "--title", "T"}, "--report"},
        {"rows and report both to standard output",
         "",
         {"--point", "496400,370000", "--out", "-", "--report", "-"},
         "both be standard output"},
        {"rows and report to one file",
         "",
         {"--point", "496400,370000", "--report",
          QString::fromStdString((data / "found.xml").string())},
         "name the same file"},
        {"rows and report to one file by two names",
         "",
         {"--point", "496400,370000", "--report",
          QString::fromStdString((data / "." / ".." / "data" / "found.xml").string())},
         "name the same file"},
        {"a format of no table", "", {"--point", "496400,370000", "--format", "pdf"}, "xls, html"},
        {"cut in its catalogue", access.substr(0, 4096), point, "catalogue of tables"},
        {"cut part way through a page", access.substr(0, 100000), point, "cut short"},
        {"catalogue bytes flipped", flipped, point, "catalogue of tables"},
        {"random bytes", noise, point, "not an Access or SQLite database"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.database.empty())
            std::ofstream(data / "tavidata.sqlite", std::ios::binary | std::ios::trunc)
                << c.database;
        const Answer a =
            run("tavi-search", QStringList{"--data", QString::fromStdString(data.string()), "--out",
                                           QString::fromStdString((data / "found.xml").string())} +
                                   c.args);
        EXPECT_EQ(a.code, 2);
        EXPECT_EQ(a.err.rfind("tavi-search: ", 0), 0u) << a.err;
        EXPECT_NE(a.err.find(c.said), std::string::npos) << a.err;
        EXPECT_EQ(std::count(a.err.begin(), a.err.end(), '\n'), 1) << a.err;
    }
}

// The same searches give the same rows whichever engine holds the site database: the
// Access test file, its SQLite copy, and the same tables on the PostgreSQL test server,
// named in the linked-data description by the server's URI. A server that does not
// answer is one line and exit code 2, as a damaged file is.
TEST(CommandLine, TaviSearchGivesTheSameRowsOnEveryEngine) {
    namespace fs = std::filesystem;
    testing_support::TempFolder temp;
    const fs::path data = temp.path() / "data";
    fs::copy(fs::path(TAVI_BUILD_DIR) / "share" / "tavi" / "data", data,
             fs::copy_options::recursive);
    fs::remove(data / "tavidata.sqlite"); // the sample's own, in the copy's place
    const std::string server = dao_test::server_uri();
    std::vector<std::pair<std::string, std::string>> engines = {
        {"Access", dao_test::site_database("mdb", data).filename().string()},
        {"SQLite", dao_test::site_database("sqlite", data).filename().string()},
    };
    if (!server.empty()) {
        engines.emplace_back("PostgreSQL", server);
        dao_test::allow_stored_passwords(temp.path()); // the programs run inherit it
    }
    const auto search = [&](const std::string &database, const QStringList &args) {
        std::ofstream(data / "prehistoric.sup", std::ios::trunc)
            << "2\n\"" << database << "\"\n\"RAZ Text\"\nRAZREF\n\"Era details\"\nERANO\n";
        const fs::path out = data / "found.xml";
        fs::remove(out);
        const Answer a =
            run("tavi-search", QStringList{"--data", QString::fromStdString(data.string()), "--out",
                                           QString::fromStdString(out.string())} +
                                   args);
        std::ifstream in(out, std::ios::binary);
        return std::pair(a, std::string{std::istreambuf_iterator<char>(in), {}});
    };

    const QStringList searches[] = {
        {"--polygon", "400000,300000;500000,300000;500000,400000;400000,400000"},
        {"--point", "495754,368149", "--buffer", "100"},
        {"--polyline", "493531,373177;493791,373159", "--buffer", "100"},
    };
    const char *rows[] = {"39 rows found\n", "1 row found\n", "2 rows found\n"};
    for (std::size_t k = 0; k < std::size(searches); ++k) {
        SCOPED_TRACE(searches[k].join(' ').toStdString());
        std::string first;
        for (const auto &[engine, database] : engines) {
            SCOPED_TRACE(engine);
            const auto [answer, found] = search(database, searches[k]);
            EXPECT_EQ(answer.code, 0) << answer.err;
            EXPECT_EQ(answer.out, rows[k]);
            if (first.empty())
                first = found;
            EXPECT_EQ(found, first);
        }
    }

    if (server.empty())
        GTEST_SKIP() << dao_test::kNoServer;
    const std::string host = dao_test::server_uri("TAVI_TEST_POSTGRES_DIR");
    const auto [stopped, nothing] =
        search("postgresql://tavi@/tavidata?host=" + host + "&port=1", searches[1]);
    EXPECT_EQ(stopped.code, 2);
    EXPECT_EQ(stopped.err.rfind("tavi-search: postgresql://tavi@/tavidata?host=", 0), 0u)
        << stopped.err;
    EXPECT_NE(stopped.err.find("cannot connect"), std::string::npos) << stopped.err;
    EXPECT_EQ(std::count(stopped.err.begin(), stopped.err.end(), '\n'), 1) << stopped.err;

    // Records that cannot be read after the plot (here the role may read only the fields
    // the plot places a point by) are a failure naming the server, not rows with only
    // DataRef and RecPos.
    const std::string db = "fields_" + std::to_string(::getpid());
    dao_test::as_admin("DROP DATABASE IF EXISTS " + db);
    dao_test::as_admin("CREATE DATABASE " + db);
    dao_test::as_admin_of(
        "postgresql://postgres@/" + db + "?host=" + host,
        "CREATE TABLE \"TAVIsitelist\" (\"RENO\" integer PRIMARY KEY, site text, \"NGS\" text, "
        "xcoord double precision, ycoord double precision, \"LEVEL\" double precision, "
        "\"DESCRIPTION\" text); INSERT INTO \"TAVIsitelist\" VALUES (1, 'RE1', NULL, "
        "495754, 368149, NULL, 'secret notes'); GRANT SELECT (\"RENO\", \"NGS\", xcoord, ycoord, "
        "\"LEVEL\") ON \"TAVIsitelist\" TO tavi");
    const auto [unread, partial] =
        search("postgresql://tavi@/" + db + "?host=" + host, searches[1]);
    EXPECT_EQ(unread.code, 2) << unread.out;
    EXPECT_EQ(unread.err.rfind("tavi-search: Site records of postgresql://tavi@/" + db, 0), 0u)
        << unread.err;
    EXPECT_NE(unread.err.find("permission denied"), std::string::npos) << unread.err;
    dao_test::as_admin("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" +
                       db + "'");
    dao_test::as_admin("DROP DATABASE IF EXISTS " + db);

    // A password written in the project is refused, and not shown.
    const auto [written, none] =
        search("postgresql://tavi:secret@/tavidata?host=" + host, searches[1]);
    EXPECT_EQ(written.code, 2);
    EXPECT_EQ(written.err.rfind("tavi-search: postgresql://tavi:*****@/tavidata?host=", 0), 0u)
        << written.err;
    EXPECT_NE(written.err.find("refused"), std::string::npos) << written.err;
    EXPECT_EQ(written.err.find("secret"), std::string::npos) << written.err;
}

// Whatever the output names, each tool writes through it what it writes to a plain file:
// a symbolic link is written through (the link stays), a named pipe and a device are
// written in place and stay what they were, "-" is standard output; a full device gives
// the system's reason.
TEST(CommandLine, OutputsThatAreNotFilesAreWrittenThroughOrInPlace) {
    namespace fs = std::filesystem;
    testing_support::TempFolder temp;
    const QString sample =
        QString::fromStdString((fs::path(TAVI_BUILD_DIR) / "share" / "tavi" / "data").string());
    struct Tool {
        const char *what, *program, *out_option;
        QStringList args;
        std::string name;   // the output's name, the same in each kind's folder
        std::string begins; // what the output begins with
        // What standard output gets in place of the name (a layer named after it), if anything.
        std::string named, unnamed;
    };
    const QStringList near_a_site = {"--data",        sample,     "--point",
                                     "496595,370255", "--buffer", "50"};
    const Tool tools[] = {
        {"tavi-search, XML", "tavi-search", "--out", near_a_site, "out.xml", "<?xml", "", ""},
        {"tavi-search, Excel", "tavi-search", "--out", near_a_site + QStringList{"--format", "xls"},
         "out", "\xD0\xCF\x11\xE0", "", ""},
        {"tavi-render",
         "tavi-render",
         "--out",
         {"--data", sample, "--size", "80x60"},
         "out.png",
         "\x89PNG",
         "",
         ""},
        {"tavi-convert, GeoJSON",
         "tavi-convert",
         "--to",
         {"--data", sample, "--format", "geojson"},
         "out.geojson",
         "{",
         "\"name\": \"out\"",
         "\"name\": \"drawings\""},
    };
    const auto same = [](const std::string &a, const std::string &b) {
        return ::testing::AssertionResult(a == b)
               << a.size() << " bytes beginning " << a.substr(0, 24) << " against " << b.size()
               << " bytes beginning " << b.substr(0, 24);
    };
    int round = 0;
    for (const Tool &tool : tools) {
        SCOPED_TRACE(tool.what);
        const fs::path dir = temp.path() / std::to_string(++round);
        for (const char *kind : {"link", "pipe", "null", "full"})
            fs::create_directories(dir / kind);
        const auto write_to = [&](const fs::path &out) {
            return run(tool.program,
                       tool.args + QStringList{tool.out_option, QString::fromStdString(out)});
        };
        std::ofstream(dir / "file") << "earlier";
        const fs::path link = dir / "link" / tool.name;
        fs::create_symlink("../file", link);
        Answer a = write_to(link);
        EXPECT_EQ(a.code, 0) << a.err;
        EXPECT_TRUE(fs::is_symlink(link));
        std::ifstream in(dir / "file", std::ios::binary);
        const std::string through{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(through.rfind(tool.begins, 0), 0u) << through.substr(0, 40);

        testing_support::PipeReader pipe(dir / "pipe" / tool.name);
        a = write_to(dir / "pipe" / tool.name);
        EXPECT_EQ(a.code, 0) << a.err;
        EXPECT_TRUE(same(pipe.finish(), through));
        EXPECT_TRUE(pipe.is_pipe());

        for (const bool full : {false, true}) {
            const fs::path device =
                testing_support::device_node(dir / (full ? "full" : "null"), full);
            a = write_to(device);
            EXPECT_EQ(a.code == 0, !full) << device << ": " << a.err;
            if (full) {
                EXPECT_NE(a.err.find("No space left on device"), std::string::npos) << a.err;
            }
            EXPECT_TRUE(testing_support::is_character_device(device)) << device;
        }

        a = write_to("-");
        EXPECT_EQ(a.code, 0) << a.err;
        std::string expected = through;
        if (const auto at = expected.find(tool.named);
            !tool.named.empty() && at != std::string::npos)
            expected.replace(at, tool.named.size(), tool.unnamed);
        EXPECT_TRUE(same(a.out, expected));
        EXPECT_FALSE(fs::exists("-"));
    }
}

// tavi-search says on its error stream what it could not give: the sites without a place
// on the grid, which no search can find (as the viewer's status line does), and the
// texts an Excel cell cannot hold, with their count.
TEST(CommandLine, TaviSearchSaysWhatItLeftOutOrCut) {
    namespace fs = std::filesystem;
    testing_support::TempFolder temp;
    const fs::path data = temp.path() / "data";
    fs::copy(fs::path(TAVI_BUILD_DIR) / "share" / "tavi" / "data", data,
             fs::copy_options::recursive);
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open((data / "tavidata.sqlite").c_str(), &db), SQLITE_OK);
    // Two sites lose their grid reference (their coordinates are within its square); the
    // three near Church Lane get descriptions longer than a cell.
    const std::string sql =
        "UPDATE TAVIsitelist SET NGS = '' WHERE RENO IN (10, 11);"
        "UPDATE TAVIsitelist SET DESCRIPTION = printf('%.*c', 40000, 'x') WHERE RENO = 3;";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    const Answer a = run("tavi-search", {"--data", QString::fromStdString(data.string()), "--point",
                                         "496595,370255", "--buffer", "50", "--out",
                                         QString::fromStdString((data / "found.xls").string())});
    EXPECT_EQ(a.code, 0) << a.err;
    EXPECT_EQ(a.out, "1 row found\n");
    EXPECT_EQ(a.err, "tavi-search: 2 sites skipped without a place on the grid\n"
                     "tavi-search: 1 text was longer than the 32767 characters an Excel cell "
                     "holds and cut to fit (the first in row 2, column 11)\n");
}
