// The view transform: preparing the view state before a redraw, switching it between
// whole and tenth units, and converting between world positions and window pixels.
// The world-to-pixel arithmetic is the graphics library's; everything here makes sure
// the library sees the same view as the viewer does.
#pragma once

#include <cstdint>

#include "state/view_state.h"

namespace gdi {
class DeviceContext;
}

namespace view {

// Refreshes Map_DC and the window size, draws the window border with the context's
// current pen, derives every secondary field from View_X_Min, View_Y_Min and
// View_Height_Units, and hands the view to the library. Called at the start of every
// full redraw, before anything is drawn.
void Prepare_View(state::ViewState &v, gdi::DeviceContext &dc, int client_width, int client_height);

// Projects a world point in the view's current units to window pixels through the
// library, handing it the view first.
void world_to_pixel(const state::ViewState &v, int32_t x, int32_t y, int32_t &px, int32_t &py);

// Converts a pointer position in pixels to world units and stores it in
// Cursor_World_X/Y. Returns false, leaving the previous position, while View_Scale is 0.
bool pixel_to_world(state::ViewState &v, double px, double py);

} // namespace view
