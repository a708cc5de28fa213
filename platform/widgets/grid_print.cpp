#include "platform/widgets/grid_print.h"

#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <numeric>
#include <vector>

#include "platform/reports/table_layout.h"

namespace grid {

namespace {

// No column takes more than this share of the page's width: a long text wraps in it
// rather than pushing every other column onto pages of their own.
constexpr double kWidestShare = 0.45;

// Bands of columns as wide as a page takes, the row headers (index 0 when printed)
// leading each band.
std::vector<reports::TableLayout::Band> bands(const reports::TableLayout &layout, bool row_headers,
                                              double room) {
    const std::vector<double> &w = layout.widths();
    const int first = row_headers ? 1 : 0;
    const double lead = row_headers ? w[0] : 0.0;
    std::vector<reports::TableLayout::Band> out;
    for (int c = first; c < static_cast<int>(w.size());) {
        reports::TableLayout::Band band;
        if (row_headers)
            band.push_back(0);
        double used = lead;
        while (c < static_cast<int>(w.size()) && (band.size() == static_cast<std::size_t>(first) ||
                                                  used + w[static_cast<std::size_t>(c)] <= room)) {
            used += w[static_cast<std::size_t>(c)];
            band.push_back(c++);
        }
        out.push_back(std::move(band));
    }
    if (out.empty() && row_headers)
        out.push_back({0});
    return out;
}

} // namespace

bool print(const Sheet &sheet, QPrinter &printer, const PrintOptions &options) {
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    QFont font = painter.font();
    font.setPointSizeF(9);
    const QSizeF area = printer.pageLayout().paintRectPixels(printer.resolution()).size();

    const int last_column =
        options.used_extent_only ? sheet.data_column_count() : sheet.column_count();
    const int last_row = options.used_extent_only ? sheet.data_row_count() : sheet.row_count();
    std::vector<int> columns(static_cast<std::size_t>(last_column) + (options.row_headers ? 1 : 0));
    std::iota(columns.begin(), columns.end(), options.row_headers ? 0 : 1);
    reports::TableStyle style;
    style.column_headers = options.column_headers;
    style.grid_lines = options.grid_lines;
    style.frame = options.borders;
    style.shaded_headers = options.shadows;
    style.back_colours = options.colour;
    reports::TableLayout layout(sheet, std::move(columns), last_row, font, &printer, style);
    std::vector<double> widths = layout.natural_widths();
    const double widest = std::max(layout.narrowest(), area.width() * kWidestShare);
    for (double &w : widths)
        w = std::min(w, widest);
    layout.set_widths(std::move(widths));

    // Each band of columns down all its rows, then the next band.
    bool first_page = true;
    for (const reports::TableLayout::Band &band : bands(layout, options.row_headers, area.width()))
        for (const reports::TableLayout::Page &page :
             layout.paginate(band, area.height(), area.height())) {
            if (!first_page)
                printer.newPage();
            first_page = false;
            layout.paint(painter, QPointF(0, 0), band, page);
        }
    return painter.end();
}

} // namespace grid
