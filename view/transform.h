// The view transform: preparing the view state before a redraw, switching it between
// whole and tenth units, and converting between world positions and window pixels.
// The world-to-pixel arithmetic is the graphics library's; everything here makes sure
// the library sees the same view as the viewer does.
#pragma once

#include <cstdint>

#include "view/view_state.h"

namespace gdi {
class DeviceContext;
}

namespace view {

// Refreshes Map_DC and the window size, draws the window border with the context's
// current pen, derives every secondary field from View_X_Min, View_Y_Min and
// View_Height_Units, and hands the view to the library. Called at the start of every
// full redraw, before anything is drawn.
void Prepare_View(ViewState &v, gdi::DeviceContext &dc, int client_width, int client_height);

// Switches the view between whole and tenth units and returns the new value for
// Fine_Units (1 after switching into tenths, 0 after switching back). Fine_Units
// itself is left to the caller, which stores the result.
int32_t ReScale(ViewState &v);

// Hands the current view to the library (projection mode 1, plan view).
void Set_Library_View(const ViewState &v);

// Projects a world point in the current units to window pixels through the library.
void world_to_pixel(const ViewState &v, int32_t x, int32_t y, int32_t &px, int32_t &py);

// Converts a pointer position in pixels to world units and stores it in
// Cursor_World_X/Y. Returns false, leaving the previous position, while View_Scale is 0.
bool pixel_to_world(ViewState &v, double px, double py);

} // namespace view
