// Printing a grid's sheet: a table of the header row and the data rows laid out on the
// printer's pages, each cell's text wrapped within its column and never cut short. A
// table longer than a page goes on over as many pages as it needs, each starting with
// the header row again; one wider than a page goes on in bands of columns, each band
// printed down all its rows before the next.
#pragma once

#include "platform/exports/grid_sheet.h"

class QPrinter;

namespace grid {

struct PrintOptions {
    bool borders = true;          // a frame around the table
    bool column_headers = true;   // the header row at the top of every page
    bool row_headers = true;      // the row-header column at the left
    bool colour = true;           // the cells' back colours
    bool grid_lines = true;       // lines between the cells
    bool shadows = true;          // the headers on a grey ground
    bool used_extent_only = true; // up to the last row and column holding anything
};

// Prints onto the printer as it is set up (a real printer, or a PDF file name).
// False when the printer could not be started.
bool print(const Sheet &sheet, QPrinter &printer, const PrintOptions &options);

} // namespace grid
