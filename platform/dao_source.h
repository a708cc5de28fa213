// What each database engine provides to the connection: the catalogue of a file, and
// the decoded rows of one table or stored query. An engine reads; it never writes.
// Failures are thrown as dao::Error naming the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dao.h"
#include "platform/dao_rows.h"

namespace dao {

struct QueryInfo {
    std::string name;
    bool runnable = true; // false where the engine cannot run it (Access saved queries)
};

struct Catalog {
    std::vector<TableInfo> tables;
    std::vector<QueryInfo> queries;
};

class Source {
  public:
    virtual ~Source() = default;
    virtual Catalog read_catalog() = 0;
    // Every row of the table, in table order.
    virtual std::shared_ptr<Rows> read_table(const TableInfo &table) = 0;
    virtual std::shared_ptr<Rows> run_query(const QueryInfo &query) = 0;
};

// An Access file through libmdb; file_size is the size the caller found (whole pages).
std::unique_ptr<Source> open_access_source(const std::string &path, std::int64_t file_size);
// An SQLite file, read-only; file_size as for Access.
std::unique_ptr<Source> open_sqlite_source(const std::string &path, std::int64_t file_size);

} // namespace dao
