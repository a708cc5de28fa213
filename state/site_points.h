// The plotted site points, as the redraw draws them.
#pragma once

#include <cstdint>

namespace state {

// A plotted site point, as the redraw needs it.
struct SitePoint {
    int32_t x = 0, y = 0, z = 0; // easting, northing, height in world units
    int16_t symbol_no = 0;
    int16_t symbol_size = 1;
    int32_t colour = 0; // RGB
};

} // namespace state
