#include "interrogation/site_search.h"

#include <QString>

#include <algorithm>
#include <limits>
#include <thread>

#include "drawing/symbols.h"
#include "interrogation/mouse_tools.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"
#include "sites/point_plot.h"
#include "view/grid_ref.h"
#include "zent32i_binding.h"

namespace interrogation {

namespace {

// A found point is ringed this many pixels clear of its symbol, which would hide a
// ring any smaller.
constexpr int kMarkGap = 3;
constexpr int16_t kFlashSymbol = 2;
constexpr int16_t kFlashSize = 3;
constexpr gdi::Colour kFlashGreen = gdi::rgb(0, 255, 0);
constexpr gdi::Colour kFlashRed = gdi::rgb(255, 0, 0);
// A site-list tool used while nothing is plotted (the plot failed or was cleared) would
// otherwise do nothing at all.
constexpr const char *kNothingPlotted =
    "No excavation locations are plotted: the site list was not searched";

struct Box {
    double x_min = std::numeric_limits<double>::max(), y_min = std::numeric_limits<double>::max();
    double x_max = std::numeric_limits<double>::lowest(),
           y_max = std::numeric_limits<double>::lowest();
    bool holds(double x, double y) const {
        return x >= x_min && x <= x_max && y >= y_min && y <= y_max;
    }
};

Box extent(const Shape &vertices, double grow) {
    Box b;
    for (const ShapePoint &v : vertices) {
        b.x_min = std::min<double>(b.x_min, v.x);
        b.y_min = std::min<double>(b.y_min, v.y);
        b.x_max = std::max<double>(b.x_max, v.x);
        b.y_max = std::max<double>(b.y_max, v.y);
    }
    b.x_min -= grow;
    b.y_min -= grow;
    b.x_max += grow;
    b.y_max += grow;
    return b;
}

// The points of the box's slice that pass the test, in store order.
template <typename Test>
std::vector<int32_t> select(const state::PointStore &store, const Box &box, Test &&test) {
    std::vector<int32_t> found;
    const auto [lo, hi] = store.x_slice(box.x_min, box.x_max);
    for (int32_t i = lo; i < hi; ++i) {
        const int32_t x = store.easting(i), y = store.northing(i);
        if (box.holds(x, y) && test(x, y))
            found.push_back(i);
    }
    return found;
}

dao::Recordset open_source(dao::Database &db, const state::PointSet &set) {
    if (set.source == state::PointSet::Query)
        return db.open_query(set.table);
    return db.open_table(set.table);
}

bool reads_records(const state::PointSet &set) {
    return set.source == state::PointSet::Table || set.source == state::PointSet::Query;
}

// Decimals a real needs as the database layer writes it ("95754.68" needs 2).
int decimals_of(const dao::Value &v) {
    if (v.kind() != dao::Value::Kind::Real)
        return 0;
    const std::string s = v.to_string();
    const std::size_t dot = s.find('.');
    if (dot == std::string::npos || s.find_first_of("eE") != std::string::npos)
        return 0;
    return static_cast<int>(std::min<std::size_t>(s.size() - dot - 1, 15));
}

// What a caller that cannot plot again says of a site list changed since its plot.
std::string changed_since_plotted(const std::string &path) {
    return "Site records of " + dao::shown_location(path) +
           " could not be read: the site list changed since it was plotted; plot it again";
}

// The site list plotted again, as it was plotted: one table set. False when the store
// is not that, or the plot fails (then said says why).
bool plot_again(SiteSearchState &state, gdi::DeviceContext *dc, const state::UiHooks &ui,
                std::string &said) {
    if (state.points.sets.size() != 1 || state.points.sets[0].source != state::PointSet::Table)
        return false;
    const state::PointSet set = state.points.sets[0];
    state::PointStore fresh;
    try {
        const sites::PlotResult r = sites::Plot_Excavation_Points(
            fresh, set.database, set.table, state.view, nullptr, set.colour, ui);
        said = "The site list changed since it was plotted: plotted again, " + num::Str(r.plotted) +
               " points";
        if (r.skipped > 0)
            said += "," + num::Str(r.skipped) + " skipped without a place on the grid";
    } catch (const dao::Error &e) {
        said = "The site list changed since it was plotted and could not be plotted again: " +
               std::string(e.what());
        ui.message(said);
        return false;
    }
    state.points = std::move(fresh);
    if (dc != nullptr) {
        state::Set_Library_View(state.view);
        for (int32_t i = 0; i < state.points.count(); ++i) {
            const state::ExcavationPoint &p = state.points.points[static_cast<std::size_t>(i)];
            int32_t px = 0, py = 0;
            zt::ZT_Calc_3D_xy(state.points.easting(i), state.points.northing(i), p.elevation, &px,
                              &py);
            drawing::Plot_A_Symbol(*dc, p.symbol_number, p.symbol_size, px, py, p.colour);
        }
    }
    ui.message(said);
    return true;
}

// The points select() picks, their records, and the marks on the map; when the site
// list changed since it was plotted, plotted again and searched anew, once.
template <typename Select>
SiteRows search_and_mark(SiteSearchState &state, const Select &select, gdi::DeviceContext *dc,
                         const state::UiHooks &ui) {
    std::vector<int32_t> found = select();
    SiteRows rows = site_rows(state.points, found, ui);
    if (rows.changed) {
        std::string said;
        const bool plotted = plot_again(state, dc, ui, said);
        if (plotted) {
            found = select();
            rows = site_rows(state.points, found, ui);
        }
        if (!said.empty())
            rows.notes.push_back(said);
        if (rows.changed || !plotted) {
            const std::string database =
                state.points.sets.empty() ? std::string() : state.points.sets[0].database;
            const std::string again = "Site records of " + dao::shown_location(database) +
                                      " could not be read: the site list changed while it was "
                                      "searched; search again";
            rows.rows.clear();
            rows.unreadable.assign(1, again);
            ui.message(again);
            found.clear();
        }
    }
    if (dc != nullptr) {
        state::Set_Library_View(state.view);
        mark_points(*dc, state.points, found);
    }
    return rows;
}

} // namespace

std::string SiteRows::caption() const {
    return "Point Data Interrogation results: Records=" + num::Str(count());
}

std::vector<int32_t> points_in_circle(const state::PointStore &store, int32_t wx, int32_t wy,
                                      double r) {
    Box box;
    box.x_min = wx - r;
    box.x_max = wx + r;
    box.y_min = wy - r;
    box.y_max = wy + r;
    const double r2 = r * r;
    return select(store, box, [&](int32_t x, int32_t y) {
        const double dx = static_cast<double>(x) - wx, dy = static_cast<double>(y) - wy;
        return dx * dx + dy * dy <= r2;
    });
}

std::vector<int32_t> points_in_polygon(const state::PointStore &store, const Shape &vertices) {
    if (vertices.size() < 3)
        return {};
    Shape ring = vertices;
    ring.push_back(vertices.front());
    const RingIndex index(ring, static_cast<int32_t>(vertices.size()));
    return select(store, extent(vertices, 0.0), [&](int32_t x, int32_t y) {
        const int32_t r = index.classify(x, y);
        return r == kOnBoundary || r == kInside;
    });
}

std::vector<int32_t> points_near_polyline(const state::PointStore &store, const Shape &vertices,
                                          double search_buffer) {
    if (vertices.size() < 2)
        return {};
    // Segment by segment: only the points of each segment's own box, grown by half the
    // buffer, can lie within half the buffer of it, so a long line looks at the strip
    // along itself rather than at everything within its whole extent.
    const double half = search_buffer / 2.0;
    std::vector<int32_t> found;
    for (std::size_t k = 1; k < vertices.size(); ++k) {
        const Shape segment{vertices[k - 1], vertices[k]};
        const std::vector<int32_t> near =
            select(store, extent(segment, half), [&](int32_t x, int32_t y) {
                return VbDistPointLine(segment, 2, x, y, search_buffer).result == kNearLine;
            });
        found.insert(found.end(), near.begin(), near.end());
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

SiteRows site_rows(const state::PointStore &store, const std::vector<int32_t> &found,
                   const state::UiHooks &ui) {
    SiteRows out;
    out.headers = {kSetHeader, kPointHeader};
    const auto sets = static_cast<int32_t>(store.sets.size());
    for (int32_t k = 1; k <= sets; ++k) {
        const state::PointSet &set = store.sets[static_cast<std::size_t>(k - 1)];
        const std::string path = text::trim_blanks(set.database);
        dao::Database db;
        dao::Recordset rs;
        bool readable = false;
        std::string trouble;
        // A table's found records are fetched alone, where the database can, rather than
        // the whole table read; when that fails they are read one by one below, which
        // says what went wrong as it always has.
        std::vector<std::vector<dao::Value>> fetched;
        bool all_fetched = false;
        if (set.source == state::PointSet::Table) {
            std::vector<dao::Bookmark> at;
            for (const int32_t i : found)
                if (store.points[static_cast<std::size_t>(i)].set_number == k)
                    at.push_back(dao::Bookmark{store.points[static_cast<std::size_t>(i)].bookmark});
            try {
                db = dao::open_site_database(path);
                if (!set.version.empty() && db.version() != set.version) {
                    out.changed = true;
                    out.rows.clear();
                    out.unreadable.push_back(changed_since_plotted(path));
                    return out;
                }
                fetched = db.records(set.table, at);
                const std::vector<dao::FieldInfo> &fields = db.table(set.table).fields;
                // Each record has to be the one plotted at its point (points the plot
                // made know their version; others are taken as they are).
                std::size_t n = 0;
                for (const int32_t i : set.version.empty() ? std::vector<int32_t>() : found) {
                    const state::ExcavationPoint &p = store.points[static_cast<std::size_t>(i)];
                    if (p.set_number != k)
                        continue;
                    if (!sites::is_plotted_record(fields, fetched[n++], store.easting(i),
                                                  store.northing(i), p)) {
                        out.changed = true;
                        out.rows.clear();
                        out.unreadable.push_back(changed_since_plotted(path));
                        return out;
                    }
                }
                out.headers.resize(kFirstFieldColumn - 1);
                for (const dao::FieldInfo &f : fields)
                    out.headers.push_back(f.name);
                all_fetched = true;
            } catch (const dao::Error &) {
                fetched.clear();
            }
        }
        std::size_t next_fetched = 0;
        if (reads_records(set) && !all_fetched) {
            try {
                db = dao::open_site_database(path);
                rs = open_source(db, set);
                out.headers.resize(kFirstFieldColumn - 1);
                for (const dao::FieldInfo &f : rs.fields())
                    out.headers.push_back(f.name);
                readable = true;
            } catch (const dao::Error &e) {
                trouble = e.what();
            }
        }
        for (const int32_t i : found) {
            const state::ExcavationPoint &p = store.points[static_cast<std::size_t>(i)];
            if (p.set_number != k)
                continue;
            std::vector<dao::Value> row{dao::Value(static_cast<int64_t>(k)),
                                        dao::Value(static_cast<int64_t>(i))};
            if (all_fetched) {
                std::vector<dao::Value> &values = fetched[next_fetched++];
                row.insert(row.end(), std::make_move_iterator(values.begin()),
                           std::make_move_iterator(values.end()));
            } else if (readable) {
                try {
                    if (set.source == state::PointSet::Table)
                        rs.set_bookmark(dao::Bookmark{p.bookmark});
                    else // record numbers count from 1, positions from 0
                        rs.set_absolute_position(static_cast<int64_t>(p.record_number) - 1);
                    std::vector<dao::Value> values = rs.values();
                    row.insert(row.end(), std::make_move_iterator(values.begin()),
                               std::make_move_iterator(values.end()));
                } catch (const dao::Error &e) {
                    if (trouble.empty())
                        trouble = e.what();
                }
            }
            out.rows.push_back(std::move(row));
        }
        if (!trouble.empty()) {
            const std::string said =
                "Site records of " + dao::shown_location(path) + " could not be read: " + trouble;
            out.unreadable.push_back(said);
            ui.message(said);
        }
    }
    return out;
}

std::string header_name(const std::string &field_name) {
    std::string s = text::trim_blanks(field_name);
    std::replace(s.begin(), s.end(), ' ', '_');
    return s;
}

std::vector<std::string> header_names(const state::PointStore &store, int32_t set) {
    std::vector<std::string> names{kDataRefHeader, kRecPosHeader};
    if (set < 1 || set > static_cast<int32_t>(store.sets.size()))
        return names;
    const state::PointSet &s = store.sets[static_cast<std::size_t>(set - 1)];
    if (!reads_records(s))
        return names;
    try {
        dao::Database db = dao::open_site_database(text::trim_blanks(s.database));
        // A table's fields are in its catalogue; only a query has to be run for them.
        if (s.source == state::PointSet::Table)
            for (const dao::FieldInfo &f : db.table(s.table).fields)
                names.push_back(header_name(f.name));
        else
            for (const dao::FieldInfo &f : open_source(db, s).fields())
                names.push_back(header_name(f.name));
    } catch (const dao::Error &) {
        // The headers the window has keep standing; the caller has only these two.
    }
    return names;
}

std::vector<std::string> export_headers(const state::PointStore &store, const SiteRows &rows) {
    int32_t set = 0;
    if (!rows.rows.empty() && !rows.rows.front().empty())
        set = static_cast<int32_t>(rows.rows.front().front().as_integer());
    std::vector<std::string> names = header_names(store, set);
    std::size_t columns = rows.headers.size();
    for (const auto &r : rows.rows)
        columns = std::max(columns, r.size());
    // As many as the rows have columns: a first set wider than the rest names no more.
    names.resize(std::min(names.size(), columns));
    for (std::size_t c = names.size(); c < rows.headers.size(); ++c)
        names.push_back(header_name(rows.headers[c]));
    return names;
}

grid::Sheet result_sheet(const SiteRows &rows, const std::vector<std::string> &headers) {
    std::size_t columns = headers.size();
    for (const auto &r : rows.rows)
        columns = std::max(columns, r.size());
    grid::Sheet sheet(static_cast<int>(columns), rows.count());
    for (std::size_t c = 0; c < headers.size(); ++c)
        sheet.set_text(static_cast<int>(c) + 1, 0, QString::fromStdString(headers[c]));
    for (std::size_t c = 0; c < columns; ++c) {
        bool numbers = false, texts = false;
        int decimals = 0;
        for (const auto &r : rows.rows) {
            if (c >= r.size() || r[c].is_null())
                continue;
            if (r[c].is_number()) {
                numbers = true;
                decimals = std::max(decimals, decimals_of(r[c]));
            } else {
                texts = true;
            }
        }
        const int column = static_cast<int>(c) + 1;
        const bool numeric = numbers && !texts;
        if (numeric)
            sheet.set_column_type(column, grid::CellType::Numeric, decimals);
        for (std::size_t r = 0; r < rows.rows.size(); ++r) {
            const auto &row = rows.rows[r];
            if (c >= row.size() || row[c].is_null())
                continue;
            const int at = static_cast<int>(r) + 1;
            if (numeric)
                sheet.set_value(column, at, row[c].as_double());
            else
                sheet.set_text(column, at, QString::fromStdString(row[c].to_string()));
        }
    }
    return sheet;
}

void mark_points(gdi::DeviceContext &dc, const state::PointStore &store,
                 const std::vector<int32_t> &found) {
    const gdi::Colour colour = dc.pen().colour;
    const gdi::Pen old_pen = dc.select(gdi::Pen{gdi::PenStyle::Solid, 0, colour});
    const gdi::Brush old_brush = dc.select(gdi::Brush::null());
    const gdi::Rop2 old_rop = dc.set_rop2(gdi::Rop2::CopyPen);
    for (const int32_t i : found) {
        int32_t px = 0, py = 0;
        zt::ZT_Calc_3D_xy(store.easting(i), store.northing(i),
                          store.points[static_cast<std::size_t>(i)].elevation, &px, &py);
        // The symbol's radius is twice its size (see drawing::Plot_A_Symbol).
        const int r = 2 * store.points[static_cast<std::size_t>(i)].symbol_size + kMarkGap;
        dc.ellipse(px - r, py - r, px + r + 1, py + r + 1);
    }
    dc.set_rop2(old_rop);
    dc.select(old_brush);
    dc.select(old_pen);
}

std::optional<SiteRows> Point_Data_Search(SiteSearchState &state, int32_t wx, int32_t wy,
                                          gdi::DeviceContext *dc, const state::UiHooks &ui) {
    double &buffer = state.settings.Search_Buffer;
    double r = buffer / 2.0;
    if (r == 0.0) {
        r = 100.0;
        buffer = 200.0;
    }
    if (state.points.empty()) {
        ui.message(kNothingPlotted);
        return std::nullopt;
    }
    ui.pointer(state::kPointerBusy);
    SiteRows rows = search_and_mark(
        state, [&] { return points_in_circle(state.points, wx, wy, r); }, dc, ui);
    ui.pointer(state.interaction.Cursor_Style + 1);
    return rows;
}

void DrawnShape::add(ShapePoint world_point, gdi::Point screen_point, gdi::DeviceContext *dc) {
    const auto at = static_cast<std::size_t>(count);
    world.resize(at + 1);
    screen.resize(at + 1);
    world[at] = world_point;
    screen[at] = screen_point;
    if (dc != nullptr) {
        const gdi::Rop2 old_rop = dc->set_rop2(gdi::Rop2::CopyPen);
        if (count == 0) {
            dc->set_pixel(screen_point.x, screen_point.y, dc->pen().colour);
        } else {
            dc->move_to(screen[at - 1].x, screen[at - 1].y);
            dc->line_to(screen_point.x, screen_point.y);
        }
        dc->set_rop2(old_rop);
    }
    ++count;
}

SiteRows polygon_search(SiteSearchState &state, const Shape &vertices, gdi::DeviceContext *dc,
                        const state::UiHooks &ui) {
    ui.pointer(state::kPointerBusy);
    SiteRows rows = search_and_mark(
        state, [&] { return points_in_polygon(state.points, vertices); }, dc, ui);
    ui.pointer(state.interaction.Cursor_Style + 1);
    return rows;
}

SiteRows polyline_search(SiteSearchState &state, const Shape &vertices, gdi::DeviceContext *dc,
                         const state::UiHooks &ui) {
    ui.pointer(state::kPointerBusy);
    SiteRows rows = search_and_mark(
        state,
        [&] { return points_near_polyline(state.points, vertices, state.settings.Search_Buffer); },
        dc, ui);
    ui.pointer(state.interaction.Cursor_Style + 1);
    return rows;
}

std::optional<SiteRows> Interrogate_By_Drawn_polygon(SiteSearchState &state, DrawnShape &shape,
                                                     gdi::DeviceContext *dc, int32_t sx, int32_t sy,
                                                     int32_t wx, int32_t wy, int32_t button,
                                                     int32_t search_shape,
                                                     const state::UiHooks &ui) {
    auto &ia = state.interaction;
    if (ia.Tool_Code == state::ToolCode::PolylineStart) {
        shape.count = 0;
        ia.Tool_Code = state::ToolCode::Polyline;
    } else if (ia.Tool_Code == state::ToolCode::PolygonStart) {
        shape.count = 0;
        ia.Tool_Code = state::ToolCode::Polygon;
    }
    const bool polygon = search_shape == 1;
    const bool left = button == kLeftButton;
    if (button != kLeftButton && button != kRightButton)
        return std::nullopt;

    // A vertex where the click is (a ring closed at once is the click alone); a right
    // click closes a polygon back to its first vertex and ends a polyline without one.
    if (left || (polygon && shape.count == 0))
        shape.add(ShapePoint{wx, wy, 0}, gdi::Point{sx, sy}, dc);
    else if (polygon)
        shape.add(shape.world[0], shape.screen[0], dc);
    if (left)
        return std::nullopt;

    ia.Tool_Code = state::ToolCode::None;
    if (state.points.empty()) {
        ui.message(kNothingPlotted);
        return std::nullopt;
    }
    if (polygon) {
        // The closing vertex repeats the first; the search closes the ring itself.
        const Shape open(shape.world.begin(), shape.world.begin() + (shape.count - 1));
        return polygon_search(state, open, dc, ui);
    }
    const Shape line(shape.world.begin(), shape.world.begin() + shape.count);
    return polyline_search(state, line, dc, ui);
}

SiteRecordLookup site_record(const std::string &reference, state::DrawingTable &drawings,
                             const state::UiHooks &ui) {
    SiteRecordLookup out;
    const std::string ref = text::trim_blanks(reference);
    if (ref.empty())
        return out;
    const sites::LinkedData linked = sites::linked_data(drawings);
    if (!sites::database_present(drawings, ui)) {
        out.missing = sites::missing_message(linked.path);
        return out;
    }
    const double number = num::Val(ref);
    // Reading as 0, the reference would match whichever record comes first.
    if (number == 0.0) {
        ui.message("Reference " + ref + " names no site");
        return out;
    }
    dao::Database db = dao::open_site_database(linked.path);
    dao::Recordset rs = db.open_table(sites::kSiteTable);
    rs.select_index(sites::kSiteIndex);
    for (rs.move_first(); !rs.eof(); rs.move_next()) {
        const dao::Value first = rs.value(0);
        if (first.is_null() || static_cast<double>(first.as_integer()) != number)
            continue;
        sites::RecordView &v = out.site;
        for (const dao::FieldInfo &f : rs.fields())
            v.names.push_back(f.name);
        v.values = rs.values();
        v.database = linked.path;
        v.table = sites::kSiteTable;
        v.index = sites::kSiteIndex;
        v.bookmark = rs.bookmark();
        v.found = true;
        return out;
    }
    ui.message("Site " + ref + " is not in the site list");
    return out;
}

std::optional<std::pair<int32_t, int32_t>>
Flash_Point(const state::ViewState &view, gdi::DeviceContext &dc, const std::string &reference,
            double east_metres, double north_metres, const state::UiHooks &ui,
            std::chrono::milliseconds pause) {
    std::string square = text::trim_blanks(reference);
    if (square.size() < 2)
        return std::nullopt;
    int32_t east = num::nearest_clamped(east_metres * state::kUnitsPerMetre);
    int32_t north = num::nearest_clamped(north_metres * state::kUnitsPerMetre);
    view::NGR_To_Zent(square, east, north);
    state::Set_Library_View(view);
    int32_t px = 0, py = 0;
    zt::ZT_Calc_3D_xy(east, north, 0, &px, &py);
    const gdi::Rop2 old_rop = dc.set_rop2(gdi::Rop2::CopyPen);
    const gdi::Colour blinks[] = {kFlashGreen, kFlashRed, kFlashGreen, kFlashRed};
    for (std::size_t k = 0; k < std::size(blinks); ++k) {
        if (k > 0)
            std::this_thread::sleep_for(pause);
        drawing::Plot_A_Symbol(dc, kFlashSymbol, kFlashSize, px, py, blinks[k]);
        ui.events();
    }
    dc.set_rop2(old_rop);
    return std::pair{east, north};
}

} // namespace interrogation
