// SQLite files, opened read-only: no journal is written and nothing is created beside
// the file. A database whose write-ahead log cannot be opened from here (a file on a
// disc, in a folder we cannot write) is opened as immutable instead.
#include "platform/db/dao_source.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace dao {

namespace {

std::string quoted(const std::string &name) {
    std::string q = "\"";
    for (const char c : name) {
        q += c;
        if (c == '"')
            q += '"';
    }
    return q + "\"";
}

// A file URI for the path, every byte outside the unreserved set escaped.
std::string file_uri(const std::string &path) {
    static const char *hex = "0123456789ABCDEF";
    std::string uri = "file:";
    for (const unsigned char c : std::filesystem::absolute(path).string()) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri + "?immutable=1";
}

// The field type a declared column type stands for, read the way SQLite reads it
// (by the words it contains), with the Access names that an imported table keeps.
FieldInfo field_info(const std::string &name, const char *declared) {
    std::string d;
    for (const char *p = declared ? declared : ""; *p; ++p)
        d += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    const auto has = [&](const char *word) { return d.find(word) != std::string::npos; };
    int size = 0;
    if (const auto open = d.find('('); open != std::string::npos)
        size = std::atoi(d.c_str() + open + 1);

    if (has("BOOL") || has("BIT"))
        return {name, FieldType::Boolean, 1};
    if (has("TINYINT") || d == "BYTE")
        return {name, FieldType::Byte, 1};
    if (has("SMALLINT") || has("SHORT"))
        return {name, FieldType::Integer, 2};
    if (has("BIGINT") || has("INT8"))
        return {name, FieldType::BigInt, 8};
    if (has("INT"))
        return {name, FieldType::Long, 4};
    if (has("MEMO") || has("LONGTEXT") || has("CLOB"))
        return {name, FieldType::Memo, 0};
    if (has("CHAR") || has("TEXT"))
        return size > 0 ? FieldInfo{name, FieldType::Text, size}
                        : FieldInfo{name, FieldType::Memo, 0};
    if (has("DATE") || has("TIME"))
        return {name, FieldType::Date, 8};
    if (has("CURRENCY") || has("MONEY"))
        return {name, FieldType::Currency, 8};
    if (has("DEC") || has("NUMERIC"))
        return {name, FieldType::Decimal, 17};
    if (has("SINGLE"))
        return {name, FieldType::Single, 4};
    if (has("REAL") || has("FLOA") || has("DOUB"))
        return {name, FieldType::Double, 8};
    if (has("GUID") || has("UUID"))
        return {name, FieldType::Guid, 16};
    if (has("BLOB") || has("BINARY") || has("OLE"))
        return {name, FieldType::LongBinary, 0};
    return {name, FieldType::Memo, 0};
}

class Statement {
  public:
    explicit Statement(sqlite3_stmt *s) : s_(s) {}
    ~Statement() { sqlite3_finalize(s_); }
    Statement(Statement &&o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
    Statement &operator=(Statement &&o) noexcept {
        std::swap(s_, o.s_);
        return *this;
    }
    sqlite3_stmt *get() const { return s_; }
    bool ok() const { return s_ != nullptr; }

  private:
    sqlite3_stmt *s_;
};

std::string column_text(sqlite3_stmt *s, int c) {
    const auto *p = sqlite3_column_text(s, c);
    return p ? std::string(reinterpret_cast<const char *>(p),
                           static_cast<std::size_t>(sqlite3_column_bytes(s, c)))
             : std::string();
}

class SqliteSource final : public Source {
  public:
    SqliteSource(std::string path, std::int64_t file_size) : path_(std::move(path)) {
        check_length(file_size);
        open(path_.c_str(), SQLITE_OPEN_READONLY);
    }
    ~SqliteSource() override { sqlite3_close(db_); }
    SqliteSource(const SqliteSource &) = delete;
    SqliteSource &operator=(const SqliteSource &) = delete;

    Catalog read_catalog() override {
        Catalog catalog;
        Statement objects = prepare("SELECT type, name FROM sqlite_master "
                                    "WHERE type IN ('table', 'view') "
                                    "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY rowid",
                                    "reading the list of tables", true);
        each_row(objects, "reading the list of tables", [&](sqlite3_stmt *row) {
            const std::string type = column_text(row, 0);
            const std::string name = column_text(row, 1);
            if (type == "view")
                catalog.queries.push_back(QueryInfo{name, true});
            else
                catalog.tables.push_back(table_info(name));
        });
        return catalog;
    }

    std::shared_ptr<Rows> read_table(const TableInfo &table) override {
        // Table order is rowid order; a table without rowids is kept in key order.
        const std::string doing = "reading table \"" + table.name + "\"";
        Statement s = prepare("SELECT * FROM " + quoted(table.name) + " ORDER BY _rowid_", "");
        if (!s.ok())
            s = prepare("SELECT * FROM " + quoted(table.name), doing);
        if (sqlite3_column_count(s.get()) != static_cast<int>(table.fields.size()))
            throw Error(path_ + ": table \"" + table.name + "\" changed while being read");
        return read_rows(s.get(), table.fields, doing);
    }

