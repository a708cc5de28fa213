// Map furniture: the national-grid lines with their coordinate labels, the scale bar with
// its length label, and the north point.
//
// What they show is chosen here for every map that has them: the screen's (the map
// window's, and tavi-render's, which draws through the same redraw) and the one printed
// in a search report. Each draws them at its own resolution: the screen here, straight
// into the map's device context in pixels after every redraw, the grid lines placed
// through the view transform; the report on its page, in points. The two differ where
// they are read differently: the screen follows the panel's grid spacing and steps its
// bar through a table of lengths at every zoom; a page is read once, at print size,
// where a few round lines and a bar in metres read best.
#pragma once

#include <cstdint>
#include <string>

#include "platform/base/colour.h"
#include "state/furniture_settings.h"
#include "state/view_state.h"

namespace gdi {
class DeviceContext;
}
namespace state {
struct UiHooks;
}

namespace view {

// The grid's pens: its dotted lines, and the line through its origin with the labels.
inline constexpr gdi::Colour kGridLineColour = gdi::rgb(255, 0, 0);
inline constexpr gdi::Colour kGridAxisColour = gdi::rgb(0, 0, 255);

// The most grid lines the spacing may give across the view's height.
inline constexpr int32_t kMaxGridLines = 50;

// About this many grid lines across the height of a map on a page.
inline constexpr double kPageGridLines = 6;

struct ScaleBarChoice {
    double length; // world units
    std::string label;
    int divisions;
};

// The screen's bar for a view whose smaller extent (height or width, world units, not
// negative) is smaller_extent.
ScaleBarChoice choose_scale_bar(int32_t smaller_extent);

// A page's bar for a map width world units wide: 1, 2 or 5 times a power of ten metres,
// the longest within a fifth of the width (at least 1 m), in four divisions, labelled in
// metres ("500 m") or from 1000 m in kilometres ("2 km").
ScaleBarChoice page_scale_bar(double width);

// The screen's spacing of grid lines for a view span high: the set spacing while it
// gives at most kMaxGridLines lines, otherwise a rounder spacing that does. Never below 10.
int32_t grid_step(double span, int32_t spacing);

// A page's spacing of grid lines (world units) for a map height_units high: 1, 2 or 5
// times a power of ten metres, the largest that gives kPageGridLines lines or more.
double page_grid_step(int32_t height_units);

// A grid line's label text, on the screen and the page alike. Precision 3 labels in
// metres and sets omit_chars to 2; a non-zero omit_chars drops that many leading
// characters (the sign blank included).
std::string grid_label(int32_t coord, int precision, int32_t &omit_chars);

// A north point: an arrowhead pointing up the map, to grid north, with a notch in its
// base, and on the screen a shaft from the tip. Positions x right and y down.
struct NorthPoint {
    struct At {
        double x, y;
    };
    At tip, notch, left_barb, right_barb;
    At tail; // the shaft's end; at the tip when there is none
};

// The screen's, in pixels from the map window's top-left corner.
NorthPoint screen_north_point();
// A page's, in points from the centre of the round ground it stands on.
NorthPoint page_north_point();

// Draws the grid (when on), then the scale bar (when on), then lets pending events
// run. Leaves the label font selected in the view's device context. The flag is
// accepted for the callers' sake and changes nothing.
void Draw_Grid(state::ViewState &v, state::FurnitureSettings &s, state::FurnitureBoxes &boxes,
               gdi::DeviceContext &dc, const state::UiHooks &hooks, int flag);

// The scale bar in the settings' style, and the north point when that is on too.
void Draw_Scale_Bar(const state::ViewState &v, const state::FurnitureSettings &s,
                    state::FurnitureBoxes &boxes, gdi::DeviceContext &dc);

// Brings a scale bar whose place lies outside a window of the given size back inside it:
// a bar above the top edge (the place was worked out for a window not yet laid out, or
// kept from a larger screen) goes to its place of an empty store, 75 pixels above the
// bottom; one beyond the left or right edge to 75 pixels from the left. A bar below the
// bottom edge is left to Draw_Scale_Bar, which draws it 20 pixels above the bottom.
void Keep_Scale_Bar_Inside(state::FurnitureSettings &s, int width, int height);

// The north arrow at its fixed place near the top-left corner.
void Draw_North_Point(state::FurnitureBoxes &boxes, gdi::DeviceContext &dc);

// A mark on the place at pixel (x, y) that the map was just taken to: two rings and four
// ticks, inverting what lies under them, so that drawing it again takes it away and
// leaves the picture as it was.
void Draw_Place_Mark(gdi::DeviceContext &dc, int x, int y);

} // namespace view
