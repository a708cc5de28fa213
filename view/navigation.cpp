#include "view/navigation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <ostream>

#include "platform/base/numbers.h"
#include "platform/surface/gdi.h"

namespace view {

namespace {

constexpr const char *kAtMaximum = "Attempt to Zoom Beyond TAVI Limits set at maximum view";
constexpr const char *kAtMinimum = "Attempt to Zoom Beyond TAVI Limits set at minimum view";
constexpr const char *kScaleKept = "Attempt to Zoom Beyond Scale limit !! Old scale retained";

void redraw_now(const Redraw &redraw) {
    if (redraw)
        redraw();
}

// The width a view of the given height has in the window's shape. A window without
// height has no shape; like Prepare_View, it gets no width rather than a division by 0.
int32_t width_for(const state::ViewState &v, int32_t height) {
    if (!(v.Window_Height > 0.0))
        return 0;
    const double w = std::nearbyint(v.Window_Width / v.Window_Height * height);
    if (!(w < static_cast<double>(std::numeric_limits<int32_t>::max())))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(w);
}

} // namespace

void set_maximum_view(state::ViewState &v) {
    v.View_X_Min = kMaxViewOriginX;
    v.View_Y_Min = kMaxViewOriginY;
    v.View_Height_Units = kMaxViewHeight;
}

namespace {

enum class ZoomEnd { Maximum, Minimum, Scaled };

// The extents of a zoom by zoomby about the view's centre, within the maximum view and
// the minimum height; the message of an extent beyond the bound is given here, the
// others after the redraw.
ZoomEnd zoom_extents(state::ViewState &v, double zoomby, const state::UiHooks &hooks) {
    const int32_t h = v.View_Height_Units;
    const int32_t w = v.View_Width_Units;

    if (zoomby * h > kMaxViewHeight) {
        set_maximum_view(v);
        v.View_Width_Units = width_for(v, kMaxViewHeight);
        return ZoomEnd::Maximum;
    }

    // Halves truncate on both sides of the centre, so an odd extent zoomed by 1 stays put.
    const double cx = v.View_X_Min + num::halve(w);
    const double cy = v.View_Y_Min + num::halve(h);

    if (zoomby * h < kMinZoomHeight) {
        v.View_Height_Units = kMinZoomHeight;
        v.View_Width_Units = width_for(v, kMinZoomHeight);
        v.View_X_Min = cx - num::halve(v.View_Width_Units);
        v.View_Y_Min = cy - num::halve(v.View_Height_Units);
        return ZoomEnd::Minimum;
    }

    const double new_w = zoomby * w;
    const double new_h = zoomby * h;
    const auto within = [](double e) { return e >= -kExtentBound && e <= kExtentBound; };
    if (within(new_w) && within(new_h)) {
        v.View_Width_Units = num::nearest(new_w);
        v.View_Height_Units = num::nearest(new_h);
    } else {
        hooks.message(kScaleKept);
    }
    v.View_X_Min = cx - num::halve(v.View_Width_Units);
    v.View_Y_Min = cy - num::halve(v.View_Height_Units);
    return ZoomEnd::Scaled;
}

void finish_zoom(ZoomEnd end, const state::NavigationState &nav, const Redraw &redraw,
                 const state::UiHooks &hooks) {
    redraw_now(redraw);
    if (end == ZoomEnd::Maximum)
        hooks.message(kAtMaximum);
    else if (end == ZoomEnd::Minimum)
        hooks.message(kAtMinimum);
    else
        hooks.pointer(nav.Tool_Pointer);
}

} // namespace

void Zoom(state::ViewState &v, const state::NavigationState &nav, double zoomby,
          const Redraw &redraw, const state::UiHooks &hooks) {
    finish_zoom(zoom_extents(v, zoomby, hooks), nav, redraw, hooks);
}

void Zoom_About(state::ViewState &v, const state::NavigationState &nav, double zoomby, double wx,
                double wy, const Redraw &redraw, const state::UiHooks &hooks) {
    // Where the point lies across the view, as fractions of its width and height.
    const double fx = v.View_Width_Units != 0 ? (wx - v.View_X_Min) / v.View_Width_Units : 0.5;
    const double fy = v.View_Height_Units != 0 ? (wy - v.View_Y_Min) / v.View_Height_Units : 0.5;
    const ZoomEnd end = zoom_extents(v, zoomby, hooks);
    if (end != ZoomEnd::Maximum && std::isfinite(fx) && std::isfinite(fy)) {
        v.View_X_Min = std::nearbyint(wx - fx * v.View_Width_Units);
        v.View_Y_Min = std::nearbyint(wy - fy * v.View_Height_Units);
    }
    finish_zoom(end, nav, redraw, hooks);
}

void Zoom_To_Object(state::ViewState &v, int32_t easting, int32_t northing, double height,
                    const Redraw &redraw) {
    const int32_t h = std::max(num::nearest_clamped(2.0 * height), kMinObjectViewHeight);
    // The window's shape stays: the width follows the old proportion of the extents.
    const int32_t w = v.View_Height_Units != 0
                          ? num::nearest_clamped(static_cast<double>(h) * v.View_Width_Units /
                                                 v.View_Height_Units)
                          : 0;
    v.View_Scale = v.Window_Height / h;
    v.View_X_Min = static_cast<double>(easting) - num::halve(w);
    v.View_Y_Min = static_cast<double>(northing) - num::halve(h);
    v.View_X_Max = v.View_X_Min + w;
    v.View_Y_Max = v.View_Y_Min + h;
    v.View_Height_Units = h;
    v.View_Width_Units = w;
    redraw_now(redraw);
}

void Zoom_To_Extent(state::ViewState &v, double x_min, double y_min, double x_max, double y_max,
                    const Redraw &redraw) {
    // A twentieth of the view is left clear on every side.
    constexpr double kFramed = 0.9;
    const double aspect = v.View_Height_Units != 0
                              ? static_cast<double>(v.View_Width_Units) / v.View_Height_Units
                              : 1.0;
    const double needed = std::max(y_max - y_min, aspect > 0 ? (x_max - x_min) / aspect : 0.0);
    const int32_t h = std::max(num::nearest_clamped(needed / kFramed), kMinObjectViewHeight);
    const int32_t w = num::nearest_clamped(h * aspect);
    v.View_X_Min = std::nearbyint((x_min + x_max) / 2.0) - num::halve(w);
    v.View_Y_Min = std::nearbyint((y_min + y_max) / 2.0) - num::halve(h);
    v.View_Height_Units = h;
    v.View_Width_Units = w;
    redraw_now(redraw);
}

void Centre_On(state::ViewState &v, int32_t x, int32_t y, const Redraw &redraw) {
    v.View_X_Min = static_cast<double>(x) - num::halve(num::nearest_clamped(v.View_Width_Units));
    v.View_Y_Min = static_cast<double>(y) - num::halve(num::nearest_clamped(v.View_Height_Units));
    redraw_now(redraw);
}

void Pan_By(state::ViewState &v, double east, double north, const Redraw &redraw) {
    v.View_X_Min += std::nearbyint(east * v.View_Width_Units);
    v.View_Y_Min += std::nearbyint(north * v.View_Height_Units);
    redraw_now(redraw);
}

void zoomext(state::ViewState &v, const Redraw &redraw, const state::UiHooks &hooks) {
    hooks.pointer(state::kPointerBusy);
    set_maximum_view(v);
    redraw_now(redraw);
}

void Pan(state::NavigationState &nav, const state::UiHooks &hooks) {
    hooks.message(" Move pointer to From Point and Hold the Left Button Down while dragging the "
                  "cursor in the Pan Direction");
    nav.Pan_State = state::NavigationState::Armed;
    if (!hooks.process_events)
        return;
    while (nav.Pan_State != state::NavigationState::Idle)
        hooks.events();
    hooks.message("");
}

void End_Pan(state::ViewState &v, state::NavigationState &nav, int32_t press_x, int32_t press_y,
             const Redraw &redraw, const state::UiHooks &hooks) {
    nav.Pan_State = state::NavigationState::Idle;
    hooks.pointer(nav.Tool_Pointer);
    v.View_X_Min -= static_cast<double>(static_cast<int64_t>(v.Cursor_World_X) - press_x);
    v.View_Y_Min -= static_cast<double>(static_cast<int64_t>(v.Cursor_World_Y) - press_y);
    hooks.message("");
    redraw_now(redraw);
}

void ZoomWindow(state::NavigationState &nav) {
    nav.Zoom_Window_State = state::NavigationState::Armed;
}

void End_Zoom_Window(state::ViewState &v, state::NavigationState &nav, int32_t x1, int32_t y1,
                     int32_t x2, int32_t y2, const Redraw &redraw, const state::UiHooks &hooks) {
    const int64_t h = std::llabs(static_cast<int64_t>(y2) - y1);
    v.View_X_Min = std::min(x1, x2);
    v.View_Y_Min = std::min(y1, y2);
    if (v.Zoom_Limits_On && h < kMinZoomWindowHeight) {
        v.View_Height_Units = kMinZoomWindowHeight;
        v.View_Width_Units = width_for(v, kMinZoomWindowHeight);
        redraw_now(redraw);
        hooks.message(kAtMinimum);
        nav.Zoom_Window_State = state::NavigationState::Idle;
        return;
    }
    nav.Zoom_Window_State = state::NavigationState::Idle;
    // Corners a whole 32-bit range apart give the largest height there is.
    v.View_Height_Units = num::clamp32(h);
    // The box was drawn in exclusive-or; the map is drawn plainly again.
    if (v.Map_DC != nullptr)
        v.Map_DC->set_rop2(gdi::Rop2::CopyPen);
    redraw_now(redraw);
}

StoredView stored_view(const state::ViewState &v) {
    return StoredView{v.View_X_Min, v.View_Y_Min, v.View_Height_Units};
}

std::ostream &operator<<(std::ostream &out, const StoredView &s) {
    return out << num::CStr(s.x_min) << '/' << num::CStr(s.y_min) << ' ' << s.height;
}

bool worth_restoring(const StoredView &s, double aspect) {
    if (s.height <= 0 || !(aspect > 0.0) || !std::isfinite(s.x_min) || !std::isfinite(s.y_min))
        return false;
    const double width = s.height * aspect;
    const double max_x = kMaxViewOriginX + kMaxViewHeight * aspect;
    const double max_y = static_cast<double>(kMaxViewOriginY) + kMaxViewHeight;
    return s.x_min < max_x && s.x_min + width > kMaxViewOriginX && s.y_min < max_y &&
           s.y_min + s.height > kMaxViewOriginY;
}

} // namespace view
