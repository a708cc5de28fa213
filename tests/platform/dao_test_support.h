// The site database in each of the forms the program reads: the Access 2000 and Access
// 2010 test files (copied from tests/data), an SQLite database with the same tables,
// fields, rows and index names, written here from the Access file, with one stored query
// (a view) added; and the same on the PostgreSQL test server, which scripts/test.sh
// starts (scripts/pg-test-cluster.sh) and names in TAVI_TEST_POSTGRES.
#pragma once

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/base/settings.h"
#include "platform/db/dao.h"
#include "tools/sample/sqlite_copy.h"

namespace dao_test {

namespace fs = std::filesystem;

inline fs::path test_data(const std::string &name) {
    return fs::path(TAVI_SOURCE_DIR) / "tests" / "data" / name;
}

inline void exec(sqlite3 *db, const std::string &sql) {
    char *error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error(sql + ": " + message);
    }
}

inline void write_sqlite_copy(const fs::path &access, const fs::path &out) {
    sample::copy_to_sqlite(access, out);
    sqlite3 *db = nullptr;
    if (sqlite3_open(out.c_str(), &db) != SQLITE_OK)
        throw std::runtime_error("cannot open " + out.string());
    try {
        exec(db, "CREATE VIEW \"Sites by number\" AS "
                 "SELECT RENO, \"SITE NAME\" FROM TAVIsitelist ORDER BY RENO");
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}

// The test server's database as the tests read it (a role that may only read), and as
// its superuser; empty when no server was started for the tests.
inline std::string server_uri(const char *variable = "TAVI_TEST_POSTGRES") {
    const char *uri = std::getenv(variable);
    return uri ? uri : "";
}
inline constexpr const char *kNoServer =
    "TAVI_TEST_POSTGRES is not set: no PostgreSQL server to test against (scripts/test.sh "
    "starts one with scripts/pg-test-cluster.sh)";

// The URI with one more parameter ("name=value").
inline std::string with_parameter(const std::string &uri, const std::string &parameter) {
    return uri + (uri.find('?') == std::string::npos ? "?" : "&") + parameter;
}

// The user's settings in folder (XDG_CONFIG_HOME), allowing the user's stored password
// to go to the test server, as a project's URI gets it only then.
inline void allow_stored_passwords(const fs::path &folder) {
    const fs::path config = folder / "config";
    fs::create_directories(config);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    settings::put("TAVI", dao::kServersSection, dao::kStoredPasswordsKey,
                  server_uri("TAVI_TEST_POSTGRES_DIR"));
}

// The test database in one engine's form, written into folder; returns its path (on
// the server: its URI, empty without a server; the user's settings then allow the
// server the user's stored password, see allow_stored_passwords).
inline fs::path site_database(const std::string &engine, const fs::path &folder) {
    if (engine == "postgresql") {
        if (!server_uri().empty())
            allow_stored_passwords(folder);
        return server_uri();
    }
    if (engine == "sqlite") {
        const fs::path out = folder / "tavidata.sqlite";
        write_sqlite_copy(test_data("tavidata.mdb"), out);
        return out;
    }
    const fs::path out = folder / ("tavidata." + engine);
    fs::copy_file(test_data("tavidata." + engine), out);
    return out;
}

} // namespace dao_test
