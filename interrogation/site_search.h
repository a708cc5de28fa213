// Searching the plotted site list: the points within the buffer circle of a click, inside
// a digitised polygon or near a digitised polyline, each with its record from the point
// set's database, as the rows the point results window shows (and tavi-search writes).
//
// A search is two steps: the geometry picks store indexes from the x-sorted point list
// (only the slice between the shape's extreme x is looked at), then site_rows() reads
// each point's record, opening every point set's database once. Nothing here knows of
// windows: the found points are marked through the device context the caller passes
// (none: no marks), and the results come back as plain values.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "interrogation/geometry.h"
#include "platform/db/dao.h"
#include "platform/exports/grid_sheet.h"
#include "platform/surface/gdi.h"
#include "sites/site_lookups.h"
#include "state/interaction_state.h"
#include "state/point_store.h"
#include "state/settings_values.h"
#include "state/ui_hooks.h"
#include "state/view_state.h"

namespace interrogation {

// The headers a search writes over its first two columns; the results window shows
// them as "DataRef" and "RecPos".
inline constexpr const char *kSetHeader = "DB source";
inline constexpr const char *kPointHeader = "point";
inline constexpr const char *kDataRefHeader = "DataRef";
inline constexpr const char *kRecPosHeader = "RecPos";
// Columns (from 1) of a results row: the point set, the point's index in the store, and
// the record's first field; field f of the record is in column f + kFirstFieldColumn.
inline constexpr int kSetColumn = 1;
inline constexpr int kPointColumn = 2;
inline constexpr int kFirstFieldColumn = 3;

// What a site-list search found.
struct SiteRows {
    // Column 1 onward: kSetHeader, kPointHeader, then the field names (as stored) of the
    // last point set read.
    std::vector<std::string> headers;
    // Column 1 onward: the set number, the store index, then the record's values in
    // field order (a null stays null). A point whose record could not be read has the
    // first two only.
    std::vector<std::vector<dao::Value>> rows;
    // Point sets whose database, table or records could not be read, with why.
    std::vector<std::string> unreadable;
    // A table set's database is no longer the one plotted (another version, or a record
    // fetched that is not the one plotted at its place): its rows would be other sites'
    // records, so none are given (and `unreadable` says why); the searches below plot
    // the table again and search anew.
    bool changed = false;
    // What the search did beyond searching (the site list plotted again), as the status
    // line said it.
    std::vector<std::string> notes;

    int32_t count() const { return static_cast<int32_t>(rows.size()); }
    // "Point Data Interrogation results: Records=" and the count (" 0" for none).
    std::string caption() const;
};

// ---- the geometry: store indexes, in the store's (x-sorted) order ----------------------

// The points whose distance from (wx, wy) is at most r.
std::vector<int32_t> points_in_circle(const state::PointStore &store, int32_t wx, int32_t wy,
                                      double r);
// The points inside the ring or on its edges; vertices given open (the first is not
// repeated at the end). A ring of fewer than three vertices holds no point.
std::vector<int32_t> points_in_polygon(const state::PointStore &store, const Shape &vertices);
// The points within half the buffer of a segment of the open polyline. The slice is the
// line's extent grown by half the buffer on every side, so that a point beside an end
// or beside a straight line is not cut off before it is measured.
std::vector<int32_t> points_near_polyline(const state::PointStore &store, const Shape &vertices,
                                          double search_buffer);

// ---- the records -------------------------------------------------------------------------

// The rows for the found points, grouped by point set in set order (in store order
// within a set). Each set's database is opened once: a table set positions on the
// point's bookmark, a query set on its record number. A set whose database or table
// cannot be read still gives its rows (set and index only) and says so in the status
// bar, naming the database; the rows of the other sets are unaffected.
//
// A table set's bookmarks hold only in the version of the database they were taken in:
// when the database is another version now, or a record fetched does not lie where its
// point lies or has another site number, the result is `changed` (and has no rows).
SiteRows site_rows(const state::PointStore &store, const std::vector<int32_t> &found,
                   const state::UiHooks &ui);

// Headers as the results window and the exports name them: "DataRef", "RecPos", then
// the field names of the point set (from 1), trimmed, each blank replaced by "_".
// Without such a set, or when its database cannot be read, the first two only.
std::vector<std::string> header_names(const state::PointStore &store, int32_t set);
// A field name as a header: trimmed, each blank replaced by "_".
std::string header_name(const std::string &field_name);
// The headers the rows are exported under: header_names() of the first row's point set,
// and beyond its fields the search's own headers made headers as above.
std::vector<std::string> export_headers(const state::PointStore &store, const SiteRows &rows);

// The rows as the results window's sheet holds them: the headers in row 0, a row per
// result, each column numeric (shown with as many decimals as its numbers need) when
// every value in it is a number, else text. The window and tavi-search export the same
// table from it.
grid::Sheet result_sheet(const SiteRows &rows, const std::vector<std::string> &headers);

// A ring around each found point's place on the map, 3 pixels clear of its symbol, in
// the pen colour the map has now.
void mark_points(gdi::DeviceContext &dc, const state::PointStore &store,
                 const std::vector<int32_t> &found);

// ---- the tools ------------------------------------------------------------------------------

// What the site-list tools work on: the plotted points, the search buffer (settings),
// the tool in force and the user's pointer (interaction), and the view the finds are
// ringed in.
struct SiteSearchState {
    state::PointStore &points;
    state::SettingsValues &settings;
    state::InteractionState &interaction;
    const state::ViewState &view;
};

// Each search below finds its records as site_rows() does; when the site list changed
// since it was plotted (a single plotted table), it plots the table again, says so in
// the status line ("The site list changed since it was plotted: plotted again, ...")
// and searches the new points. A list that changes again meanwhile is said as rows that
// could not be read.
//
// The point-data tool: the points within half the search buffer of (wx, wy), marked in
// dc when given. A buffer of 0 becomes 200 (and stays so). Nothing (no window) when no
// points are plotted, which the status bar says. The map shows the busy pointer
// meanwhile, then the user's pointer.
std::optional<SiteRows> Point_Data_Search(SiteSearchState &state, int32_t wx, int32_t wy,
                                          gdi::DeviceContext *dc, const state::UiHooks &ui);

// The searches over a whole shape, as the drawn-shape tool runs them once it is closed.
SiteRows polygon_search(SiteSearchState &state, const Shape &vertices, gdi::DeviceContext *dc,
                        const state::UiHooks &ui);
SiteRows polyline_search(SiteSearchState &state, const Shape &vertices, gdi::DeviceContext *dc,
                         const state::UiHooks &ui);

// The shape being digitised (the map window's own): world and screen vertices, and how
// many are taken. Both grow as the clicks need.
struct DrawnShape {
    Shape world;
    std::vector<gdi::Point> screen;
    int32_t count = 0;