    std::shared_ptr<Rows> read_columns(const TableInfo &table,
                                       const std::vector<int> &columns) override {
        // The rowid leads, so that each row can be fetched again. A table without rowids
        // has no order but its key's, which a narrower read might not keep (an index
        // holding the fields would serve it): such a table is read whole.
        const std::string doing = "reading table \"" + table.name + "\"";
        std::string list;
        for (const int c : columns)
            list += ", " + quoted(table.fields[static_cast<std::size_t>(c)].name);
        std::vector<FieldInfo> fields;
        for (const int c : columns)
            fields.push_back(table.fields[static_cast<std::size_t>(c)]);
        Statement s = prepare(
            "SELECT _rowid_" + list + " FROM " + quoted(table.name) + " ORDER BY _rowid_", "");
        if (!s.ok())
            return nullptr;
        return read_rows(s.get(), std::move(fields), doing, true);
    }

    std::shared_ptr<Rows> read_located(const TableInfo &table,
                                       const std::vector<std::int64_t> &locators) override {
        const std::string doing = "reading table \"" + table.name + "\"";
        Statement s = prepare("SELECT * FROM " + quoted(table.name) + " WHERE _rowid_ = ?1", doing);
        if (sqlite3_column_count(s.get()) != static_cast<int>(table.fields.size()))
            throw Error(path_ + ": table \"" + table.name + "\" changed while being read");
        auto rows = std::make_shared<Rows>(table.fields);
        for (const std::int64_t at : locators) {
            sqlite3_reset(s.get());
            sqlite3_bind_int64(s.get(), 1, at);
            const std::size_t before = rows->row_count();
            read_into(*rows, s.get(), doing, false);
            if (rows->row_count() != before + 1)
                throw Error(path_ + ": table \"" + table.name + "\" changed while being read");
        }
        return rows;
    }

    std::shared_ptr<Rows> run_query(const QueryInfo &query) override {
        const std::string doing = "running the query \"" + query.name + "\"";
        Statement s = prepare("SELECT * FROM " + quoted(query.name), doing);
        std::vector<FieldInfo> fields;
        for (int c = 0; c < sqlite3_column_count(s.get()); ++c)
            fields.push_back(
                field_info(sqlite3_column_name(s.get(), c), sqlite3_column_decltype(s.get(), c)));
        return read_rows(s.get(), fields, doing);
    }

  private:
    // SQLite reads only the pages a query needs, so a file cut short may go unnoticed
    // until a late page is wanted. The header says how long the file is meant to be
    // (when its count is current) and the file is whole pages; check both at once.
    void check_length(std::int64_t file_size) const {
        unsigned char h[100] = {};
        std::ifstream in(path_, std::ios::binary);
        if (!in.read(reinterpret_cast<char *>(h), sizeof h))
            return; // too short for a header: SQLite says so itself
        const auto be32 = [&](int at) {
            return static_cast<std::uint32_t>(h[at]) << 24 |
                   static_cast<std::uint32_t>(h[at + 1]) << 16 |
                   static_cast<std::uint32_t>(h[at + 2]) << 8 | h[at + 3];
        };
        std::int64_t page = (h[16] << 8) | h[17];
        if (page == 1)
            page = 65536;
        if (page < 512 || (page & (page - 1)) != 0)
            return;
        const std::int64_t pages = be32(28);
        const bool count_current = be32(24) == be32(92) && pages > 0;
        if (file_size % page != 0 || (count_current && file_size < pages * page))
            throw Error(path_ +
                        ": damaged or unreadable SQLite database: the file has been cut "
                        "short (" +
                        std::to_string(file_size) + " bytes, " +
                        (count_current ? std::to_string(pages * page) + " expected"
                                       : "not a whole number of pages") +
                        ")");
    }

    void open(const char *name, int flags) {
        if (db_ != nullptr)
            sqlite3_close(db_);
        db_ = nullptr;
        // A connection is only ever used by one thread at a time; without its own mutex a
        // table of ten million values is read without ten million locks.
        if (sqlite3_open_v2(name, &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
            const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            db_ = nullptr;
            throw Error(path_ + ": cannot be opened as an SQLite database: " + message);
        }
        sqlite3_extended_result_codes(db_, 1);
        // Another program writing the file may hold it for a moment; never for ever.
        sqlite3_busy_timeout(db_, 2000);
    }

    [[noreturn]] void fail(const std::string &doing) const {
        const int code = db_ ? sqlite3_errcode(db_) & 0xff : SQLITE_CANTOPEN;
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB)
            throw Error(path_ + ": damaged or unreadable SQLite database: " + message + " (" +
                        doing + ")");
        throw Error(path_ + ": " + doing + " failed: " + message);
    }

    // Calls on_row for every row the statement gives; an error part way throws.
    template <typename F> void each_row(const Statement &s, const std::string &doing, F on_row) {
        int rc;
        while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
            on_row(s.get());
        if (rc != SQLITE_DONE)
            fail(doing);
    }

