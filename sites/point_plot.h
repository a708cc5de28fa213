// Plotting the site list: every record of a table that has a place on the grid becomes a
// point of the excavation-point store, drawn at once where it falls in the view and by
// every later redraw, and kept in easting order for the searches.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/db/dao.h"
#include "state/point_store.h"
#include "state/ui_hooks.h"
#include "state/view_state.h"

namespace gdi {
class DeviceContext;
}

namespace sites {

struct PlotResult {
    int32_t plotted = 0;  // points added to the store
    int32_t skipped = 0;  // records without a usable place
    bool already = false; // the store held points: nothing was done
};

// Plots the table's records (a site list: "TAVIsitelist") into the store, as one new
// point set with symbol 3, size 2 and the given colour, then sorts the store by easting.
// Nothing is done when the store already holds points.
//
// The fields are found by name: the easting ("XCOORD", "EASTING" or "X_COORD"), the
// northing ("YCOORD", "NORTHING" or "Y_COORD"), the height ("ZCOORD", "ELEVATION" or
// "LEVEL") and the grid reference ("NGR" or "NGS"); when a name matches several fields
// the last wins. Coordinates held in double precision are metres, others world units.
// A record with a grid reference lies at its square's offsets plus its in-square
// coordinates; a record without one lies at its coordinates taken as full grid
// coordinates when those fall inside the project's maximum view, and is skipped
// otherwise. The store grows to hold every record. Points inside the view are drawn
// into dc (when given) in that view, which is handed to the library first.
//
// Events are let in every 501 records. The status bar ends with the count plotted and
// the count skipped. A database error (a table without an easting or a northing field
// among them) is thrown as dao::Error before the store changes.
PlotResult Plot_Excavation_Points(state::PointStore &store, const std::string &database,
                                  const std::string &table, const state::ViewState &view,
                                  gdi::DeviceContext *dc, int32_t colour, const state::UiHooks &ui);

// Whether a whole record of the table (values in the order of fields) is the one a
// point was plotted from: it lies where the point lies, and its site number ("RENO",
// when the table has one) is the point's. A search fetches records by the bookmarks
// taken at plotting, and checks them so.
bool is_plotted_record(const std::vector<dao::FieldInfo> &fields,
                       const std::vector<dao::Value> &values, int32_t easting, int32_t northing,
                       const state::ExcavationPoint &point);

} // namespace sites
