// A database the program reads (an Access file, say) copied into a new SQLite file:
// every table with its fields, rows and indexes, values with their kinds, through the
// program's own database layer. Tests and benchmarks read the same data through both
// engines this way.
#pragma once

#include <filesystem>

namespace sample {

// Throws std::runtime_error (or dao::Error from the source) when the copy cannot be made.
void copy_to_sqlite(const std::filesystem::path &from, const std::filesystem::path &to);

} // namespace sample
