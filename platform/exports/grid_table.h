// A grid's content as a table for the export writers.
#pragma once

#include "platform/exports/export_table.h"
#include "platform/exports/grid_sheet.h"

namespace grid {

// The header row (row 0) and the data rows of the sheet's used extent: rows after the
// last one holding anything and columns after the last one holding anything (header
// row included) are left out, since a window provides more rows than a search fills.
// Cells of numeric and tick-box columns that hold numbers go as numbers, all others as
// their text. The row headers (column 0) are not part of the table.
exporting::Table to_table(const Sheet &sheet);

} // namespace grid
