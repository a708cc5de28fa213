#include "drawing/map_fonts.h"

#include "platform/base/numbers.h"

namespace drawing {

namespace {

// Negative heights ask for the character height in pixels, as the lettering sizes are
// given in points.
int height_for_points(double points) {
    return -num::nearest(points / 72.0 * gdi::DeviceContext::pixels_per_inch());
}

} // namespace

gdi::Font map_label_font() {
    return gdi::Font{"Arial", height_for_points(6), 0};
}

gdi::Font grid_label_font() {
    return gdi::Font{"Arial", height_for_points(8), 500};
}

void create_map_fonts(gdi::DeviceContext &dc, MapFonts &fonts) {
    dc.set_background_mode(gdi::BackgroundMode::Transparent);
    fonts.Initial_Font = dc.select(gdi::Font::system());
    dc.select(fonts.Initial_Font);
    fonts.Label_Font = map_label_font();
    dc.select(fonts.Label_Font);
}

void release_map_fonts(gdi::DeviceContext &dc, MapFonts &fonts) {
    dc.select(gdi::Brush::black());
    dc.select(fonts.Initial_Font);
}

} // namespace drawing
