// The map furniture's settings (grid, scale bar, north point) and where the bar and the
// north point were last drawn.
#pragma once

#include <cstdint>

namespace state {

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

} // namespace state
