#include "sites/point_plot.h"

#include <cctype>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "drawing/symbols.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"
#include "platform/db/dao.h"
#include "platform/surface/gdi.h"
#include "view/grid_ref.h"
#include "view/navigation.h"
#include "zent32i_binding.h"

namespace sites {

namespace {

constexpr int16_t kSymbolSize = 2;
constexpr int16_t kSymbolNumber = 3;
// Events are let in after this many records, so that a long plot keeps the window alive.
constexpr int32_t kEventInterval = 501;

// Where the plot finds what it needs in the table, by field position; -1 for none.
struct Layout {
    int easting = -1, northing = -1, height = -1, grid_ref = -1, reference = -1;
    dao::FieldType easting_type = dao::FieldType::Long;
    std::vector<int> positions() const {
        std::vector<int> found;
        for (const int at : {easting, northing, height, grid_ref, reference})
            if (at >= 0)
                found.push_back(at);
        return found;
    }
};

Layout find_fields(const std::vector<dao::FieldInfo> &fields, const std::string &database,
                   const std::string &table) {
    Layout l;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string name = text::upper(text::trim_blanks(fields[i].name));
        const int at = static_cast<int>(i);
        // The last of several matching fields wins.
        if (name == "XCOORD" || name == "EASTING" || name == "X_COORD") {
            l.easting = at;
            l.easting_type = fields[i].type;
        } else if (name == "YCOORD" || name == "NORTHING" || name == "Y_COORD") {
            l.northing = at;
        } else if (name == "ZCOORD" || name == "ELEVATION" || name == "LEVEL") {
            l.height = at;
        } else if (name == "NGR" || name == "NGS") {
            l.grid_ref = at;
        } else if (name == "RENO") {
            l.reference = at;
        }
    }
    // Without both coordinates no record has a place; that is the table's fault, and
    // saying nothing would look like an empty site list.
    if (l.easting < 0 || l.northing < 0)
        throw dao::Error(database + ": table \"" + table + "\": no " +
                         (l.easting < 0 ? "easting (XCOORD, EASTING or X_COORD)"
                                        : "northing (YCOORD, NORTHING or Y_COORD)") +
                         " field to plot by");
    return l;
}

// A coordinate's number: numbers as they are, texts only when they are numbers as a
// whole. Nulls, empty texts and other texts give no number.
bool number_of(const dao::Value &v, double &out) {
    if (v.is_number()) {
        out = v.as_double();
        return true;
    }
    if (v.is_text() && num::is_numeric(v.text())) {
        out = num::Val(v.text());
        return true;
    }
    return false;
}

// Full grid coordinates are taken only where the project can show them: the maximum
// view's height northward and twice that eastward, as wide windows show more than a
// square.
bool inside_maximum_view(double x, double y) {
    const double x0 = view::kMaxViewOriginX, y0 = view::kMaxViewOriginY;
    const double h = view::kMaxViewHeight;
    return x >= x0 && x <= x0 + 2.0 * h && y >= y0 && y <= y0 + h;
}

// A record's place on the grid, when it has one: its grid reference's square plus its
// in-square coordinates, or its coordinates as full grid coordinates where the maximum
// view can show them.
template <typename ValueAt>
std::optional<std::pair<int32_t, int32_t>> place_of(const ValueAt &value, const Layout &l,
                                                    double m) {
    double x = 0.0, y = 0.0;
    if (!number_of(value(l.easting), x) || !number_of(value(l.northing), y))
        return std::nullopt;
    x *= m;
    y *= m;
    std::string ref =
        l.grid_ref >= 0 ? text::trim_blanks(value(l.grid_ref).to_string()) : std::string();
    if (ref.size() >= 2) {
        // The coordinates lie within the reference's square; the square adds its offsets
        // once.
        int32_t e = num::nearest_clamped(x), n = num::nearest_clamped(y);
        view::NGR_To_Zent(ref, e, n);
        return std::pair(e, n);
    }
    if (inside_maximum_view(x, y))
        return std::pair(num::nearest(x), num::nearest(y));
    return std::nullopt;
}

// A record's site number, when the table has one and the record holds a number.
int64_t reference_of(const dao::Value &v) {
    double n = 0.0;
    return number_of(v, n) ? static_cast<int64_t>(n) : state::kNoReference;
}

// Every record of the table that has a place, in table order. Everything is read before
// the store is touched, so that an error of the database part-way leaves it as it was.
state::PlacedPoints read_points(const std::string &database, const std::string &table,
                                int32_t colour, PlotResult &result, std::string &version) {
    dao::Database db = dao::open_site_database(database);
    version = db.version();
    // Only the fields a point is placed by are read: a site list's other fields are most
    // of it, and a search fetches them for the records it finds.
    std::vector<std::string> wanted;
    for (const int at : find_fields(db.table(table).fields, db.path(), table).positions())
        wanted.push_back(db.table(table).fields[static_cast<std::size_t>(at)].name);
    dao::Recordset rs = db.open_table(table, wanted);
    const Layout l = find_fields(rs.fields(), db.path(), table);
    // Double precision coordinates are metres, others world units already.
    const double m = l.easting_type == dao::FieldType::Double ? state::kUnitsPerMetre : 1.0;
    state::PlacedPoints placed;
    placed.reserve(static_cast<std::size_t>(rs.record_count()));

    int32_t record = 0;
    for (rs.move_first(); !rs.eof(); rs.move_next()) {
        ++record;
        const auto place = place_of([&](int at) { return rs.value(at); }, l, m);
        if (!place) {
            ++result.skipped;
            continue;
        }
        state::ExcavationPoint p;
        if (l.height >= 0) {
            double z = 0.0;
            if (number_of(rs.value(l.height), z))
                p.elevation = num::nearest_clamped(z * m);
        }
        p.record_number = record;
        p.colour = colour;
        p.symbol_size = kSymbolSize;
        p.symbol_number = kSymbolNumber;
        p.bookmark = rs.bookmark().row;
        if (l.reference >= 0)
            p.reference = reference_of(rs.value(l.reference));
        placed.add(place->first, place->second, p);
    }
    return placed;
}

// Draws the points that lie in the view, letting events in as it goes; stops when the
// user cleared the points meanwhile, as the redraw that did so must not get them back.
void draw_points_in_view(const state::PointStore &store, const state::ViewState &view,
                         gdi::DeviceContext *dc, const state::UiHooks &ui) {
    if (dc != nullptr)
        state::Set_Library_View(view);
    const int32_t n = store.count();
    for (int32_t i = 0; i < n; ++i) {
        const int32_t e = store.easting(i), north = store.northing(i);
        const state::ExcavationPoint &p = store.points[static_cast<std::size_t>(i)];
        if (dc != nullptr && e >= view.View_X_Min && e <= view.View_X_Max &&
            north >= view.View_Y_Min && north <= view.View_Y_Max) {
            int32_t px = 0, py = 0;
            zt::ZT_Calc_3D_xy(e, north, p.elevation, &px, &py);
            drawing::Plot_A_Symbol(*dc, p.symbol_number, p.symbol_size, px, py, p.colour);
        }
        if ((i + 1) % kEventInterval == 0) {
            ui.events();
            if (store.count() != n)
                break;
        }
    }
}

} // namespace

