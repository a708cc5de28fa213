// The keyboard's pointer on the map: a place that the keys move and at which they click,
// so that every tool that takes a click on the map can be used without a mouse. It is a
// world point, kept while it stays in view; it starts at the view's centre and goes back
// there when the view leaves it behind. A click at it is the mouse's click there: the
// pointer moves to it, the button goes down and comes up, whatever tool is chosen.
#pragma once

#include <cstdint>

#include "interrogation/mouse_tools.h"
#include "state/view_state.h"

namespace interrogation {

struct KeyboardPointer {
    bool placed = false;  // false until the view has had a centre to start at
    int32_t x = 0, y = 0; // world units
};

// The window pixel of a world point in the view (y growing downwards), as reals.
struct PixelPoint {
    double x = 0.0, y = 0.0;
};

// The view's centre, as a world point.
void centre_keyboard_pointer(const state::ViewState &v, KeyboardPointer &p);

// Places the pointer at the view's centre unless it is placed inside the view. False,
// changing nothing, while the view has no scale.
bool keep_keyboard_pointer_in_view(const state::ViewState &v, KeyboardPointer &p);

// Moves the pointer by steps east (dx) and north (dy): a step is a twentieth of the
// view's width or height, or one pixel when fine. The pointer stays inside the view.
void move_keyboard_pointer(const state::ViewState &v, KeyboardPointer &p, int dx, int dy,
                           bool fine);

// Where the pointer is in the window.
PixelPoint keyboard_pointer_pixel(const state::ViewState &v, const KeyboardPointer &p);

// The pointer moved to the keyboard pointer's place, with no button held: the readout
// and the tool's buffer circle follow it.
void keyboard_pointer_moved(MapMouse &m, const KeyboardPointer &p);

// A click of button (kLeftButton or kRightButton) at the keyboard pointer, as the mouse
// makes one there: moved to, pressed, released, and for the left button clicked.
void keyboard_click(MapMouse &m, const KeyboardPointer &p, int button);

} // namespace interrogation
