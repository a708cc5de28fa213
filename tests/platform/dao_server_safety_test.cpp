// A server that fails must fail safely: no connection left behind by a failed setup or
// a dead connection, no wait longer than the limit on a server that stops answering, no
// secret in any message, and no stored password for a server the user did not allow.
// Tests that stop or reconfigure the server use a cluster of their own.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "dao_server_support.h"
#include "dao_test_support.h"
#include "platform/base/settings.h"
#include "platform/db/dao.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The connections the role tavi holds on the server.
int connections(const dao_test::PrivateCluster &cluster) {
    return std::stoi(
        cluster.sql("SELECT count(*) FROM pg_stat_activity WHERE usename = 'tavi'").at(0));
}

// The sockets this process holds open.
int open_sockets() {
    int n = 0;
    for (const auto &e : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(e.path(), ec);
        n += !ec && target.string().rfind("socket:", 0) == 0 ? 1 : 0;
    }
    return n;
}

// A setup that fails (here the state query, once its function is taken from the role)
// must close its connection, however often it is tried; a server that was restarted
// (immediately, as after a crash) meanwhile costs the next lookup nothing, and leaves
// no dead connection behind.
TEST(DaoServerSafety, NoConnectionLeaksOverFailuresAndRestarts) {
    dao_test::PrivateCluster cluster;
    if (!cluster.started())
        GTEST_SKIP() << "no PostgreSQL cluster could be started (scripts/pg-test-cluster.sh)";
    const std::string uri = cluster.uri();
    EXPECT_EQ(dao::Database::open(uri).tables().size(), 3u);
    const int sockets = open_sockets();
    EXPECT_EQ(connections(cluster), 1); // kept for the next lookup

    cluster.sql("REVOKE EXECUTE ON FUNCTION pg_catalog.md5(text) FROM PUBLIC");
    int failed = 0;
    for (int i = 0; i < 100; ++i) {
        dao::clear_cache();
        try {
            dao::Database::open(uri);
        } catch (const dao::Error &e) {
            ++failed;
            if (i == 0) {
                EXPECT_NE(std::string(e.what()).find("permission denied"), std::string::npos)
                    << e.what();
            }
        }
    }
    EXPECT_EQ(failed, 100);
    EXPECT_LE(connections(cluster), 1);
    EXPECT_LE(open_sockets(), sockets);
    // Written out before the server is stopped as a crash would (the test cluster
    // commits without waiting for its log).
    cluster.sql("GRANT EXECUTE ON FUNCTION pg_catalog.md5(text) TO PUBLIC");
    cluster.sql("CHECKPOINT");

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(dao::Database::open(uri).tables().size(), 3u);
        ASSERT_TRUE(cluster.restart_immediately());
        dao::clear_cache();
        try {
            EXPECT_EQ(dao::Database::open(uri).open_table("Era details").record_count(), 7);
        } catch (const dao::Error &e) {
            ADD_FAILURE() << "the first lookup after a restart failed: " << e.what();
        }
        EXPECT_EQ(connections(cluster), 1);
        EXPECT_LE(open_sockets(), sockets);
    }
}

