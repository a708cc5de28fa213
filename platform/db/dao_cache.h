// The cache of what has been read from database files, shared by every opening: a
// file's catalogue, and the decoded rows of each table or query opened in it. An entry
// belongs to one state of one file (its path and identity: size, modification and change
// times, device and file number, as the drawings held between redraws are known); a
// file found changed is read afresh, and so is one whose identity was taken within a
// tick of its clock (racy), by every opening but the one that took it. Rows are dropped
// least recently used first once the cache holds more than its limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/base/file_identity.h"
#include "platform/db/dao_source.h"

namespace dao {

using FileStamp = files::Identity;

// The catalogue of the file at key in the state stamp; load() reads it on a miss.
std::shared_ptr<const Catalog> cached_catalog(const std::string &key, const FileStamp &stamp,
                                              const std::function<Catalog()> &load);

// The rows of one object (a table or query, named by the caller) of that file.
std::shared_ptr<const Rows> cached_rows(const std::string &key, const FileStamp &stamp,
                                        const std::string &object,
                                        const std::function<std::shared_ptr<Rows>()> &load);

} // namespace dao
