// What each database engine provides to the connection: the catalogue of a file, and
// the decoded rows of one table or stored query. An engine reads; it never writes.
// Failures are thrown as dao::Error naming the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/dao.h"
#include "platform/db/dao_rows.h"

namespace dao {

struct QueryInfo {
    std::string name;
    bool runnable = true; // false where the engine cannot run it (Access saved queries)
};

struct Catalog {
    std::vector<TableInfo> tables;
    std::vector<QueryInfo> queries;
};

// Where an engine puts the values of a table as it decodes them: each row's values in
// field order, row after row.
class CellSink {
  public:
    virtual ~CellSink() = default;
    virtual void add_null() = 0;
    virtual void add_integer(std::int64_t v) = 0;
    virtual void add_real(double v) = 0;
    virtual void add_text(std::string_view utf8) = 0;
    virtual void add_binary(std::string_view bytes) = 0;
};

class Source {
  public:
    virtual ~Source() = default;
    virtual Catalog read_catalog() = 0;
    // Every row of the table, in table order.
    virtual std::shared_ptr<Rows> read_table(const TableInfo &table) = 0;
    virtual std::shared_ptr<Rows> run_query(const QueryInfo &query) = 0;
    // The fields at these positions (ascending, possibly none) of every row, in table
    // order, with the values read_table gives them; an engine that can fetch single rows
    // again gives each row's locator with them. Null where the engine cannot read fields
    // alone in the order of read_table: the caller takes them from the whole table.
    virtual std::shared_ptr<Rows> read_columns(const TableInfo &table,
                                               const std::vector<int> &columns) {
        (void)table;
        (void)columns;
        return nullptr;
    }
    // The whole rows with these locators (from read_columns), in the order given; only
    // asked of an engine that gave locators.
    virtual std::shared_ptr<Rows> read_located(const TableInfo &table,
                                               const std::vector<std::int64_t> &locators) {
        (void)locators;
        throw Error("table \"" + table.name + "\": its rows cannot be fetched one by one");
    }
};

// An Access file; file_size is the size the caller found (whole pages). Decoded in a
// reader process of its own (see dao_reader.h), so that a fault of libmdb on a damaged
// file ends that process, not the program.
std::unique_ptr<Source> open_access_source(const std::string &path, std::int64_t file_size);

// An Access file through libmdb in this process: what the reader process runs.
class AccessFile : public Source {
  public:
    // Streams every row of the table of that exact name (as the catalogue gives it)
    // into sink.
    virtual void read_table_into(const TableInfo &table, CellSink &sink) = 0;
};
std::unique_ptr<AccessFile> open_access_file(const std::string &path, std::int64_t file_size);
// An SQLite file, read-only; file_size as for Access.
std::unique_ptr<Source> open_sqlite_source(const std::string &path, std::int64_t file_size);

// A database on a server: connected when made, with everything read in one read-only
// transaction begun then.
class ServerSource : public Source {
  public:
    // A digest of what the cache keeps for the database: the names, fields and indexes
    // of its tables and views and the server's counts of rows written to each table.
    // While it is the same, the cached catalogue and rows still hold (as soon as the
    // server's statistics have a change, normally within a second of its commit).
    virtual std::string state() = 0;
};

// How a server is connected to beyond its URI.
struct ServerOptions {
    // Whether libpq may send the passwords the user stored (PGPASSWORD, ~/.pgpass,
    // PGPASSFILE); when not, a server that asks for one is told none is given, and
    // the message says how to allow it (allow_hint).
    bool stored_passwords = true;
    std::string allow_hint;
    std::vector<std::string> servers; // as servers_of gives them
};

// A PostgreSQL database by its connection URI, passed to libpq as it stands; shown names
// it in messages (the URI without its password).
std::unique_ptr<ServerSource> open_postgresql_source(const std::string &uri,
                                                     const std::string &shown,
                                                     const ServerOptions &options = {});

} // namespace dao