// A server that stops answering (its process stopped, as a frozen machine or a cut
// network would leave it) ends a read within the session's statement limit and a few
// seconds, not when the server comes back.
TEST(DaoServerSafety, AFrozenServerEndsTheReadWithinItsLimit) {
    const std::string uri = dao_test::server_uri();
    if (uri.empty())
        GTEST_SKIP() << dao_test::kNoServer;
    const std::string name = "tavi-frozen-" + std::to_string(::getpid());
    auto db = dao::Database::open(dao_test::with_parameter(
        uri, "application_name=" + name + "&options=-cstatement_timeout%3D2s"));
    const std::vector<std::string> pids = dao_test::as_admin(
        "SELECT pid FROM pg_stat_activity WHERE application_name = '" + name + "'");
    ASSERT_EQ(pids.size(), 1u);
    const pid_t backend = std::stoi(pids[0]);
    ASSERT_EQ(::kill(backend, SIGSTOP), 0);
    // Whatever happens, the server goes on after half a minute.
    std::atomic<bool> done{false};
    std::thread resume([&] {
        for (int i = 0; i < 300 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::kill(backend, SIGCONT);
    });
    dao::clear_cache();
    const auto started = Clock::now();
    try {
        db.open_table("TAVIsitelist");
        ADD_FAILURE() << "read from a stopped server";
    } catch (const dao::Error &e) {
        EXPECT_NE(std::string(e.what()).find("did not answer"), std::string::npos) << e.what();
    }
    const auto took = Clock::now() - started;
    done = true;
    resume.join();
    EXPECT_LT(took, std::chrono::seconds(2 + 5));
    EXPECT_GE(took, std::chrono::seconds(2));
}

// No secret reaches a message, however the URI writes it; a URI libpq cannot read is
// said in our words, as libpq's quote the URI.
TEST(DaoServerSafety, SecretsAreMaskedHoweverWritten) {
    const std::string secret = "s3cr3t-Pw";
    struct Case {
        std::string uri, shown;
    };
    const Case cases[] = {
        {"postgresql://u:" + secret + "@h/db", "postgresql://u:*****@h/db"},
        {"postgresql://h/db?password=" + secret, "postgresql://h/db?password=*****"},
        {"postgresql://h/db?%70assword=" + secret, "postgresql://h/db?%70assword=*****"},
        {"postgresql://h/db?sslpassword=" + secret + "&user=u",
         "postgresql://h/db?sslpassword=*****&user=u"},
        {"POSTGRES://h/db?PASSWORD=" + secret, "POSTGRES://h/db?PASSWORD=*****"},
        {"postgresql://h/db?user=u&pass%77ord=" + secret + "&password=" + secret,
         "postgresql://h/db?user=u&pass%77ord=*****&password=*****"},
        {"postgresql://h/db?" + secret + "&user=u", "postgresql://h/db?*****&user=u"},
        {"/data/tavidata.mdb", "/data/tavidata.mdb"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(dao::shown_location(c.uri), c.shown) << c.uri;

    // URIs libpq cannot read, each with the secret where libpq's text would quote it.
    const std::string unreadable[] = {
        "postgresql://u:" + secret + "@h/db?host=%zz",
        "postgresql://h/db?password=" + secret + "%",
        "postgresql://h/db?" + secret,
        "postgresql://h/db?password=" + secret + "&nosuchkey=1",
        "postgresql://u:" + secret + "@[h/db",
    };
    for (const std::string &uri : unreadable) {
        SCOPED_TRACE(uri);
        for (const bool project : {false, true}) {
            try {
                if (project)
                    dao::open_site_database(uri);
                else
                    dao::Database::open(uri);
                ADD_FAILURE() << "opened";
            } catch (const dao::Error &e) {
                const std::string message = e.what();
                EXPECT_EQ(message.find(secret), std::string::npos) << message;
                EXPECT_EQ(message.find('\n'), std::string::npos) << message;
            }
        }
    }
}

// A project file names where the data are and no more; the user's stored password goes
// only to a server the user allowed in TAVI.ini.
TEST(DaoServerSafety, AProjectsUriCannotTakeTheUsersPassword) {
    testing_support::TempFolder home;
    ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    struct Refused {
        std::string parameter, said;
    };
    const Refused refused[] = {
        {"passfile=/home/u/.pgpass", "\"passfile\""},
        {"sslkey=/tmp/k", "\"sslkey\""},
        {"sslcert=/tmp/c", "\"sslcert\""},
        {"service=mine", "\"service\""},
        {"options=-csearch_path%3Dodd", "\"options\""},
        {"password=x", "password"},
        {"%70assword=x", "password"},
        {"application_name=a&krbsrvname=k", "\"application_name\", \"krbsrvname\""},
    };
    for (const Refused &r : refused) {
        SCOPED_TRACE(r.parameter);
        try {
            dao::open_site_database("postgresql://u@127.0.0.1:1/db?sslmode=disable&" + r.parameter);
            ADD_FAILURE() << "not refused";
        } catch (const dao::Error &e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("refused"), std::string::npos) << message;
            EXPECT_NE(message.find(r.said), std::string::npos) << message;
        }
    }
    try {
        dao::open_site_database("postgresql://u:pw@127.0.0.1:1/db");
        ADD_FAILURE() << "a password in the user part was taken";
    } catch (const dao::Error &e) {
        EXPECT_NE(std::string(e.what()).find("refused"), std::string::npos) << e.what();
    }

    const std::string uri = dao_test::server_uri();
    if (uri.empty())
        GTEST_SKIP() << dao_test::kNoServer;
    const std::string host = dao_test::server_uri("TAVI_TEST_POSTGRES_DIR");
    // The role's password is stored for the user in PGPASSFILE, and in PGPASSWORD too.
    std::ifstream pass(std::getenv("PGPASSFILE"));
    std::string entry;
    std::getline(pass, entry);
    ::setenv("PGPASSWORD", entry.substr(entry.rfind(':') + 1).c_str(), 1);
    dao::clear_cache();
    try {
        dao::open_site_database(uri);
        ADD_FAILURE() << "a stored password went to a server the user did not allow";
    } catch (const dao::Error &e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("asks for a password"), std::string::npos) << message;
        EXPECT_NE(message.find("Stored Passwords=" + host), std::string::npos) << message;
    }
    ASSERT_TRUE(settings::put("TAVI", dao::kServersSection, dao::kStoredPasswordsKey,
                              "elsewhere:5432, " + host));
    EXPECT_EQ(dao::open_site_database(uri).tables().size(), 3u);
    ::unsetenv("PGPASSWORD");
    ::unsetenv("XDG_CONFIG_HOME");
}

// An exact name first: asking for the site list finds it, not another table whose name
// differs only in case; and where the server keeps no counts of rows written, nothing
// read is kept, as no change could be noticed.
TEST(DaoServerSafety, ExactNamesFirstAndNothingKeptWithoutCounts) {
    const std::string uri = dao_test::server_uri();
    if (uri.empty())
        GTEST_SKIP() << dao_test::kNoServer;
    const std::string s = "exact_" + std::to_string(::getpid());
    dao_test::as_admin("CREATE SCHEMA " + s + "; CREATE TABLE " + s +
                       ".\"TAVIsitelist\" (k integer PRIMARY KEY, v text); CREATE TABLE " + s +
                       ".tavisitelist (k integer PRIMARY KEY, v text); INSERT INTO " + s +
                       ".\"TAVIsitelist\" VALUES (1, 'upper'); INSERT INTO " + s +
                       ".tavisitelist VALUES (1, 'lower'); GRANT USAGE ON SCHEMA " + s +
                       " TO tavi; GRANT SELECT ON ALL TABLES IN SCHEMA " + s + " TO tavi");
    {
        auto db =
            dao::Database::open(dao_test::with_parameter(uri, "options=-csearch_path%3D" + s));
        EXPECT_EQ(db.open_table("tavisitelist").value("v"), dao::Value("lower"));
        EXPECT_EQ(db.open_table("TAVIsitelist").value("v"), dao::Value("upper"));
        EXPECT_EQ(db.open_table("TaviSiteList").value("v"), dao::Value("upper"));
    }

    // Reader and writer both without counts (the superuser may switch them off).
    const std::string admin =
        dao_test::with_parameter(dao_test::server_uri("TAVI_TEST_POSTGRES_ADMIN"),
                                 "options=-csearch_path%3D" + s + "%20-ctrack_counts%3Doff");
    const auto read = [&] {
        return dao::Database::open(admin).open_table("tavisitelist").value("v");
    };
    EXPECT_EQ(read(), dao::Value("lower"));
    dao_test::as_admin("SET track_counts = off; UPDATE " + s + ".tavisitelist SET v = 'changed'");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // past any statistics flush
    EXPECT_EQ(read(), dao::Value("changed"));
    dao_test::as_admin("DROP SCHEMA " + s + " CASCADE");
}

} // namespace
