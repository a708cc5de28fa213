// Map furniture drawn over the map after every redraw: the national-grid lines with
// their coordinate labels, the scale bar with its length label, and the north point.
// All three draw straight into the map's device context in pixels; the grid lines are
// placed through the view transform.
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

struct ScaleBarChoice {
    int32_t length; // world units
    std::string label;
    int divisions;
};

// The bar for a view whose smaller extent (height or width, world units, not negative)
// is smaller_extent.
ScaleBarChoice choose_scale_bar(int32_t smaller_extent);

// The spacing of grid lines for a view span high: the set spacing while it gives at
// most kMaxGridLines lines, otherwise a rounder spacing that does. Never below 10.
int32_t grid_step(double span, int32_t spacing);

// A grid line's label text. Precision 3 labels in metres and sets omit_chars to 2;
// a non-zero omit_chars drops that many leading characters (the sign blank included).
std::string grid_label(int32_t coord, int precision, int32_t &omit_chars);

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