    // Takes a vertex and draws it in dc (when given) as the tools show one: a dot for the
    // first, else the edge from the vertex before.
    void add(ShapePoint world, gdi::Point screen, gdi::DeviceContext *dc);
};

// The polygon and polyline tools: one click while a polygon (shape 1) or polyline
// (shape 2) is digitised. The first click of an armed tool (PolygonStart or
// PolylineStart) starts a new shape (Polygon or Polyline). A left click adds a vertex,
// drawn in dc as a dot or as the edge from the vertex before. A right click ends the
// shape: a polygon is closed back to its first vertex (a right click first of all
// closes a ring of that one point), a polyline takes no vertex from it. The tool then
// goes back to None and, when points are plotted, the search runs; its rows come back.
// Nothing comes back for a left click, nor without points (the status bar then says
// that nothing was searched).
std::optional<SiteRows> Interrogate_By_Drawn_polygon(SiteSearchState &state, DrawnShape &shape,
                                                     gdi::DeviceContext *dc, int32_t sx, int32_t sy,
                                                     int32_t wx, int32_t wy, int32_t button,
                                                     int32_t search_shape,
                                                     const state::UiHooks &ui);

// The site-list record a results row names by its first field column: the record of
// the site list ("TAVIsitelist", in "RENO" order) whose first field holds the number the
// reference reads as. A blank reference looks nothing up. One that reads as no number
// (0) names no site, and one the list does not hold is not found: the status bar says
// which. A missing database gives its messages (see sites::database_present) and the
// text for the user in `missing`. Errors of the database itself are thrown as dao::Error.
struct SiteRecordLookup {
    sites::RecordView site; // found tells whether there is a record to show
    std::optional<std::string> missing;
};
SiteRecordLookup site_record(const std::string &reference, state::DrawingTable &drawings,
                             const state::UiHooks &ui);

// Makes a place blink on the map: green, red, green, red, a pause between each, the red
// symbol left standing. The place is a grid reference's square (its letters) and metres
// east and north within it. Returns the world point, or nothing when the reference has
// no square letters (nothing is drawn then). ui.events() runs after each blink, so the
// map is shown.
std::optional<std::pair<int32_t, int32_t>>
Flash_Point(const state::ViewState &view, gdi::DeviceContext &dc, const std::string &reference,
            double east_metres, double north_metres, const state::UiHooks &ui,
            std::chrono::milliseconds pause = std::chrono::milliseconds(100));

} // namespace interrogation
