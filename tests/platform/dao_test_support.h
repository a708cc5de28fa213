// The site database in each of the three forms the program reads: the Access 2000 and
// Access 2010 test files (copied from tests/data), and an SQLite database with the same
// tables, fields, rows and index names, written here from the Access file, with one
// stored query (a view) added.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>
#include <string>

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

// The test database in one engine's form, written into folder; returns its path.
inline fs::path site_database(const std::string &engine, const fs::path &folder) {
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
