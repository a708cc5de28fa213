#include "platform/exports/grid_table.h"

namespace grid {

exporting::Table to_table(const Sheet &sheet) {
    exporting::Table table;
    const int columns = sheet.data_column_count();
    const int rows = sheet.data_row_count();
    table.headers.reserve(static_cast<std::size_t>(columns));
    for (int c = 1; c <= columns; ++c)
        table.headers.push_back(sheet.text(c, 0).toStdString());
    table.rows.resize(static_cast<std::size_t>(rows));
    for (int r = 1; r <= rows; ++r) {
        auto &row = table.rows[static_cast<std::size_t>(r - 1)];
        row.reserve(static_cast<std::size_t>(columns));
        for (int c = 1; c <= columns; ++c) {
            if (sheet.holds_number(c, r))
                row.emplace_back(sheet.value(c, r));
            else
                row.emplace_back(sheet.text(c, r).toStdString());
        }
    }
    return table;
}

} // namespace grid
