#include "platform/db/dao.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>

#include "platform/base/files.h"
#include "platform/base/settings.h"
#include "platform/db/dao_cache.h"
#include "platform/db/dao_rows.h"
#include "platform/db/dao_source.h"
#include "platform/db/server_uri.h"

namespace dao {

namespace {

std::string quote(std::string_view name) {
    return "\"" + std::string(name) + "\"";
}

// The engine by the file's first bytes: an SQLite file names its format; an Access
// file starts with its page-zero marker and names its engine (Jet or ACE).
std::optional<Engine> engine_of(const unsigned char *head, std::size_t n) {
    static const char sqlite[] = "SQLite format 3";
    if (n >= sizeof sqlite && std::memcmp(head, sqlite, sizeof sqlite) == 0)
        return Engine::SQLite;
    static const unsigned char marker[] = {0x00, 0x01, 0x00, 0x00};
    static const char jet[] = "Standard Jet DB";
    static const char ace[] = "Standard ACE DB";
    if (n >= 4 + sizeof jet && std::memcmp(head, marker, 4) == 0 &&
        (std::memcmp(head + 4, jet, sizeof jet) == 0 ||
         std::memcmp(head + 4, ace, sizeof ace) == 0))
        return Engine::Access;
    return std::nullopt;
}

int system_lock(int fd, int operation) {
    return ::flock(fd, operation);
}

long system_file_system(int fd) {
    struct statfs st {};
    return ::fstatfs(fd, &st) == 0 ? static_cast<long>(st.f_type) : -1;
}

std::atomic<int (*)(int, int)> g_lock{system_lock};
std::atomic<long (*)(int)> g_file_system{system_file_system};

// SMB and CIFS mounts, whatever the kernel calls them.
bool locks_are_mandatory(long file_system) {
    const auto type = static_cast<unsigned long>(file_system) & 0xFFFFFFFFul;
    return type == 0xFF534D42ul /* CIFS */ || type == 0xFE534D42ul /* SMB2 */ ||
           type == 0x517Bul /* SMB */;
}

// Locks the open file as the mode asks; the mode the file is held in (None when the file
// system cannot give the lock or takes locks as mandatory), or nothing when another
// opening holds it.
std::optional<LockMode> take_lock(int fd, LockMode wanted) {
    if (locks_are_mandatory(g_file_system.load()(fd)))
        return LockMode::None;
    int rc;
    do {
        rc = g_lock.load()(fd, (wanted == LockMode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0)
        return wanted;
    if (errno == EWOULDBLOCK)
        return std::nullopt;
    return LockMode::None;
}

} // namespace

// One opening of a database: for a file, the descriptor that holds the lock, the file's
// state when it was opened, its catalogue, and the engine, started only when something
// has to be read from the file rather than from the cache; for a server, the connection
// (made at opening, to learn the database's state) and the same catalogue.
class Connection {
  public:
    std::string path; // the file's path, or the server's URI as it may be shown
    std::string key;  // the file's own path, or the whole URI, for the cache
    FileStamp stamp;
    std::string version; // a server's; a file's is its stamp
    Engine engine = Engine::SQLite;
    LockMode mode = LockMode::Shared;
    std::shared_ptr<const Catalog> catalog;
    int fd = -1;
    bool open = false;

    ~Connection() { close(); }

    bool is_open() const { return open; }

    void close() {
        source_.reset();
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        open = false;
    }

    [[noreturn]] void fail(const std::string &what) const { throw Error(path + ": " + what); }

    void check_open() const {
        if (!open)
            fail("the database has been closed");
    }

    Source &source() {
        check_open();
        if (!source_)
            source_ = engine == Engine::Access ? open_access_source(path, stamp.size)
                                               : open_sqlite_source(path, stamp.size);
        return *source_;
    }

    void attach(std::unique_ptr<Source> source) { source_ = std::move(source); }

    // The table of exactly that name, else the first whose name differs only in case.
    const TableInfo &table(std::string_view name) const {
        for (const TableInfo &t : catalog->tables)
            if (t.name == name)
                return t;
        for (const TableInfo &t : catalog->tables)
            if (same_name(t.name, name))
                return t;
        fail("table " + quote(name) + " not found");
    }

  private:
    std::unique_ptr<Source> source_;
};

namespace {

// The state a server reports as a file's stamp: its digest's 128 bits in two fields.
FileStamp stamp_of(const std::string &digest) {
    FileStamp s;
    const std::size_t half = digest.size() / 2;
    s.device = std::hash<std::string>{}(digest.substr(0, half));
    s.inode = std::hash<std::string>{}(digest.substr(half));
    s.size = static_cast<std::int64_t>(digest.size());
    return s;
}

// Connects; the catalogue comes from the cache while the server's state is unchanged. A
// URI libpq cannot read is said in words of our own: libpq's text quotes the URI, and a
// password with it.
std::shared_ptr<Connection> open_server(std::string_view location,
                                        const ServerOptions &options = {}) {
    auto c = std::make_shared<Connection>();
    c->path = shown_location(location);
    c->engine = Engine::PostgreSQL;
    // libpq knows its schemes in small letters only; the rest goes as it was written.
    std::string uri(location);
    for (std::size_t i = 0; i < scheme_length(location); ++i)
        uri[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(uri[i])));
    c->key = uri;
    if (const std::string wrong = unreadable_uri(uri); !wrong.empty())
        c->fail("not a connection URI libpq can read: " + wrong);
    auto source = open_postgresql_source(uri, c->path, options);
    ServerSource &server = *source;
    const std::string state = server.state();
    c->stamp = stamp_of(state);
    // Without counts of rows written each opening has a state of its own (nothing read
    // is kept); the version is what is left, which still changes with the tables.
    c->version = state.substr(0, state.find(" uncounted "));
    c->attach(std::move(source));
    c->open = true;
    c->catalog = cached_catalog(c->key, c->stamp, [&] { return server.read_catalog(); });
    return c;
}

} // namespace

bool is_server_uri(std::string_view location) {
    return scheme_length(location) > 0;
}

std::string shown_location(std::string_view location) {
    return masked_uri(location);
}

bool location_present(std::string_view location) {
    return is_server_uri(location) || files::exists(location);
}

// ---------------------------------------------------------------- Database

Database::Database() = default;
Database::~Database() {
    close();
}
Database::Database(Database &&) noexcept = default;
Database &Database::operator=(Database &&o) noexcept {
    if (this != &o) {
        close();
        c_ = std::move(o.c_);
    }
    return *this;
}

Database Database::open(const std::filesystem::path &path, bool exclusive) {
    if (is_server_uri(path.native())) {
        Database db;
        db.c_ = open_server(path.native());
        return db;
    }
    auto c = std::make_shared<Connection>();
    c->path = path.string();
    do {
        // Non-blocking, so that a pipe put in the database's place cannot hold us up.
        c->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (c->fd < 0 && errno == EINTR);
    if (c->fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            c->fail("file not found");
        c->fail(std::string("file cannot be read: ") + std::strerror(errno));
    }
    // Taken before anything is read, so that a change made meanwhile shows as one.
    const std::optional<files::Identity> identity = files::identity_of(c->fd);
    if (!identity)
        c->fail("not a database file");

    c->open = true;
    const std::optional<LockMode> held =
        take_lock(c->fd, exclusive ? LockMode::Exclusive : LockMode::Shared);
    if (!held)
        c->fail(exclusive ? "file already in use: it is open elsewhere, so it cannot be held "
                            "exclusively"
                          : "file already in use: another opening holds it exclusively");
    c->mode = *held;

    unsigned char head[32] = {};
    const ssize_t got = ::pread(c->fd, head, sizeof head, 0);
    const auto engine = engine_of(head, got > 0 ? static_cast<std::size_t>(got) : 0);
    if (!engine)
        c->fail(got <= 0 ? "empty file, not a database"
                         : "not an Access or SQLite database (unknown file header)");
    c->engine = *engine;

    c->stamp = *identity;
    std::error_code ec;
    const auto canonical = std::filesystem::canonical(path, ec);
    c->key = ec ? c->path : canonical.string();
    Connection &conn = *c;
    c->catalog = cached_catalog(c->key, c->stamp, [&] { return conn.source().read_catalog(); });

    Database db;
    db.c_ = std::move(c);
    return db;
}

const std::string &Database::path() const {
    static const std::string none;
    return c_ ? c_->path : none;
}

std::string Database::version() const {
    if (!c_)
        return {};
    if (!c_->version.empty())
        return c_->version;
    const FileStamp &s = c_->stamp;
    return std::to_string(s.device) + ":" + std::to_string(s.inode) + ":" + std::to_string(s.size) +
           ":" + std::to_string(s.modified_ns) + ":" + std::to_string(s.changed_ns);
}

Engine Database::engine() const {
    return c_ ? c_->engine : Engine::SQLite;
}

LockMode Database::lock_mode() const {
    return c_ ? c_->mode : LockMode::Shared;
}

bool Database::is_open() const {
    return c_ && c_->is_open();
}

void Database::close() {
    if (c_)
        c_->close();
    c_.reset();
}

const std::vector<TableInfo> &Database::tables() const {
    if (!c_)
        throw Error("the database is not open");
    c_->check_open();
    return c_->catalog->tables;
}

const TableInfo &Database::table(std::string_view name) const {
    if (!c_)
        throw Error("the database is not open");
    c_->check_open();
    return c_->table(name);
}

std::vector<std::string> Database::queries() const {
    if (!c_)
        throw Error("the database is not open");
    c_->check_open();
    std::vector<std::string> names;
    for (const QueryInfo &q : c_->catalog->queries)
        names.push_back(q.name);
    return names;
}

// ---------------------------------------------------------------- Recordset

struct Recordset::State {
    std::shared_ptr<Connection> conn;
    std::shared_ptr<const Catalog> catalog; // keeps *table alive
    const TableInfo *table = nullptr;       // null for a query
    std::shared_ptr<const Rows> rows;
    std::string name;
    const IndexInfo *index = nullptr;
    std::shared_ptr<const Rows::Ordering> order;
    std::int64_t pos = 0; // -1 = before the first record, count = after the last
    bool no_match = false;
    bool some_fields = false; // index key positions are the whole table's

    std::int64_t count() const { return static_cast<std::int64_t>(rows->row_count()); }
    bool current() const { return pos >= 0 && pos < count(); }
    std::size_t row() const {
        return order ? order->rows[static_cast<std::size_t>(pos)] : static_cast<std::size_t>(pos);
    }
    [[noreturn]] void fail(const std::string &what) const {
        conn->fail((table ? "table " : "query ") + quote(name) + ": " + what);
    }
};

Recordset::Recordset() = default;
Recordset::~Recordset() = default;
Recordset::Recordset(Recordset &&) noexcept = default;
Recordset &Recordset::operator=(Recordset &&) noexcept = default;

Recordset::State &Recordset::live() const {
    if (!s_)
        throw Error("the recordset is not open");
    s_->conn->check_open();
    return *s_;
}

Recordset Database::open_table(std::string_view name, Access) {
    // Both ways of opening read only; the lock the connection holds on the file already
    // keeps out writers that lock before writing.
    if (!c_)
        throw Error("the database is not open");
    c_->check_open();
    const TableInfo &table = c_->table(name);
    Connection &conn = *c_;
    auto rows = cached_rows(c_->key, c_->stamp, "table:" + table.name,
                            [&] { return conn.source().read_table(table); });
    return table_recordset(table, std::move(rows), false);
}

Recordset Database::open_table(std::string_view name, const std::vector<std::string> &field_names) {
    if (!c_)
        throw Error("the database is not open");
    c_->check_open();
    const TableInfo &table = c_->table(name);
    std::vector<int> columns;
    for (const std::string &wanted : field_names) {
        const auto &fields = table.fields;
        auto it = std::find_if(fields.begin(), fields.end(),
                               [&](const FieldInfo &f) { return f.name == wanted; });
        if (it == fields.end())
            it = std::find_if(fields.begin(), fields.end(),
                              [&](const FieldInfo &f) { return same_name(f.name, wanted); });
        if (it == fields.end())
            c_->fail("table " + quote(table.name) + ": field " + quote(wanted) + " not found");
        columns.push_back(static_cast<int>(it - fields.begin()));
    }
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    std::string object = "columns:" + table.name;
    for (const int c : columns)
        object += ":" + std::to_string(c);

    Connection &conn = *c_;
    std::shared_ptr<Rows> located;
    // An Access file's fields alone cost the reader a pass over the whole table, as the
    // whole table does, and a search then needs the whole records of what it finds: the
    // whole table is read once, kept, and both come from it, through one reader.
    const bool whole = c_->engine == Engine::Access;
    auto rows = cached_rows(c_->key, c_->stamp, object, [&]() -> std::shared_ptr<Rows> {
        if (auto r = whole ? nullptr : conn.source().read_columns(table, columns)) {
            if (!r->locators().empty())
                located = r->take_locators();
            return r;
        }
        const auto whole = cached_rows(conn.key, conn.stamp, "table:" + table.name,
                                       [&] { return conn.source().read_table(table); });
        return columns_of(*whole, columns);
    });
    // Kept apart, for records(): the read that gave them costs nothing more.
    if (located)
        cached_rows(c_->key, c_->stamp, "locators:" + table.name, [&] { return located; });
    return table_recordset(table, std::move(rows), true);
}

Recordset Database::table_recordset(const TableInfo &table, std::shared_ptr<const Rows> rows,
                                    bool some_fields) const {
    Recordset rs;
    rs.s_ = std::make_unique<Recordset::State>();
    rs.s_->conn = c_;
    rs.s_->catalog = c_->catalog;
    rs.s_->table = &table;
    rs.s_->rows = std::move(rows);
    rs.s_->name = table.name;
    rs.s_->some_fields = some_fields;
    rs.s_->pos = rs.s_->count() > 0 ? 0 : rs.s_->count();
    return rs;
}

std::vector<std::vector<Value>> Database::records(std::string_view name,
                                                  const std::vector<Bookmark> &at) {
    if (!c_)
        throw Error("the database is not open");
    c_->check_open();
    const TableInfo &table = c_->table(name);
    Connection &conn = *c_;
    std::vector<std::vector<Value>> out;
    std::shared_ptr<const Rows> located;
    if (c_->engine == Engine::SQLite)
        located = cached_rows(c_->key, c_->stamp, "locators:" + table.name, [&] {
            const auto r = conn.source().read_columns(table, {});
            return r ? r->take_locators() : std::make_shared<Rows>(std::vector<FieldInfo>{});
        });
    if (located && !located->locators().empty()) {
        const std::vector<std::int64_t> &locators = located->locators();
        std::vector<std::int64_t> wanted;
        for (const Bookmark &b : at) {
            if (b.row < 0 || static_cast<std::size_t>(b.row) >= locators.size())
                c_->fail("table " + quote(table.name) +
                         ": not a valid bookmark: " + std::to_string(b.row));
            wanted.push_back(locators[static_cast<std::size_t>(b.row)]);
        }
        const auto rows = conn.source().read_located(table, wanted);
        for (std::size_t r = 0; r < rows->row_count(); ++r) {
            std::vector<Value> values;
            for (int c = 0; c < rows->column_count(); ++c)
                values.push_back(rows->value(r, c));
            out.push_back(std::move(values));
        }
        return out;
    }
    Recordset rs = open_table(name);
    for (const Bookmark &b : at) {
        rs.set_bookmark(b);
        out.push_back(rs.values());
    }
    return out;
}

Recordset Database::open_query(std::string_view name) {
    if (!c_)
        throw Error("the database is not open");
    c_->check_open();
    const auto &queries = c_->catalog->queries;
    const auto it = std::find_if(queries.begin(), queries.end(),
                                 [&](const QueryInfo &q) { return same_name(q.name, name); });
    if (it == queries.end())
        c_->fail("stored query " + quote(name) + " not found");
    const QueryInfo &query = *it;
    Connection &conn = *c_;
    auto rows = cached_rows(c_->key, c_->stamp, "query:" + query.name,
                            [&] { return conn.source().run_query(query); });
    Recordset rs;
    rs.s_ = std::make_unique<Recordset::State>();
    rs.s_->conn = c_;
    rs.s_->catalog = c_->catalog;
    rs.s_->rows = std::move(rows);
    rs.s_->name = query.name;
    rs.s_->pos = rs.s_->count() > 0 ? 0 : rs.s_->count();
    return rs;
}

const std::string &Recordset::name() const {
    static const std::string none;
    return s_ ? s_->name : none;
}

bool Recordset::is_query() const {
    return s_ && s_->table == nullptr;
}

bool Recordset::is_open() const {
    return s_ && s_->conn->is_open();
}

void Recordset::close() {
    s_.reset();
}

void Recordset::select_index(std::string_view index_name) {
    State &s = live();
    if (index_name.empty()) {
        s.index = nullptr;
        s.order.reset();
    } else {
        if (s.table == nullptr)
            s.fail("a stored query has no indexes; " + quote(index_name) + " cannot be selected");
        if (s.some_fields)
            s.fail("index " + quote(index_name) +
                   " cannot be selected where only some fields were read");
        const auto &indexes = s.table->indexes;
        const auto it = std::find_if(indexes.begin(), indexes.end(), [&](const IndexInfo &i) {
            return same_name(i.name, index_name);
        });
        if (it == indexes.end())
            s.fail("no index named " + quote(index_name));
        s.index = &*it;
        s.order = s.rows->ordering(*it);
    }
    s.no_match = false;
    s.pos = s.count() > 0 ? 0 : s.count();
}

const std::string &Recordset::index() const {
    static const std::string none;
    return s_ && s_->index ? s_->index->name : none;
}

bool Recordset::seek(const Value &key) {
    State &s = live();
    if (s.index == nullptr || !s.order)
        s.fail("seek without a selected index");
    const FieldInfo &field = s.rows->fields()[static_cast<std::size_t>(s.index->columns.front())];
    const auto converted = key_for_field(field.type, key);
    if (!converted)
        s.fail("data type mismatch: " + quote(key.to_string()) + " is not a number, and index " +
               quote(s.index->name) + " orders field " + quote(field.name) + " by number");
    const std::int64_t at = s.rows->find(*s.order, *s.index, *converted);
    s.no_match = at < 0;
    s.pos = s.no_match ? s.count() : at;
    return !s.no_match;
}

bool Recordset::no_match() const {
    return live().no_match;
}

bool Recordset::eof() const {
    const State &s = live();
    return s.pos >= s.count();
}

bool Recordset::bof() const {
    const State &s = live();
    return s.pos < 0 || s.count() == 0;
}

void Recordset::move_first() {
    State &s = live();
    s.pos = s.count() > 0 ? 0 : s.count();
}

void Recordset::move_last() {
    State &s = live();
    s.pos = s.count() > 0 ? s.count() - 1 : s.count();
}

void Recordset::move_next() {
    State &s = live();
    s.pos = std::min(s.pos + 1, s.count());
}

void Recordset::move_previous() {
    State &s = live();
    s.pos = std::max<std::int64_t>(s.pos - 1, -1);
}

std::int64_t Recordset::record_count() const {
    return live().count();
}

std::int64_t Recordset::absolute_position() const {
    const State &s = live();
    return s.current() ? s.pos : -1;
}

void Recordset::set_absolute_position(std::int64_t position) {
    State &s = live();
    if (position < 0 || position >= s.count())
        s.fail("no record at position " + std::to_string(position) + " (it holds " +
               std::to_string(s.count()) + ")");
    s.pos = position;
}

Bookmark Recordset::bookmark() const {
    const State &s = live();
    if (!s.current())
        s.fail("no current record");
    return Bookmark{static_cast<std::int64_t>(s.row())};
}

void Recordset::set_bookmark(Bookmark b) {
    State &s = live();
    if (b.row < 0 || b.row >= s.count())
        s.fail("not a valid bookmark: " + std::to_string(b.row));
    s.pos = s.order ? s.order->position_of[static_cast<std::size_t>(b.row)] : b.row;
}

int Recordset::field_count() const {
    return live().rows->column_count();
}

const std::vector<FieldInfo> &Recordset::fields() const {
    return live().rows->fields();
}

int Recordset::field_index(std::string_view field_name) const {
    const State &s = live();
    const auto &fields = s.rows->fields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == field_name)
            return static_cast<int>(i);
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (same_name(fields[i].name, field_name))
            return static_cast<int>(i);
    s.fail("field " + quote(field_name) + " not found");
}

Value Recordset::value(int position) const {
    const State &s = live();
    if (position < 0 || position >= s.rows->column_count())
        s.fail("no field at position " + std::to_string(position));
    if (!s.current())
        s.fail("no current record");
    return s.rows->value(s.row(), position);
}

Value Recordset::value(std::string_view field_name) const {
    return value(field_index(field_name));
}

std::vector<Value> Recordset::values() const {
    const State &s = live();
    if (!s.current())
        s.fail("no current record");
    std::vector<Value> out;
    for (int c = 0; c < s.rows->column_count(); ++c)
        out.push_back(s.rows->value(s.row(), c));
    return out;
}

// ---------------------------------------------------------------- site database

FileLocking set_file_locking(FileLocking calls) {
    return FileLocking{g_lock.exchange(calls.lock != nullptr ? calls.lock : system_lock),
                       g_file_system.exchange(calls.file_system != nullptr ? calls.file_system
                                                                           : system_file_system)};
}

bool allow_stored_passwords(const std::vector<std::string> &servers) {
    std::string list = settings::get("TAVI", kServersSection, kStoredPasswordsKey, "");
    for (const std::string &server : servers)
        if (!servers_allowed("postgresql:///?host=" + server.substr(0, server.rfind(':')) +
                                 "&port=" + server.substr(server.rfind(':') + 1),
                             list))
            list += (list.empty() ? "" : ", ") + server;
    return settings::put("TAVI", kServersSection, kStoredPasswordsKey, list);
}

Database open_site_database(const std::string &location) {
    if (is_server_uri(location)) {
        const std::string shown = shown_location(location);
        if (const std::string wrong = unreadable_uri(location); !wrong.empty())
            throw Error(shown + ": not a connection URI libpq can read: " + wrong);
        if (const std::string refused = refused_in_project(location); !refused.empty())
            throw Error(shown + ": refused: " + refused);
        // The user's stored passwords go only to the servers the user named.
        ServerOptions options;
        options.stored_passwords = servers_allowed(
            location, settings::get("TAVI", kServersSection, kStoredPasswordsKey, ""));
        options.servers = servers_of(location);
        std::string names;
        for (const std::string &server : options.servers)
            names += (names.empty() ? "" : ",") + server.substr(0, server.rfind(':'));
        options.allow_hint = std::string("[") + kServersSection + "] " + kStoredPasswordsKey + "=" +
                             names + " in " + settings::file_of("TAVI").string();
        Database db;
        db.c_ = open_server(location, options);
        return db;
    }
    const std::filesystem::path path = files::resolve(location);
    return Database::open(path, files::is_read_only(path));
}

} // namespace dao
