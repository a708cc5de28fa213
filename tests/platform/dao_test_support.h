// The site database in each of the three forms the program reads: the Access 2000 and
// Access 2010 test files (copied from tests/data), and an SQLite database with the same
// tables, fields, rows and index names, written here from the Access file, with one
// stored query (a view) added.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/dao.h"

namespace dao_test {

namespace fs = std::filesystem;

inline fs::path test_data(const std::string &name) {
    return fs::path(TAVI_SOURCE_DIR) / "tests" / "data" / name;
}

inline std::string declared_type(const dao::FieldInfo &f) {
    using T = dao::FieldType;
    switch (f.type) {
    case T::Boolean:
        return "BOOLEAN";
    case T::Byte:
        return "TINYINT";
    case T::Integer:
        return "SMALLINT";
    case T::Long:
        return "INTEGER";
    case T::BigInt:
        return "BIGINT";
    case T::Currency:
        return "CURRENCY";
    case T::Single:
        return "SINGLE";
    case T::Double:
        return "DOUBLE";
    case T::Date:
        return "DATETIME";
    case T::Text:
        return "VARCHAR(" + std::to_string(f.size) + ")";
    case T::Memo:
        return "TEXT";
    case T::Decimal:
        return "DECIMAL";
    default:
        return "BLOB";
    }
}

inline std::string quoted(const std::string &name) {
    return "\"" + name + "\"";
}

inline void exec(sqlite3 *db, const std::string &sql) {
    char *error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error(sql + ": " + message);
    }
}

// Writes every table of the Access file, with its indexes, into a new SQLite file.
inline void write_sqlite_copy(const fs::path &access, const fs::path &out) {
    dao::Database source = dao::Database::open(access);
    sqlite3 *db = nullptr;
    if (sqlite3_open(out.c_str(), &db) != SQLITE_OK)
        throw std::runtime_error("cannot create " + out.string());
    try {
        exec(db, "BEGIN");
        for (const dao::TableInfo &t : source.tables()) {
            std::string create = "CREATE TABLE " + quoted(t.name) + " (";
            std::string insert = "INSERT INTO " + quoted(t.name) + " VALUES (";
            for (std::size_t i = 0; i < t.fields.size(); ++i) {
                create +=
                    (i ? ", " : "") + quoted(t.fields[i].name) + " " + declared_type(t.fields[i]);
                insert += i ? ", ?" : "?";
            }
            exec(db, create + ")");
            sqlite3_stmt *s = nullptr;
            sqlite3_prepare_v2(db, (insert + ")").c_str(), -1, &s, nullptr);
            dao::Recordset rs = source.open_table(t.name);
            for (; !rs.eof(); rs.move_next()) {
                for (int c = 0; c < rs.field_count(); ++c) {
                    const dao::Value v = rs.value(c);
                    if (v.kind() == dao::Value::Kind::Integer)
                        sqlite3_bind_int64(s, c + 1, v.as_integer());
                    else if (v.kind() == dao::Value::Kind::Real)
                        sqlite3_bind_double(s, c + 1, v.as_double());
                    else if (v.is_null())
                        sqlite3_bind_null(s, c + 1);
                    else
                        sqlite3_bind_text(s, c + 1, v.text().c_str(), -1, SQLITE_TRANSIENT);
                }
                sqlite3_step(s);
                sqlite3_reset(s);
            }
            sqlite3_finalize(s);
            for (const dao::IndexInfo &index : t.indexes) {
                std::string columns;
                for (const int c : index.columns)
                    columns += (columns.empty() ? "" : ", ") + quoted(t.fields[c].name);
                exec(db, std::string("CREATE ") + (index.unique ? "UNIQUE " : "") + "INDEX " +
                             quoted(index.name) + " ON " + quoted(t.name) + " (" + columns + ")");
            }
        }
        exec(db, "CREATE VIEW \"Sites by number\" AS "
                 "SELECT RENO, \"SITE NAME\" FROM TAVIsitelist ORDER BY RENO");
        exec(db, "COMMIT");
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
