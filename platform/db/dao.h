// Read-only access to the site database and the point-set databases.
//
// A database is an Access file (.mdb of Jet 3 or Jet 4, .accdb) read through libmdb, or
// an SQLite 3 file, which one decided by the file's first bytes, never by its name; or a
// database on a PostgreSQL server, named by a connection URI in libpq's own syntax
// (postgresql://[user[:password]@]host[:port]/dbname[?param=value&...]) wherever a file
// name would be written. Nothing here creates, changes or writes a database file, nor
// anything beside it; on a server everything is read in a read-only transaction.
//
// The shape is that of the data access objects the lookups were written against:
//   Database::open -> tables() / queries() -> open_table / open_query -> Recordset
//   Recordset: select_index, seek, no_match, move_first / last / next / previous, eof,
//              bof, record_count, values by position or name, bookmarks, absolute
//              positions.
// A recordset reads its rows once, when it opens; an index ordering is built the first
// time it is selected. Both are kept in a cache shared by all openings of the same
// unchanged file (same path, size, modification time), so that the lookups, which open
// and close the database every time, pay for the reading only once.
//
// Every failure of the engine or the file (missing or unreadable file, damaged file,
// missing table, query, field or index, a query that cannot run, no current record;
// a server that cannot be reached, refuses the user, drops the connection or runs out
// of time) is thrown as dao::Error, one line whose message names the file, or the
// server's URI without its password, and what is missing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dao {

