// The files that lie beside a drawing: its index (.zix), its linked-data description
// (.sup) and its object table (.dbf).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "drawing/drw_format.h"

namespace writers {

// Writes index records. Readers stop at the first record beyond the right edge of the
// view, so the records are ordered by x min first (stable); sorted = false writes them
// exactly as given.
bool write_index(const std::filesystem::path &zix, std::vector<drawing::IndexRecord> records,
                 bool sorted = true);

// The linked-data description: the kind, then its text fields (file and table names,
// index names), one quoted field per line.
bool write_sup(const std::filesystem::path &sup, int kind, const std::vector<std::string> &fields);

// One row of a drawing's object table: which group (by the unit number of its -200
// unit) holds the objects with this reference.
struct ObjectTableRow {
    std::string reference;  // field "DRAWING", character 12
    int32_t first_unit = 0; // field "FIRSTREC"
    int32_t records = 0;    // field "RECORDS": the group's length in units
};
inline constexpr int kReferenceWidth = 12;

// Writes the object table as a dBASE file with the fields DRAWING (C 12), FIRSTREC
// (N 10) and RECORDS (N 10), rows in the order given.
bool write_object_table(const std::filesystem::path &dbf, std::span<const ObjectTableRow> rows);

} // namespace writers