bool is_plotted_record(const std::vector<dao::FieldInfo> &fields,
                       const std::vector<dao::Value> &values, int32_t easting, int32_t northing,
                       const state::ExcavationPoint &point) {
    Layout l;
    try {
        l = find_fields(fields, std::string(), std::string());
    } catch (const dao::Error &) {
        return false;
    }
    const auto value = [&](int at) {
        return at >= 0 && static_cast<std::size_t>(at) < values.size()
                   ? values[static_cast<std::size_t>(at)]
                   : dao::Value();
    };
    const double m = l.easting_type == dao::FieldType::Double ? state::kUnitsPerMetre : 1.0;
    const auto place = place_of(value, l, m);
    if (!place || place->first != easting || place->second != northing)
        return false;
    return point.reference == state::kNoReference ||
           (l.reference >= 0 && reference_of(value(l.reference)) == point.reference);
}

PlotResult Plot_Excavation_Points(state::PointStore &store, const std::string &database,
                                  const std::string &table, const state::ViewState &view,
                                  gdi::DeviceContext *dc, int32_t colour,
                                  const state::UiHooks &ui) {
    PlotResult result;
    if (!store.empty()) {
        result.already = true;
        return result;
    }
    std::string version;
    state::PlacedPoints placed = read_points(database, table, colour, result, version);

    state::PointSet set;
    set.symbol_number = static_cast<uint8_t>(kSymbolNumber);
    set.symbol_size = static_cast<uint8_t>(kSymbolSize);
    set.colour = colour;
    set.database = database;
    set.source = state::PointSet::Table;
    set.table = table;
    set.version = std::move(version);
    store.replace(std::move(set), std::move(placed));
    result.plotted = store.count();

    draw_points_in_view(store, view, dc, ui);
    std::string status = num::Str(result.plotted) + " points plotted";
    if (result.skipped > 0)
        status += "," + num::Str(result.skipped) + " skipped without a place on the grid";
    ui.message(status);
    return result;
}

} // namespace sites
