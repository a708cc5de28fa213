#include "tools/sample/sqlite_copy.h"

#include <sqlite3.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/db/dao.h"

namespace sample {

namespace {

std::string declared_type(const dao::FieldInfo &f) {
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

std::string quoted(const std::string &name) {
    return "\"" + name + "\"";
}

void exec(sqlite3 *db, const std::string &sql) {
    char *error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error(sql + ": " + message);
    }
}

struct Close {
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};

void copy_rows(sqlite3 *db, dao::Database &source, const dao::TableInfo &t) {
    std::string insert = "INSERT INTO " + quoted(t.name) + " VALUES (";
    for (std::size_t i = 0; i < t.fields.size(); ++i)
        insert += i ? ", ?" : "?";
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db, (insert + ")").c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(insert + ": " + sqlite3_errmsg(db));
    std::unique_ptr<sqlite3_stmt, Close> s(raw);
    dao::Recordset rs = source.open_table(t.name);
    for (; !rs.eof(); rs.move_next()) {
        for (int c = 0; c < rs.field_count(); ++c) {
            const dao::Value v = rs.value(c);
            if (v.kind() == dao::Value::Kind::Integer)
                sqlite3_bind_int64(s.get(), c + 1, v.as_integer());
            else if (v.kind() == dao::Value::Kind::Real)
                sqlite3_bind_double(s.get(), c + 1, v.as_double());
            else if (v.is_null())
                sqlite3_bind_null(s.get(), c + 1);
            else
                sqlite3_bind_text(s.get(), c + 1, v.text().c_str(), -1, SQLITE_TRANSIENT);
        }
        if (sqlite3_step(s.get()) != SQLITE_DONE)
            throw std::runtime_error("copying " + t.name + ": " + sqlite3_errmsg(db));
        sqlite3_reset(s.get());
    }
}

} // namespace

void copy_to_sqlite(const std::filesystem::path &from, const std::filesystem::path &to) {
    dao::Database source = dao::Database::open(from);
    sqlite3 *raw = nullptr;
    if (sqlite3_open(to.c_str(), &raw) != SQLITE_OK) {
        sqlite3_close(raw);
        throw std::runtime_error("cannot create " + to.string());
    }
    std::unique_ptr<sqlite3, Close> db(raw);
    exec(db.get(), "BEGIN");
    for (const dao::TableInfo &t : source.tables()) {
        std::string create = "CREATE TABLE " + quoted(t.name) + " (";
        for (std::size_t i = 0; i < t.fields.size(); ++i)
            create += (i ? ", " : "") + quoted(t.fields[i].name) + " " + declared_type(t.fields[i]);
        exec(db.get(), create + ")");
        copy_rows(db.get(), source, t);
        for (const dao::IndexInfo &index : t.indexes) {
            std::string columns;
            for (const int c : index.columns)
                columns += (columns.empty() ? "" : ", ") + quoted(t.fields[c].name);
            exec(db.get(), std::string("CREATE ") + (index.unique ? "UNIQUE " : "") + "INDEX " +
                               quoted(index.name) + " ON " + quoted(t.name) + " (" + columns + ")");
        }
    }
    exec(db.get(), "COMMIT");
}

} // namespace sample
