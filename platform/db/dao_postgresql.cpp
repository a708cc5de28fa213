// Databases on a PostgreSQL server, through libpq. The connection URI goes to libpq as it
// stands; the session then gets its time limit and its forms for dates and numbers, and
// everything is read in one read-only transaction: no row is locked for writing, nothing
// is created, not even a temporary object. A table or field name from a project file is
// never part of a statement's text except as a quoted identifier, and every other value
// from outside is bound as a parameter.
#include <libpq-fe.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/db/dao_source.h"

namespace dao {

namespace {

// libpq's messages run over several lines (a detail, a hint); ours are one line.
std::string one_line(const char *message) {
    std::string out;
    bool blank = false;
    for (const char *p = message ? message : ""; *p; ++p) {
        const bool space = *p == '\n' || *p == '\r' || *p == '\t' || *p == ' ';
        if (space) {
            blank = !out.empty();
            continue;
        }
        if (blank)
            out += ' ';
        blank = false;
        out += *p;
    }
    return out;
}

struct ResultFree {
    void operator()(PGresult *r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

// A connection that is closed whatever way its owner is left, a constructor's throw
// included: each one left open holds one of the role's few connections on the server.
struct ConnectionFinish {
    void operator()(PGconn *c) const { PQfinish(c); }
};
using Conn = std::unique_ptr<PGconn, ConnectionFinish>;

using Clock = std::chrono::steady_clock;

// How long past the session's statement limit an answer is waited for: the server
// cancels the statement itself at the limit and says so at once; one that has not
// answered after this much more is asked to cancel, and given up soon after.
constexpr auto kLimitGrace = std::chrono::seconds(1);
constexpr auto kCancelGrace = std::chrono::seconds(2);

// A field's type as the other engines number it, from the name of its type (a domain's
// base type) and the modifier that holds a text's length.
FieldInfo field_info(std::string name, const std::string &type, int modifier) {
    static const std::map<std::string, std::pair<FieldType, int>> types = {
        {"bool", {FieldType::Boolean, 1}},     {"int2", {FieldType::Integer, 2}},
        {"int4", {FieldType::Long, 4}},        {"int8", {FieldType::BigInt, 8}},
        {"oid", {FieldType::BigInt, 8}},       {"float4", {FieldType::Single, 4}},
        {"float8", {FieldType::Double, 8}},    {"numeric", {FieldType::Decimal, 17}},
        {"money", {FieldType::Currency, 8}},   {"date", {FieldType::Date, 8}},
        {"timestamp", {FieldType::Date, 8}},   {"timestamptz", {FieldType::Date, 8}},
        {"bytea", {FieldType::LongBinary, 0}}, {"uuid", {FieldType::Guid, 16}},
    };
    if (const auto it = types.find(type); it != types.end())
        return {std::move(name), it->second.first, it->second.second};
    // A text with a length is a text field of that many characters, as in Access;
    // without one it is a memo. Anything else is read as its text.
    if ((type == "varchar" || type == "bpchar") && modifier > 4)
        return {std::move(name), FieldType::Text, modifier - 4};
    return {std::move(name), FieldType::Memo, 0};
}

// The tables and views the search path shows, with their columns, in the order they
// were made. $1: the kinds of relation wanted; $2: one relation's name, or null for all.
constexpr const char *kColumns =
    "SELECT c.oid, c.relname, c.relkind, a.attname, coalesce(b.typname, t.typname), "
    "       a.atttypmod "
    "FROM pg_catalog.pg_class c "
    "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 "
    "     AND NOT a.attisdropped "
    "JOIN pg_catalog.pg_type t ON t.oid = a.atttypid "
    "LEFT JOIN pg_catalog.pg_type b ON t.typtype = 'd' AND b.oid = t.typbasetype "
    "WHERE c.relkind = ANY ($1::\"char\"[]) AND NOT c.relispartition "
    "  AND pg_catalog.pg_table_is_visible(c.oid) "
    "  AND n.nspname NOT IN ('pg_catalog', 'information_schema') "
    "  AND ($2::text IS NULL OR c.relname = $2) "
    "ORDER BY c.oid, a.attnum";

// The key fields of an index as positions among the table's fields (-1 for an
// expression, which orders by something that is no field), most significant first.
constexpr const char *kKeyFields =
    "FROM pg_catalog.pg_index i "
    "CROSS JOIN LATERAL pg_catalog.unnest(i.indkey[0:i.indnkeyatts - 1]) "
    "     WITH ORDINALITY AS k(attnum, n) "
    "CROSS JOIN LATERAL (SELECT CASE WHEN k.attnum = 0 THEN -1 ELSE pg_catalog.count(*) - 1 "
    "     END AS position FROM pg_catalog.pg_attribute a WHERE a.attrelid = i.indrelid "
    "     AND a.attnum > 0 AND a.attnum <= k.attnum AND NOT a.attisdropped) AS p ";

// Every index of the tables the search path shows, a row for each key field, in the
// order the indexes were made.
const std::string kIndexes =
    std::string("SELECT i.indrelid, i.indexrelid, x.relname, i.indisunique, p.position, "
                "       (i.indoption[k.n - 1] & 1) <> 0 ") +
    kKeyFields +
    "JOIN pg_catalog.pg_class x ON x.oid = i.indexrelid "
    "JOIN pg_catalog.pg_class c ON c.oid = i.indrelid "
    "JOIN pg_catalog.pg_namespace s ON s.oid = c.relnamespace "
    "WHERE c.relkind IN ('r', 'p', 'f', 'm') AND pg_catalog.pg_table_is_visible(c.oid) "
    "  AND s.nspname NOT IN ('pg_catalog', 'information_schema') "
    "ORDER BY i.indexrelid, k.n";

// The primary key of the table named $1, as kIndexes gives key fields.
const std::string kPrimaryKey =
    std::string("SELECT p.position ") + kKeyFields +
    "WHERE i.indisprimary AND i.indrelid = pg_catalog.to_regclass(pg_catalog.quote_ident($1)) "
    "ORDER BY k.n";

// Everything the cached catalogue and rows depend on, as one digest.
constexpr const char *kState =
    "SELECT pg_catalog.md5(concat_ws(';', current_user, "
    "  pg_catalog.array_to_string(pg_catalog.current_schemas(false), ','), "
    "  (SELECT pg_catalog.string_agg(concat_ws(' ', c.oid, c.relname, c.relkind, "
    "        c.relfilenode, s.n_tup_ins, s.n_tup_upd, s.n_tup_del, "
    "        (SELECT pg_catalog.string_agg(concat_ws(':', a.attnum, a.attname, a.atttypid, "
    "                a.atttypmod), ',' ORDER BY a.attnum) "
    "         FROM pg_catalog.pg_attribute a "
    "         WHERE a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped), "
    "        (SELECT pg_catalog.string_agg(concat_ws(':', i.indexrelid, x.relname, i.indkey, "
    "                i.indoption, i.indisunique, i.indisprimary), ',' ORDER BY i.indexrelid) "
    "         FROM pg_catalog.pg_index i JOIN pg_catalog.pg_class x ON x.oid = i.indexrelid "
    "         WHERE i.indrelid = c.oid)), ';' ORDER BY c.oid) "
    "   FROM pg_catalog.pg_class c "
    "   JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "   LEFT JOIN pg_catalog.pg_stat_user_tables s ON s.relid = c.oid "
    "   WHERE c.relkind IN ('r', 'p', 'f', 'v', 'm') AND NOT c.relispartition "
    "     AND pg_catalog.pg_table_is_visible(c.oid) "
    "     AND n.nspname NOT IN ('pg_catalog', 'information_schema'))))";

// Connections kept between openings, idle and outside any transaction, one for each URI
// (a few at most): a lookup on every click would otherwise spend most of its time
// connecting. The server ends one left idle for five minutes (unless the session sets
// another limit); one found ended when it is taken again is replaced by a new one. A
// process made by fork never uses its parent's.
class IdleConnections {
  public:
    ~IdleConnections() {
        // A parent's connection is the parent's to end: the child lets it go unclosed.
        for (Idle &i : idle_)
            if (i.owner != ::getpid())
                (void)i.conn.release();
    }

    Conn take(const std::string &uri) {
        std::lock_guard lock(mutex_);
        for (auto it = idle_.begin(); it != idle_.end(); ++it)
            if (it->uri == uri && it->owner == ::getpid()) {
                Conn conn = std::move(it->conn);
                idle_.erase(it);
                return conn;
            }
        return nullptr;
    }

    void give(const std::string &uri, Conn conn) {
        std::lock_guard lock(mutex_);
        for (const Idle &i : idle_)
            if (i.uri == uri && i.owner == ::getpid())
                return; // one kept a URI is enough: this one is closed
        if (idle_.size() >= kMost) {
            if (idle_.front().owner != ::getpid())
                (void)idle_.front().conn.release();
            idle_.erase(idle_.begin());
        }
        idle_.push_back(Idle{uri, std::move(conn), ::getpid()});
    }

  private:
    static constexpr std::size_t kMost = 4;
    struct Idle {
        std::string uri;
        Conn conn;
        pid_t owner;
    };
    std::mutex mutex_;
    std::vector<Idle> idle_;
};

IdleConnections &idle_connections() {
    static IdleConnections idle;
    return idle;
}

class PostgresSource final : public ServerSource {
  public:
    PostgresSource(const std::string &uri, std::string shown, ServerOptions options)
        : uri_(uri), shown_(std::move(shown)), options_(std::move(options)) {
        // A connection kept from an earlier opening may have been ended meanwhile (idle
        // too long, the server restarted or crashed), and libpq learns so only from a
        // command that fails: then it is dropped and a new one made, once.
        conn_ = idle_connections().take(uri);
        if (conn_) {
            try {
                begin();
                return;
            } catch (const Error &) {
                conn_.reset();
            }
        }
        connect();
        begin();
    }
    ~PostgresSource() override {
        if (!conn_)
            return;
        // Ends the read-only transaction; a connection that cannot is not kept.
        try {
            if (PQstatus(conn_.get()) == CONNECTION_OK &&
                PQtransactionStatus(conn_.get()) != PQTRANS_ACTIVE) {
                const Result r = run("ROLLBACK", {}, false, "ending the transaction");
                if (PQresultStatus(r.get()) == PGRES_COMMAND_OK &&
                    PQtransactionStatus(conn_.get()) == PQTRANS_IDLE)
                    idle_connections().give(uri_, std::move(conn_));
            }
        } catch (const Error &) {
            // closed below
        }
        conn_.reset();
    }
    PostgresSource(const PostgresSource &) = delete;
    PostgresSource &operator=(const PostgresSource &) = delete;

    std::string state() override { return state_; }

    Catalog read_catalog() override {
        Catalog catalog;
        // Materialised views hold rows and indexes as tables do; views are stored queries.
        const Result cols = query(kColumns, {"{r,p,f,m,v}", std::nullopt}, "reading the tables");
        std::map<std::string, std::size_t> table_of; // by oid
        std::string last_view;
        for (int r = 0; r < PQntuples(cols.get()); ++r) {
            const std::string oid = PQgetvalue(cols.get(), r, 0);
            const char *name = PQgetvalue(cols.get(), r, 1);
            if (*PQgetvalue(cols.get(), r, 2) == 'v') {
                if (oid != last_view)
                    catalog.queries.push_back(QueryInfo{name, true});
                last_view = oid;
                continue;
            }
            const auto [it, added] = table_of.emplace(oid, catalog.tables.size());
            if (added)
                catalog.tables.push_back(TableInfo{name, {}, {}});
            catalog.tables[it->second].fields.push_back(field(cols.get(), r));
        }

        const Result idx = query(kIndexes.c_str(), {}, "reading the indexes");
        struct Found {
            std::size_t table;
            IndexInfo index;
            bool usable = true; // false with an expression among its keys
        };
        std::vector<Found> found;
        std::string last;
        for (int r = 0; r < PQntuples(idx.get()); ++r) {
            const auto table = table_of.find(PQgetvalue(idx.get(), r, 0));
            if (table == table_of.end())
                continue;
            if (PQgetvalue(idx.get(), r, 1) != last) {
                last = PQgetvalue(idx.get(), r, 1);
                found.push_back(Found{table->second, {}, true});
                found.back().index.name = PQgetvalue(idx.get(), r, 2);
                found.back().index.unique = *PQgetvalue(idx.get(), r, 3) == 't';
            }
            const int position = std::atoi(PQgetvalue(idx.get(), r, 4));
            found.back().usable = found.back().usable && position >= 0;
            found.back().index.columns.push_back(position);
            found.back().index.descending.push_back(*PQgetvalue(idx.get(), r, 5) == 't');
        }
        for (Found &f : found)
            if (f.usable)
                catalog.tables[f.table].indexes.push_back(std::move(f.index));
        return catalog;
    }

    std::shared_ptr<Rows> read_table(const TableInfo &table) override {
        const std::string doing = "reading table \"" + table.name + "\"";
        return read_rows("SELECT " + select_list(table.fields) + " FROM " + identifier(table.name) +
                             table_order(table, doing),
                         table.fields, doing);
    }

    std::shared_ptr<Rows> read_columns(const TableInfo &table,
                                       const std::vector<int> &columns) override {
        // Only the primary key's order is the same for any choice of fields; without one
        // the order is the server's, and the whole table's read, once cached, fixes it.
        const std::string doing = "reading table \"" + table.name + "\"";
        const std::string order = table_order(table, doing);
        if (order.empty() || columns.empty())
            return nullptr;
        std::vector<FieldInfo> fields;
        for (const int c : columns)
            fields.push_back(table.fields[static_cast<std::size_t>(c)]);
        return read_rows("SELECT " + select_list(fields) + " FROM " + identifier(table.name) +
                             order,
                         fields, doing);
    }

    std::shared_ptr<Rows> run_query(const QueryInfo &q) override {
        const std::string doing = "running the query \"" + q.name + "\"";
        const Result cols = query(kColumns, {"{v}", q.name}, doing);
        std::vector<FieldInfo> fields;
        for (int r = 0; r < PQntuples(cols.get()); ++r)
            fields.push_back(field(cols.get(), r));
        return read_rows("SELECT " + select_list(fields) + " FROM " + identifier(q.name), fields,
                         doing);
    }

  private:
    // Table order: the primary key's, when there is one; else the order the server gives
    // now, which the cache then keeps (no ORDER BY).
    std::string table_order(const TableInfo &table, const std::string &doing) {
        std::string order;
        const Result key = query(kPrimaryKey.c_str(), {table.name}, doing);
        for (int r = 0; r < PQntuples(key.get()); ++r) {
            const int position = std::atoi(PQgetvalue(key.get(), r, 0));
            if (position >= 0 && position < static_cast<int>(table.fields.size()))
                order += (order.empty() ? " ORDER BY " : ", ") +
                         identifier(table.fields[static_cast<std::size_t>(position)].name);
        }
        return order;
    }

    void connect() {
        // Ours before the URI, which may set its own; the encoding after it, as every
        // text here is UTF-8. A server not allowed the user's stored passwords gets none:
        // an empty password in the URI keeps PGPASSWORD out, a password file that is not
        // there keeps ~/.pgpass and PGPASSFILE out.
        std::string target = uri_;
        if (!options_.stored_passwords)
            target += std::string(target.find('?') == std::string::npos ? "?" : "&") + "password=";
        std::vector<const char *> keys = {
            "connect_timeout",     "fallback_application_name", "keepalives", "keepalives_idle",
            "keepalives_interval", "keepalives_count",          "dbname"};
        std::vector<const char *> values = {"10", "tavi", "1", "30", "10", "3", target.c_str()};
        if (!options_.stored_passwords) {
            keys.push_back("passfile");
            values.push_back("/nonexistent/tavi-no-password-file");
        }
        keys.push_back("client_encoding");
        values.push_back("UTF8");
        keys.push_back(nullptr);
        values.push_back(nullptr);
        conn_.reset(PQconnectdbParams(keys.data(), values.data(), 1));
        if (!conn_)
            throw Error(shown_ + ": cannot connect: out of memory");
        if (PQstatus(conn_.get()) != CONNECTION_OK) {
            const char *db = PQdb(conn_.get());
            const char *host = PQhost(conn_.get());
            const std::string where = std::string("database \"") + (db ? db : "") +
                                      "\" on server " + (host && *host ? host : "(default)");
            const std::string message = one_line(PQerrorMessage(conn_.get()));
            const bool withheld =
                !options_.stored_passwords && PQconnectionNeedsPassword(conn_.get());
            conn_.reset();
            if (withheld)
                throw PasswordWithheld(shown_ + ": cannot connect to " + where +
                                           ": the server asks for a password, and stored "
                                           "passwords are sent only to servers allowed in "
                                           "TAVI's settings (" +
                                           options_.allow_hint + ")",
                                       options_.servers);
            throw Error(shown_ + ": cannot connect to " + where + ": " + message);
        }
        // The server's notices are for its own log, not for our standard error.
        PQsetNoticeProcessor(
            conn_.get(), [](void *, const char *) {}, nullptr);
        // A statement that runs longer than a minute is given up, and a connection left
        // idle for five minutes is ended, unless the URI or the server set limits of
        // their own. Dates in ISO form; reals in as many digits as they need to read
        // back the same.
        (void)run("SELECT pg_catalog.set_config('statement_timeout', '60s', false) "
                  "WHERE pg_catalog.current_setting('statement_timeout') = '0'; "
                  "SELECT pg_catalog.set_config('idle_session_timeout', '300s', false) "
                  "WHERE pg_catalog.current_setting('idle_session_timeout', true) = "
                  "'0'; SET DateStyle = ISO; SET extra_float_digits = 3",
                  {}, false, "setting up the session");
    }

    // Begins the opening's transaction: one snapshot for all it reads, in which nothing
    // can be written, and learns the state of the database in it. Where the server does
    // not count the rows written (track_counts off) no state can tell a change, so each
    // opening gets a state of its own and nothing read is kept for the next.
    void begin() {
        const std::string sql =
            std::string("BEGIN ISOLATION LEVEL REPEATABLE READ; SET TRANSACTION READ ONLY; ") +
            "SELECT (" + kState +
            ") || CASE WHEN pg_catalog.current_setting('track_counts') = "
            "'on' THEN '' ELSE ' uncounted ' || pg_catalog.pg_backend_pid() || ' ' || "
            "pg_catalog.clock_timestamp() END, "
            "(pg_catalog.date_part('epoch', pg_catalog.current_setting('statement_timeout')"
            "::pg_catalog.interval) * 1000)::pg_catalog.int8";
        const Result r = run(sql.c_str(), {}, false, "starting a read-only transaction");
        if (PQresultStatus(r.get()) != PGRES_TUPLES_OK || PQntuples(r.get()) != 1)
            fail("starting a read-only transaction");
        state_ = PQgetvalue(r.get(), 0, 0);
        // The session's statement limit bounds every wait here too.
        limit_ = std::chrono::milliseconds(std::atoll(PQgetvalue(r.get(), 0, 1)));
    }

    // Field r of a kColumns result.
    static FieldInfo field(const PGresult *cols, int r) {
        return field_info(PQgetvalue(cols, r, 3), PQgetvalue(cols, r, 4),
                          std::atoi(PQgetvalue(cols, r, 5)));
    }

    // A name as a quoted identifier: whatever it holds, it stays a name.
    std::string identifier(const std::string &name) const {
        char *quoted = PQescapeIdentifier(conn_.get(), name.c_str(), name.size());
        if (quoted == nullptr)
            throw Error(shown_ + ": the name \"" + name +
                        "\" cannot be used: " + one_line(PQerrorMessage(conn_.get())));
        std::string out(quoted);
        PQfreemem(quoted);
        return out;
    }

    // The fields in the forms read back here: dates without a time zone, sums of money
    // as plain numbers.
    std::string select_list(const std::vector<FieldInfo> &fields) const {
        std::string list;
        for (const FieldInfo &f : fields) {
            if (!list.empty())
                list += ", ";
            const std::string name = identifier(f.name);
            // A date or a time with its zone becomes the local time without one.
            if (f.type == FieldType::Date)
                list += name + "::pg_catalog.timestamp";
            else if (f.type == FieldType::Currency)
                list += name + "::pg_catalog.numeric";
            else
                list += name;
        }
        return list.empty() ? "NULL" : list;
    }

    [[noreturn]] void fail(const std::string &doing) const {
        const std::string message = one_line(PQerrorMessage(conn_.get()));
        if (PQstatus(conn_.get()) == CONNECTION_BAD)
            throw Error(shown_ + ": the connection to the server was lost while " + doing +
                        (message.empty() ? "" : ": " + message));
        throw Error(shown_ + ": " + doing + " failed: " + message);
    }

    // Sends the statements (with their parameters bound, as text; nullopt binds a null,
    // and statements with parameters go one at a time) and waits for the answer, never
    // longer than the session's statement limit and a little more, whatever the server
    // or the network do: a server that does not answer is asked to cancel, then given
    // up and its connection closed. The result is the last statement's; the first
    // failure is thrown unless tolerant.
    Result run(const char *sql, const std::vector<std::optional<std::string>> &params,
               bool with_params, const std::string &doing) {
        PGconn *c = conn_.get();
        int sent = 0;
        if (with_params) {
            std::vector<const char *> values;
            for (const auto &p : params)
                values.push_back(p ? p->c_str() : nullptr);
            sent = PQsendQueryParams(c, sql, static_cast<int>(values.size()), nullptr,
                                     values.data(), nullptr, nullptr, 0);
        } else {
            sent = PQsendQuery(c, sql);
        }
        if (sent == 0)
            fail(doing);
        const auto limit = limit_.count() > 0 ? limit_ : std::chrono::milliseconds(60000);
        const Clock::time_point deadline = Clock::now() + limit + kLimitGrace;
        bool cancelled = false;
        Result last, failed;
        for (;;) {
            while (PQisBusy(c)) {
                const Clock::time_point until = cancelled ? deadline + kCancelGrace : deadline;
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
                if (left.count() <= 0) {
                    if (!cancelled) {
                        cancel();
                        cancelled = true;
                        continue;
                    }
                    conn_.reset();
                    throw Error(shown_ + ": the server did not answer within " +
                                std::to_string((limit + kLimitGrace).count() / 1000) +
                                " seconds while " + doing + ": the connection was closed");
                }
                pollfd p{PQsocket(c), POLLIN, 0};
                const int ready =
                    ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
                if (ready < 0 && errno != EINTR)
                    fail(doing);
                if (ready > 0 && PQconsumeInput(c) == 0)
                    fail(doing);
            }
            Result r(PQgetResult(c));
            if (!r)
                break;
            const ExecStatusType status = PQresultStatus(r.get());
            if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && !failed)
                failed = std::move(r);
            else
                last = std::move(r);
        }
        if (failed)
            fail(doing);
        if (!last)
            fail(doing);
        return last;
    }

    // Asks the server to cancel what this connection runs, on a connection of its own
    // and in a thread of its own: libpq waits for the server to take the request, and a
    // server that is frozen as a whole never does.
    void cancel() const {
        if (PGcancel *request = PQgetCancel(conn_.get()))
            std::thread([request] {
                char error[256];
                (void)PQcancel(request, error, sizeof error);
                PQfreeCancel(request);
            }).detach();
    }

    // Statements without parameters; the result is the last one's.
    void command(const char *sql, const std::string &doing) { (void)run(sql, {}, false, doing); }

    // A statement with its parameters bound (text; nullopt binds a null).
    Result query(const char *sql, const std::vector<std::optional<std::string>> &params,
                 const std::string &doing) {
        Result r = run(sql, params, true, doing);
        if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
            fail(doing);
        return r;
    }

    // The rows through a cursor, a few thousand at a time, so that a large table is never
    // held twice, once as the server's text and once decoded.
    std::shared_ptr<Rows> read_rows(const std::string &sql, std::vector<FieldInfo> fields,
                                    const std::string &doing) {
        command(("DECLARE tavi_rows NO SCROLL CURSOR FOR " + sql).c_str(), doing);
        try {
            auto rows = fetch_rows(std::move(fields), doing);
            command("CLOSE tavi_rows", doing);
            return rows;
        } catch (...) {
            // A failure of ours part-way (a value that cannot be decoded, memory) leaves
            // the transaction good and the cursor open; the next read would find its name
            // taken.
            if (conn_ && PQstatus(conn_.get()) == CONNECTION_OK &&
                PQtransactionStatus(conn_.get()) == PQTRANS_INTRANS) {
                try {
                    command("CLOSE tavi_rows", doing);
                } catch (const Error &) {
                }
            }
            throw;
        }
    }

    std::shared_ptr<Rows> fetch_rows(std::vector<FieldInfo> fields, const std::string &doing) {
        std::vector<FieldType> types;
        for (const FieldInfo &f : fields)
            types.push_back(f.type);
        const int n = static_cast<int>(fields.size());
        auto rows = std::make_shared<Rows>(std::move(fields));
        for (;;) {
            const Result r = query("FETCH FORWARD 5000 FROM tavi_rows", {}, doing);
            if (PQnfields(r.get()) != n)
                throw Error(shown_ + ": " + doing + ": the fields changed while being read");
            const int count = PQntuples(r.get());
            if (count == 0)
                break;
            for (int row = 0; row < count; ++row)
                for (int c = 0; c < n; ++c)
                    add_value(*rows, types[static_cast<std::size_t>(c)], r.get(), row, c, doing);
        }
        return rows;
    }

    void add_value(Rows &rows, FieldType type, const PGresult *r, int row, int c,
                   const std::string &doing) const {
        if (PQgetisnull(r, row, c)) {
            rows.add_null();
            return;
        }
        const char *text = PQgetvalue(r, row, c);
        const std::string_view value(text, static_cast<std::size_t>(PQgetlength(r, row, c)));
        switch (type) {
        case FieldType::Boolean: // yes is -1, as in an Access file
            rows.add_integer(*text == 't' ? -1 : 0);
            break;
        case FieldType::Byte:
        case FieldType::Integer:
        case FieldType::Long:
        case FieldType::BigInt:
            rows.add_integer(std::strtoll(text, nullptr, 10));
            break;
        case FieldType::Single:
        case FieldType::Double:
        case FieldType::Currency:
        case FieldType::Decimal:
            rows.add_real(std::strtod(text, nullptr));
            break;
        case FieldType::Date:
            rows.add_text(iso_date_text(value));
            break;
        case FieldType::Binary:
        case FieldType::LongBinary: {
            std::size_t size = 0;
            unsigned char *bytes =
                PQunescapeBytea(reinterpret_cast<const unsigned char *>(text), &size);
            if (bytes == nullptr)
                throw Error(shown_ + ": " + doing + " failed: out of memory");
            rows.add_binary(std::string_view(reinterpret_cast<char *>(bytes), size));
            PQfreemem(bytes);
            break;
        }
        default:
            rows.add_text(value);
            break;
        }
    }

    std::string uri_;
    std::string shown_;
    ServerOptions options_;
    std::string state_;
    std::chrono::milliseconds limit_{0};
    Conn conn_;
};

} // namespace

std::unique_ptr<ServerSource> open_postgresql_source(const std::string &uri,
                                                     const std::string &shown,
                                                     const ServerOptions &options) {
    return std::make_unique<PostgresSource>(uri, shown, options);
}

} // namespace dao
