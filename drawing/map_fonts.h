// The map's lettering fonts: the label font made when the map window loads, the font
// the window held before it (put back after every drawing and at unload), and the
// larger font the grid labels and scale bar are lettered in.
#pragma once

#include "platform/surface/gdi.h"

namespace drawing {

struct MapFonts {
    gdi::Font Initial_Font;
    gdi::Font Label_Font;
};

// Sets the background mode to transparent, notes the font the context holds as
// Initial_Font, and creates and selects Label_Font (Arial, 6 points).
void create_map_fonts(gdi::DeviceContext &dc, MapFonts &fonts);

// Selects the stock black brush and Initial_Font again.
void release_map_fonts(gdi::DeviceContext &dc, MapFonts &fonts);

// Arial, 6 points at the context's resolution: the map lettering.
gdi::Font map_label_font();

// Arial, 8 points at the context's resolution, weight 500: grid labels and scale bar.
gdi::Font grid_label_font();

} // namespace drawing
