// The cache of what has been read from database files, shared by every opening: a
// file's catalogue, and the decoded rows of each table or query opened in it. An entry
// belongs to one state of one file (path, identity, size, modification and change
// times); a file found changed is read afresh. Rows are dropped least recently used
// first once the cache holds more than its limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/db/dao_source.h"

namespace dao {

struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified_ns = 0;
    std::int64_t changed_ns = 0;
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

// The catalogue of the file at key in the state stamp; load() reads it on a miss.
std::shared_ptr<const Catalog> cached_catalog(const std::string &key, const FileStamp &stamp,
                                              const std::function<Catalog()> &load);

// The rows of one object (a table or query, named by the caller) of that file.
std::shared_ptr<const Rows> cached_rows(const std::string &key, const FileStamp &stamp,
                                        const std::string &object,
                                        const std::function<std::shared_ptr<Rows>()> &load);

} // namespace dao