class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A server that asks for a password the user stored, which it was not allowed (see
// open_site_database): the servers ("host:port") the user could allow.
class PasswordWithheld : public Error {
  public:
    PasswordWithheld(const std::string &message, std::vector<std::string> servers)
        : Error(message), servers_(std::move(servers)) {}
    const std::vector<std::string> &servers() const { return servers_; }

  private:
    std::vector<std::string> servers_;
};

// Adds the servers to the user's list in TAVI.ini of those their stored passwords may
// go to (kServersSection, kStoredPasswordsKey); false when the settings cannot be
// written.
bool allow_stored_passwords(const std::vector<std::string> &servers);

enum class Engine { Access, SQLite, PostgreSQL };

// How the file is held while the database is open: an advisory lock (flock) on the
// file, shared or exclusive, for the life of the connection. Two exclusive openings,
// or an exclusive and a shared one, of the same file exclude each other.
//
// A lock never makes a read fail. Where the file system cannot give the lock (any error
// but "held by another": NFS, which gives exclusive locks only on descriptors open for
// writing; file systems without locks) the file is read without one (None). Where locks
// are mandatory (SMB/CIFS mounts, whose byte-range locks make other openings' reads of
// the file fail, SQLite's and the Access reader's included) none is taken.
enum class LockMode { Shared, Exclusive, None };

// The calls the locking makes, replaceable so that tests can stand in for the file
// systems they cannot mount: the lock itself, with flock's contract, and the type of the
// file system holding an open descriptor (statfs's f_type), -1 when unknown. A member
// left empty is the system's own.
struct FileLocking {
    int (*lock)(int fd, int operation) = nullptr;
    long (*file_system)(int fd) = nullptr;
};
// Puts the calls in place; returns those that were.
FileLocking set_file_locking(FileLocking calls);

// Field types numbered as the Access engine numbers them, so that a caller asking
// whether coordinates are held in double precision gets the same answer from either
// engine.
enum class FieldType : int {
    Boolean = 1,
    Byte = 2,
    Integer = 3, // 16-bit
    Long = 4,    // 32-bit
    Currency = 5,
    Single = 6,
    Double = 7,
    Date = 8,
    Binary = 9,
    Text = 10,
    LongBinary = 11,
    Memo = 12,
    Guid = 15,
    BigInt = 16,
    Decimal = 20,
};

struct FieldInfo {
    std::string name; // exactly as stored: case and blanks kept
    FieldType type = FieldType::Text;
    int size = 0; // characters for texts, bytes for numbers, 0 for memos and blobs
};

struct IndexInfo {
    std::string name;         // as stored in the file
    std::vector<int> columns; // key fields by position in the table, most significant first
    std::vector<bool> descending;
    bool unique = false;
};

struct TableInfo {
    std::string name;
    std::vector<FieldInfo> fields;
    std::vector<IndexInfo> indexes;
};

// One field value. Numbers stay numbers and keep whether they are whole (a Long field
// of 12 reads back as the integer 12) or real (a Double); texts are UTF-8; dates are
// texts in ISO form, "YYYY-MM-DD", or "YYYY-MM-DD HH:MM:SS" when there is a time of
// day; memos come whole. A null is not an empty text.
class Value {
  public:
    enum class Kind { Null, Integer, Real, Text, Binary };

    Value() = default;
    Value(std::int64_t v) : kind_(Kind::Integer), i_(v) {}
    Value(int v) : Value(static_cast<std::int64_t>(v)) {}
    Value(double v) : kind_(Kind::Real), d_(v) {}
    Value(std::string v) : kind_(Kind::Text), s_(std::move(v)) {}
    Value(std::string_view v) : Value(std::string(v)) {}
    Value(const char *v) : Value(std::string(v)) {}
    static Value binary(std::string bytes);

    Kind kind() const { return kind_; }
    bool is_null() const { return kind_ == Kind::Null; }
    bool is_number() const { return kind_ == Kind::Integer || kind_ == Kind::Real; }
    bool is_text() const { return kind_ == Kind::Text; }

    // Numbers as numbers; a real asked for as an integer goes to the nearest one (halves
    // to even); anything that is not a number gives 0.
    std::int64_t as_integer() const;
    double as_double() const;
    // The text or bytes of a text or binary value; empty for the others.
    const std::string &text() const { return s_; }

    // How the value is shown: empty for a null, numbers as the program writes them
    // ("12", "95754.68", ".5"), texts and dates as they are.
    std::string to_string() const &;
    std::string to_string() &&; // a text is moved out, not copied

    friend bool operator==(const Value &a, const Value &b);

  private:
    Kind kind_ = Kind::Null;
    std::int64_t i_ = 0;
    double d_ = 0.0;
    std::string s_;
};

// Where a record lies in its table: its position in table order, which does not change
// while the file does not, so a bookmark taken in one opening finds the same record in
// a later opening of the same file. Only meaningful on the table or query it came from.
// On a server, table order is the primary key's, else the order the rows were first
// read in, kept while the table does not change.
struct Bookmark {
    std::int64_t row = -1;
    friend bool operator==(const Bookmark &, const Bookmark &) = default;
};

class Connection; // the open file, its lock and its engine (dao.cpp)
class Rows;       // a table's decoded values (dao_rows.h)

// How a table recordset is opened. Neither ever writes; DenyWrite asks that nobody else
// writes while it is open, which the connection's lock on the file already keeps from
// every program that takes such locks before writing.
enum class Access { ReadOnly, DenyWrite };

// A read-only view of one table or one stored query, with a current record.
// Positions: bof() before the first record, eof() after the last; both on an empty
// set. Moving past either end stays there. Reading a value without a current record
// throws.
class Recordset {
  public:
    Recordset();
    ~Recordset();
    Recordset(Recordset &&) noexcept;
    Recordset &operator=(Recordset &&) noexcept;
    Recordset(const Recordset &) = delete;
    Recordset &operator=(const Recordset &) = delete;

    const std::string &name() const; // the table or query name as stored
    bool is_query() const;

    // Orders the records by the index of that name (as stored in the file, compared
    // without regard to case) and makes the first of them current. An empty name goes
    // back to table order.
    void select_index(std::string_view index_name);
    const std::string &index() const; // the selected index's name, empty for none

    // Finds the first record, in index order, whose first key field equals the key.
    // Texts compare without regard to case (and are ordered by character code, not by
    // a language's alphabet); a key field holding numbers compares numerically (a text
    // key is read as a number, and one that is not a number is an error); a number
    // sought in a text field is sought as its text. Found: that record is current and
    // no_match() is false. Not found: no_match() is true and the recordset is at its
    // end. Returns !no_match().
    bool seek(const Value &key);
    bool no_match() const;

    bool eof() const;
    bool bof() const;
    void move_first();
    void move_last();
    void move_next();
    void move_previous();
    std::int64_t record_count() const;

    // 0-based position of the current record in the present order; -1 when there is
    // none. Setting it outside 0 .. record_count() - 1 throws.
    std::int64_t absolute_position() const;
    void set_absolute_position(std::int64_t position);

    Bookmark bookmark() const; // throws without a current record
    void set_bookmark(Bookmark b);

    int field_count() const;
    const std::vector<FieldInfo> &fields() const;
    // Position of the field of that name: the exact name first, else the name without
    // regard to case. Throws when there is none.
    int field_index(std::string_view field_name) const;
    Value value(int position) const;
    Value value(std::string_view field_name) const;
    bool is_null(int position) const { return value(position).is_null(); }
    // The current record's values in field order (what a bound viewer shows; it stays
    // valid after the recordset is closed).
    std::vector<Value> values() const;

    void close();
    bool is_open() const;

  private:
    friend class Database;
    struct State;
    State &live() const; // the state, after checking that it can still be used
    std::unique_ptr<State> s_;
};

// True when the location names a database on a PostgreSQL server: a connection URI,
// starting "postgresql://" or "postgres://" (in any case), rather than a file's path.
bool is_server_uri(std::string_view location);

// The location as it may be shown or logged: a URI with its password (after the user
// name, or the value of any parameter whose name holds "password", in any case and
// however percent-encoded) replaced by "*****"; a path as it is.
std::string shown_location(std::string_view location);

// True when a lookup in the database at this location can go ahead: the file is there
// (after files::resolve), or the location is a server's URI (whether the server
// answers is learnt when the database is opened).
bool location_present(std::string_view location);

class Database {
  public:
    // Opens a database for reading. exclusive takes the file's lock exclusively; the
    // default shares it. Throws dao::Error when the file is missing, unreadable, in use
    // by an opening that excludes this one, not a database or damaged.
    //
    // A server's URI is passed to libpq as it stands (connect_timeout 10 seconds unless
    // the URI sets one; passwords come from libpq's own places: ~/.pgpass, PGPASSFILE,
    // PGPASSWORD, or the URI). Everything an opening reads is read in one read-only
    // transaction, so it sees one state of the database; each statement is limited to
    // 60 seconds (unless the session sets another limit). Closing ends the transaction
    // and keeps the connection, idle, for the next opening of the same URI, until the
    // server ends it after five minutes unused. exclusive means nothing there. Throws
    // dao::Error when the server cannot be reached or refuses the user.
    static Database open(const std::filesystem::path &path, bool exclusive = false);

    Database();
    ~Database();
    Database(Database &&) noexcept;
    Database &operator=(Database &&) noexcept;
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    const std::string &path() const;
    Engine engine() const;
    // The state of the database this opening reads, as text: the same while nothing in
    // it has changed, another after any change (of the file; on a server, of any table's
    // rows, fields or indexes), so that what was read in one opening can be known to
    // still hold in a later one. Positions and bookmarks taken under one version find
    // the same records under it.
    std::string version() const;
    LockMode lock_mode() const;

    // The user tables with their fields and indexes, in the file's order (on a server:
    // the tables the search path shows, in the order they were made).
    const std::vector<TableInfo> &tables() const;
    // The table of that name (compared without regard to case); throws when missing.
    const TableInfo &table(std::string_view name) const;
    // The stored queries (SQLite and PostgreSQL views, Access saved queries) by name.
    std::vector<std::string> queries() const;

    // A table-type recordset on the table of that name (compared without regard to
    // case), at its first record in table order.
    Recordset open_table(std::string_view name, Access access = Access::ReadOnly);
    // The same table with only the named fields (each found as field_index finds it),
    // kept in table order: the records, their order, values and bookmarks are those of
    // open_table, so a caller that needs a few fields of a wide table holds only those.
    // Only the whole table's recordset can select an index. Where the engine cannot read
    // fields alone in table order (server tables without a primary key), or reading them
    // costs as much as the whole table (Access files, whose records a search then
    // fetches from what was kept), the whole table is read and kept.
    Recordset open_table(std::string_view name, const std::vector<std::string> &field_names);
    // The whole records of the table at these bookmarks, in the order given, each as
    // Recordset::values gives it. SQLite reads only those records (by rowid, its table
    // order); the other engines read the whole table. A bookmark outside the table
    // throws.
    std::vector<std::vector<Value>> records(std::string_view table,
                                            const std::vector<Bookmark> &at);
    // A recordset on the stored query of that name, at its first record. Access saved
    // queries cannot be run here (libmdb does not run them): that throws.
    Recordset open_query(std::string_view name);

    // Ends the connection and releases the lock; recordsets opened from it can no longer
    // be used. Also done by the destructor.
    void close();
    bool is_open() const;

  private:
    friend Database open_site_database(const std::string &location);
    // A recordset over rows of one of this connection's tables, at its first row.
    Recordset table_recordset(const TableInfo &table, std::shared_ptr<const Rows> rows,
                              bool some_fields) const;

    std::shared_ptr<Connection> c_;
};

// Opens the site database the way every lookup does: read-only, and exclusively when the
// file is marked read-only and nothing else (on this system: no write permission bit is
// set), shared otherwise. The location is as the project writes it: a path (resolved
// with files::resolve) or a server's URI (as it stands).
//
// A project file may come from anywhere (a disc, a shared drive), so its URI may say
// only where the data are: host, port, dbname, user, sslmode and connect_timeout; one
// holding anything else (a password, a password file, keys, a service, server options)
// is refused, naming what it sets. The user's stored passwords (PGPASSWORD, ~/.pgpass,
// PGPASSFILE) go only to servers the user lists in TAVI.ini, section kServersSection,
// key kStoredPasswordsKey ("host" or "host:port" entries, separated by commas; "*" for
// any); another server that asks for a password is refused one, and the message says
// how to allow it.
Database open_site_database(const std::string &location);
inline constexpr const char *kServersSection = "Servers";
inline constexpr const char *kStoredPasswordsKey = "Stored Passwords";

// The cache of decoded tables shared by all openings. The limit bounds what it keeps
// (the tables in use are kept whatever their size); clear_cache() empties it, so that the
// next opening reads the file afresh.
void set_cache_limit(std::size_t bytes);
std::size_t cache_limit();
std::size_t cache_bytes();
void clear_cache();

} // namespace dao
