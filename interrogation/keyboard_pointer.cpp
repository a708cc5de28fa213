#include "interrogation/keyboard_pointer.h"

#include <algorithm>
#include <cmath>

#include "platform/base/numbers.h"
#include "view/transform.h"

namespace interrogation {

namespace {

// The keys move the pointer by this part of the view.
constexpr double kStepOfView = 1.0 / 20.0;

bool in_view(const state::ViewState &v, int32_t x, int32_t y) {
    return x >= v.View_X_Min && x <= v.View_X_Min + v.View_Width_Units && y >= v.View_Y_Min &&
           y <= v.View_Y_Min + v.View_Height_Units;
}

int32_t clamped(double value, double low, double high) {
    return num::nearest(std::clamp(value, low, std::max(low, high)));
}

} // namespace

void centre_keyboard_pointer(const state::ViewState &v, KeyboardPointer &p) {
    p.x = num::nearest(v.View_X_Min + v.View_Width_Units / 2.0);
    p.y = num::nearest(v.View_Y_Min + v.View_Height_Units / 2.0);
    p.placed = true;
}

bool keep_keyboard_pointer_in_view(const state::ViewState &v, KeyboardPointer &p) {
    if (v.View_Scale <= 0.0)
        return false;
    if (!p.placed || !in_view(v, p.x, p.y))
        centre_keyboard_pointer(v, p);
    return true;
}

void move_keyboard_pointer(const state::ViewState &v, KeyboardPointer &p, int dx, int dy,
                           bool fine) {
    if (!keep_keyboard_pointer_in_view(v, p))
        return;
    const double step_x = fine ? 1.0 / v.View_Scale : v.View_Width_Units * kStepOfView;
    const double step_y = fine ? 1.0 / v.View_Scale : v.View_Height_Units * kStepOfView;
    p.x = clamped(p.x + dx * step_x, v.View_X_Min, v.View_X_Min + v.View_Width_Units);
    p.y = clamped(p.y + dy * step_y, v.View_Y_Min, v.View_Y_Min + v.View_Height_Units);
}

PixelPoint keyboard_pointer_pixel(const state::ViewState &v, const KeyboardPointer &p) {
    // The mouse's conversion the other way round, kept in reals so that a pixel step
    // lands on the next pixel.
    return PixelPoint{(p.x - v.View_X_Min) * v.View_Scale,
                      v.Window_Height - (p.y - v.View_Y_Min) * v.View_Scale};
}

void keyboard_pointer_moved(MapMouse &m, const KeyboardPointer &p) {
    const PixelPoint at = keyboard_pointer_pixel(m.state.view, p);
    Form_MouseMove(m, kNoButton, kNoShift, at.x, at.y);
}

void keyboard_click(MapMouse &m, const KeyboardPointer &p, int button) {
    const PixelPoint at = keyboard_pointer_pixel(m.state.view, p);
    Form_MouseMove(m, kNoButton, kNoShift, at.x, at.y);
    Form_MouseDown(m, button, kNoShift, at.x, at.y);
    Form_MouseUp(m, button, kNoShift, at.x, at.y);
    if (button == kLeftButton)
        Form_Click(m);
}

} // namespace interrogation
