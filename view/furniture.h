// Map furniture drawn over the map after every redraw: the national-grid lines with
// their coordinate labels, the scale bar with its length label, and the north point.
// All three draw straight into the map's device context in pixels; the grid lines are
// placed through the view transform.
#pragma once

#include <cstdint>
#include <string>

#include "view/view_state.h"

namespace gdi {
class DeviceContext;
}
namespace shell {
struct UiHooks;
}

namespace view {

// The furniture's user settings, starting at the values an empty settings store gives.
struct FurnitureSettings {
    int32_t Grid_On = 1;
    int32_t Grid_Spacing = 1000; // world units
    int32_t Grid_Labels = 1;
    int32_t Grid_Precision = 1;
    int32_t Omit_Chars = 0; // set to 2, for good, once labels are drawn with precision 3
    int32_t Scale_Bar_On = 1;
    int32_t Scale_Bar_Style = 1; // 0 wedge, 1 alternate divisions, 2 saw-tooth, 3 ticks
    int32_t Bar_Origin_X = 75;   // pixels
    int32_t Bar_Origin_Y = 75;
    int32_t North_Point_On = 1;
    int32_t Scale_Floating = 0; // the mouse handler lets the user drag the bar
};

// Where the scale bar and north point were last drawn, for the mouse handler.
struct FurnitureBoxes {
    int32_t bar_left = 0, bar_top = 0, bar_right = 0, bar_bottom = 0;
    double bar_rel_x = 0.0; // bar origin as a fraction of the window width
    double bar_rel_y = 0.0; // ... and of its height
    int32_t north_left = 0, north_top = 0, north_right = 0, north_bottom = 0;
};

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
void Draw_Grid(ViewState &v, FurnitureSettings &s, FurnitureBoxes &boxes, gdi::DeviceContext &dc,
               const shell::UiHooks &hooks, int flag);

// The scale bar in the settings' style, and the north point when that is on too.
void Draw_Scale_Bar(const ViewState &v, const FurnitureSettings &s, FurnitureBoxes &boxes,
                    gdi::DeviceContext &dc);

// The north arrow at its fixed place near the top-left corner.
void Draw_North_Point(FurnitureBoxes &boxes, gdi::DeviceContext &dc);

} // namespace view
