// What the mouse does over the map: the live coordinate and height readout, the drag
// phases of the pan and zoom-window tools, dragging the scale bar, and starting the
// searches of the current tool. The map window turns its toolkit events into the calls
// below; everything here works on the application state, the map's device context and
// a few hooks, so it runs the same headless.
#pragma once

#include <QImage>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "drawing/display_options.h"
#include "platform/surface/gdi.h"
#include "state/furniture_settings.h"
#include "state/interaction_state.h"
#include "state/navigation_state.h"
#include "state/raster_table.h"
#include "state/settings_values.h"
#include "state/ui_hooks.h"
#include "state/view_state.h"

namespace interrogation {

// Buttons and shift keys as bit masks, the way the handlers receive them.
enum MouseButton : int { kNoButton = 0, kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };
enum ShiftKey : int { kNoShift = 0, kShift = 1, kCtrl = 2, kAlt = 4 };

// Rubber bands are drawn exclusive-or in yellow, so that drawing one twice removes it.
inline constexpr gdi::Colour kRubberBandColour = 65535;

// Precision of the pointer readout: 2 and 3 give grid references (3 in whole metres),
// any other value raw world units.
inline constexpr int32_t kGridRefPrecision = 2;
inline constexpr int32_t kGridRefMetresPrecision = 3;

// The searches a click starts. The map window leaves them empty until the searches
// are there; an empty hook does nothing.
struct Searches {
    // The point-data tool: the site points within half the search buffer of the world
    // point.
    std::function<void(int32_t &wx, int32_t &wy)> Point_Data_Search;
    // The planning tool: the drawn objects of the active drawings at the world point.
    std::function<void(int32_t &wx, int32_t &wy)> Planning_Search_Object;
    // The polygon and polyline tools: one press while drawing a search polygon or
    // polyline, with the screen point, the world point, the button and the shape (1
    // polygon, 2 polyline). It moves Tool_Code on itself.
    std::function<void(int32_t &sx, int32_t &sy, int32_t &wx, int32_t &wy, int32_t &button,
                       int32_t &shape)>
        Interrogate_By_Drawn_polygon;
    // The enquiry tool: one press while its shape is drawn (see Digitise_Enquiry), with
    // the screen point, the world point and the button.
    std::function<void(int32_t &sx, int32_t &sy, int32_t &wx, int32_t &wy, int32_t &button)>
        Enquiry_Search;
};

// What the handlers ask of the map window around them.
struct MapWindowHooks {
    state::UiHooks ui;                                    // panel 1, the pointer, events
    std::function<int()> pointer;                         // the map's pointer now
    std::function<void(const std::string &)> grid_ref;    // status-bar panel 3
    std::function<void(const std::string &)> raster_name; // status-bar panel 2
    std::function<void()> redraw;                         // the one full redraw
    std::function<void()> repaint;                        // show the picture now
    std::function<void(bool)> refresh_timer;              // run or stop the picture timer
    std::function<void()> open_panel; // maximise the map, give the control panel the focus
};

// The map window's own record of the drags in progress.
struct DragRecord {
    bool pan_pressed = false;                 // the pan's start was taken at the button's press
    int32_t pan_world_x = 0, pan_world_y = 0; // world point under the pointer at the start
    double pan_screen_x = 0.0, pan_screen_y = 0.0;
    QImage pan_picture;                // the map as it was when the pan drag started
    double last_x = 0.0, last_y = 0.0; // last mouse screen point
    int32_t box_screen_x1 = 0, box_screen_y1 = 0, box_screen_x2 = 0, box_screen_y2 = 0;
    int32_t box_world_x1 = 0, box_world_y1 = 0, box_world_x2 = 0, box_world_y2 = 0;
    int32_t circle_x = 0, circle_y = 0, circle_r = 0; // the buffer circle drawn last
};

// The parts of the program's state the mouse reads and moves.
struct MouseState {
    state::ViewState &view;
    state::NavigationState &navigation;
    state::InteractionState &interaction;
    state::SettingsValues &settings;
    state::FurnitureSettings &furniture;
    state::FurnitureBoxes &boxes;
    state::RasterTable &rasters;
    drawing::DrawingProgress &progress; // a drawing under way, and the request to stop it
};

// Everything one mouse event works on.
struct MapMouse {
    MouseState state;
    DragRecord &drag;
    gdi::DeviceContext &dc; // Map_DC
    const MapWindowHooks &hooks;
    const Searches &searches;
};

// The map tool a toolbar key chooses: "MousePntSrch" the planning tool,
// "PointDataSearch" the point-data tool, "PointPolySearch" and "PointLineSearch" the
// polygon and polyline tools, armed for their first vertex. Keys are compared exactly;
// the toolbar's other keys (navigation, the searches by name) choose no tool.
std::optional<state::ToolCode> tool_for_key(std::string_view key);

// Whether the tool searches among the plotted site-list points, which must be plotted
// before it is of any use.
bool searches_site_list(state::ToolCode tool);

// What choosing a tool by its toolbar key does to the state: Tool_Code becomes the
// tool; the point tools start their buffer circle afresh (Cursor_Fresh), the polygon
// and polyline tools set Search_Shape (1 and 2); nothing else changes. False, changing
// nothing, for a key that chooses no tool.
bool choose_tool(state::InteractionState &ia, std::string_view key);

// The pointer's world position into Cursor_World_X/Y. False, leaving the previous
// position, while the view has no scale yet.
bool world_position(state::ViewState &v, double x, double y);

// The status-bar readout of a world position: raw units, or with precision 2 and 3 the
// grid square and the position within it (3 in whole metres), each followed by the
// height under the pointer when there is one (above 0).
std::string coordinate_readout(int32_t x, int32_t y, int32_t precision, int32_t height);

// Radius in pixels of the buffer circle that follows the pointer: half the buffer's
// diameter at the view's scale, never below one pixel.
int32_t buffer_circle_radius(double search_buffer, double view_scale);

// The window events. x and y are in the window's pixels, y growing downwards; for a
// move, button holds the buttons held down.
void Form_MouseDown(MapMouse &m, int button, int shift, double x, double y);
void Form_MouseMove(MapMouse &m, int button, int shift, double x, double y);
void Form_MouseUp(MapMouse &m, int button, int shift, double x, double y);
void Form_Click(MapMouse &m);

// Moves the buffer circle to (x, y): the circle drawn last is removed first, unless
// none has been drawn since the tool was chosen or the map was redrawn.
void Rubber_Band_Circle(MapMouse &m, int32_t x, int32_t y, int32_t r);

// The height under the pointer from the loaded rasters into Current_Height, with the
// texts the rasters have for it in the message panel.
void Height_Readout(MapMouse &m);

} // namespace interrogation
