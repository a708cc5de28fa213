// Moving the map: zooming by a factor about the view's centre, jumping to the maximum
// view, panning by a drag and zooming to a dragged box. Each step changes only the
// primary view fields and then asks for a full redraw, which derives the rest. The
// view is kept inside a fixed area of the grid and above a minimum height.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>

#include "state/navigation_state.h"
#include "state/ui_hooks.h"
#include "state/view_state.h"

namespace view {

// South-west corner and height of the largest view, in world units.
inline constexpr int32_t kMaxViewOriginX = 49200000;
inline constexpr int32_t kMaxViewOriginY = 36552000;
inline constexpr int32_t kMaxViewHeight = 878800;
// The smallest heights a zoom step and a zoom box may reach.
inline constexpr int32_t kMinZoomHeight = 27500;
inline constexpr int32_t kMinZoomWindowHeight = 25000;
// A zoomed extent must stay inside this bound to be accepted.
inline constexpr double kExtentBound = 2147483646.0;

// The full redraw the window supplies.
using Redraw = std::function<void()>;

// Scales the view's extents by zoomby (0.5 zooms in by two, 2 out) about its centre,
// within the maximum view and the minimum height.
void Zoom(state::ViewState &v, const state::NavigationState &nav, double zoomby,
          const Redraw &redraw, const state::UiHooks &hooks);

// Zooms by zoomby as Zoom does, with its limits and messages, but about the world
// point (wx, wy): that point stays at the same place in the window (the mouse wheel).
// Reaching the maximum view shows the maximum view, as Zoom does.
void Zoom_About(state::ViewState &v, const state::NavigationState &nav, double zoomby, double wx,
                double wy, const Redraw &redraw, const state::UiHooks &hooks);

// Moves the view by the given fractions of its width and height (east and north
// positive), then redraws (the arrow keys).
void Pan_By(state::ViewState &v, double east, double north, const Redraw &redraw);

// Centres the view on the world point (x, y) at the height it has, then redraws (going
// to a grid reference).
void Centre_On(state::ViewState &v, int32_t x, int32_t y, const Redraw &redraw);

// Centres the map on an object (a site, a drawn object) whose extent is `height` world
// units high: the view becomes twice that high, and never lower than 250 m, in the
// window's shape, then the map is redrawn.
inline constexpr int32_t kMinObjectViewHeight = 25000;
void Zoom_To_Object(state::ViewState &v, int32_t easting, int32_t northing, double height,
                    const Redraw &redraw);

// Frames the box (x_min, y_min)-(x_max, y_max) in world units: centred on it, high
// enough that it fits the window's shape with a margin round it, never lower than the
// object views, then redraws (zooming to the project's data).
void Zoom_To_Extent(state::ViewState &v, double x_min, double y_min, double x_max, double y_max,
                    const Redraw &redraw);

// The maximum view's primary fields, not yet drawn.
void set_maximum_view(state::ViewState &v);

// Shows the maximum view.
void zoomext(state::ViewState &v, const Redraw &redraw, const state::UiHooks &hooks);

// The primary fields of a view, as the settings keep them between runs.
struct StoredView {
    double x_min = 0.0, y_min = 0.0;
    int32_t height = 0;
    bool operator==(const StoredView &) const = default;
};
// "x_min/y_min height", for messages and test failures.
std::ostream &operator<<(std::ostream &out, const StoredView &s);
StoredView stored_view(const state::ViewState &v);

// True when a view kept from the last run shows part of the maximum view in a window
// of the given aspect (width / height), so that putting it back shows the user's map
// rather than an empty stretch of the grid (the defaults of an empty store lie far
// outside the project).
bool worth_restoring(const StoredView &s, double aspect);

// Arms the pan tool and waits, letting window events run, until the mouse handler has
// ended the drag. Without a way to let events run it cannot wait: the tool stays armed
// and the call returns at once.
void Pan(state::NavigationState &nav, const state::UiHooks &hooks);

// The end of a pan drag: the world point under the pointer at the press (press_x,
// press_y) moves to where the pointer is now (Cursor_World_X/Y). No limits apply.
void End_Pan(state::ViewState &v, state::NavigationState &nav, int32_t press_x, int32_t press_y,
             const Redraw &redraw, const state::UiHooks &hooks);

// Arms the zoom-window tool.
void ZoomWindow(state::NavigationState &nav);

// The end of a zoom-box drag between world corners (x1, y1) at the press and (x2, y2)
// at the release: the box's south-west corner and height become the view, the width
// following from the window's shape.
void End_Zoom_Window(state::ViewState &v, state::NavigationState &nav, int32_t x1, int32_t y1,
                     int32_t x2, int32_t y2, const Redraw &redraw, const state::UiHooks &hooks);

} // namespace view