    // An empty `doing` returns a failed statement instead of throwing.
    Statement prepare(const std::string &sql, const std::string &doing, bool may_reopen = false) {
        sqlite3_stmt *s = nullptr;
        int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr);
        if (rc != SQLITE_OK && may_reopen && (rc & 0xff) == SQLITE_CANTOPEN && !immutable_) {
            sqlite3_finalize(s);
            s = nullptr;
            immutable_ = true;
            open(file_uri(path_).c_str(), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
            rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr);
        }
        if (rc != SQLITE_OK) {
            sqlite3_finalize(s);
            if (!doing.empty())
                fail(doing);
            return Statement(nullptr);
        }
        return Statement(s);
    }

    TableInfo table_info(const std::string &name) {
        TableInfo info;
        info.name = name;
        const std::string doing = "reading the fields of table \"" + name + "\"";
        {
            Statement s =
                prepare("SELECT name, type FROM pragma_table_info(?1) ORDER BY cid", doing);
            sqlite3_bind_text(s.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
            each_row(s, doing, [&](sqlite3_stmt *row) {
                info.fields.push_back(
                    field_info(column_text(row, 0),
                               reinterpret_cast<const char *>(sqlite3_column_text(row, 1))));
            });
        }
        // Indexes in the order they were made.
        const std::string indexes = "reading the indexes of table \"" + name + "\"";
        Statement list = prepare("SELECT l.name, l.\"unique\" FROM pragma_index_list(?1) AS l "
                                 "LEFT JOIN sqlite_master AS m ON m.name = l.name "
                                 "ORDER BY m.rowid, l.seq",
                                 indexes);
        sqlite3_bind_text(list.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
        each_row(list, indexes, [&](sqlite3_stmt *row) {
            IndexInfo index;
            index.name = column_text(row, 0);
            index.unique = sqlite3_column_int(row, 1) != 0;
            Statement cols = prepare("SELECT cid, \"desc\" FROM pragma_index_xinfo(?1) "
                                     "WHERE key = 1 ORDER BY seqno",
                                     indexes);
            sqlite3_bind_text(cols.get(), 1, index.name.c_str(), -1, SQLITE_TRANSIENT);
            bool usable = true;
            each_row(cols, indexes, [&](sqlite3_stmt *key) {
                const int cid = sqlite3_column_int(key, 0);
                // An index on an expression orders by something that is no field.
                if (cid < 0 || cid >= static_cast<int>(info.fields.size()))
                    usable = false;
                index.columns.push_back(cid);
                index.descending.push_back(sqlite3_column_int(key, 1) != 0);
            });
            if (usable && !index.columns.empty())
                info.indexes.push_back(std::move(index));
        });
        return info;
    }

    // located: the statement's first column is each row's rowid, the fields follow.
    std::shared_ptr<Rows> read_rows(sqlite3_stmt *s, std::vector<FieldInfo> fields,
                                    const std::string &doing, bool located = false) {
        auto rows = std::make_shared<Rows>(std::move(fields));
        read_into(*rows, s, doing, located);
        return rows;
    }

    void read_into(Rows &rows, sqlite3_stmt *s, const std::string &doing, bool located) {
        const int n = rows.column_count();
        const int first = located ? 1 : 0;
        std::vector<FieldType> types;
        for (const FieldInfo &f : rows.fields())
            types.push_back(f.type);
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            if (located)
                rows.add_locator(sqlite3_column_int64(s, 0));
            if (n == 0)
                rows.add_empty_row();
            for (int f = 0; f < n; ++f) {
                const int c = f + first;
                switch (sqlite3_column_type(s, c)) {
                case SQLITE_INTEGER: {
                    const sqlite3_int64 v = sqlite3_column_int64(s, c);
                    // Yes is -1 here, as in an Access file.
                    rows.add_integer(types[f] == FieldType::Boolean ? (v != 0 ? -1 : 0) : v);
                    break;
                }
                case SQLITE_FLOAT:
                    rows.add_real(sqlite3_column_double(s, c));
                    break;
                case SQLITE_TEXT: {
                    const std::string_view text(
                        reinterpret_cast<const char *>(sqlite3_column_text(s, c)),
                        static_cast<std::size_t>(sqlite3_column_bytes(s, c)));
                    if (types[f] == FieldType::Date)
                        rows.add_text(iso_date_text(text));
                    else
                        rows.add_text(text);
                    break;
                }
                case SQLITE_BLOB: {
                    const void *p = sqlite3_column_blob(s, c);
                    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(s, c));
                    rows.add_binary(p ? std::string_view(static_cast<const char *>(p), size)
                                      : std::string_view());
                    break;
                }
                default:
                    rows.add_null();
                    break;
                }
            }
        }
        if (rc != SQLITE_DONE)
            fail(doing);
    }

    std::string path_;
    sqlite3 *db_ = nullptr;
    bool immutable_ = false;
};

} // namespace

std::unique_ptr<Source> open_sqlite_source(const std::string &path, std::int64_t file_size) {
    return std::make_unique<SqliteSource>(path, file_size);
}

} // namespace dao
