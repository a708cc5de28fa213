#include "interrogation/mouse_tools.h"

#include <optional>

#include "platform/base/numbers.h"
#include "raster/pointer_readout.h"
#include "view/grid_ref.h"
#include "view/navigation.h"
#include "view/redraw.h"
#include "view/transform.h"

namespace interrogation {

namespace {

using state::NavigationState;
using state::ToolCode;

// The toolbar's keys that choose a map tool.
struct ToolKey {
    std::string_view key;
    ToolCode tool;
};

constexpr ToolKey kToolKeys[] = {
    {"MousePntSrch", ToolCode::Planning},        {"PointDataSearch", ToolCode::PointData},
    {"PointPolySearch", ToolCode::PolygonStart}, {"PointLineSearch", ToolCode::PolylineStart},
    {"EnquirySearch", ToolCode::EnquiryStart},
};

// The rubber bands' pen, drawing mode and the plain interior of the circle. Puts back
// the pen, brush and drawing mode the map had when it goes, so that no path leaves the
// map drawing in exclusive-or.
class RubberBandPen {
  public:
    explicit RubberBandPen(gdi::DeviceContext &dc) : dc_(dc) {
        old_rop_ = dc_.set_rop2(gdi::Rop2::XorPen);
        old_pen_ = dc_.select(gdi::Pen{gdi::PenStyle::Solid, 0, kRubberBandColour});
        old_brush_ = dc_.select(gdi::Brush::null());
    }
    ~RubberBandPen() {
        dc_.select(old_pen_);
        dc_.select(old_brush_);
        dc_.set_rop2(old_rop_);
    }
    RubberBandPen(const RubberBandPen &) = delete;
    RubberBandPen &operator=(const RubberBandPen &) = delete;

  private:
    gdi::DeviceContext &dc_;
    gdi::Rop2 old_rop_;
    gdi::Pen old_pen_;
    gdi::Brush old_brush_;
};

void call(const std::function<void()> &f) {
    if (f)
        f();
}

void show_grid_ref(const MapWindowHooks &hooks, const std::string &text) {
    if (hooks.grid_ref)
        hooks.grid_ref(text);
}

bool busy(const MapWindowHooks &hooks) {
    return hooks.pointer && hooks.pointer() == state::kPointerBusy;
}

// A circle centred on the pixel (x, y), reaching r pixels each way.
void circle(gdi::DeviceContext &dc, int32_t x, int32_t y, int32_t r) {
    dc.ellipse(x - r, y - r, x + r + 1, y + r + 1);
}

bool in_scale_bar(const state::FurnitureBoxes &b, int32_t x, int32_t y) {
    // The window system's rectangle test: left and top inside, right and bottom not.
    return x >= b.bar_left && x < b.bar_right && y >= b.bar_top && y < b.bar_bottom;
}

void start_search(MapMouse &m, int button, double x, double y) {
    auto &v = m.state.view;
    auto &ia = m.state.interaction;
    const Searches &s = m.searches;
    switch (ia.Tool_Code) {
    case state::ToolCode::PointData:
        if (s.Point_Data_Search)
            s.Point_Data_Search(v.Cursor_World_X, v.Cursor_World_Y);
        break;
    case state::ToolCode::Planning:
        if (s.Planning_Search_Object)
            s.Planning_Search_Object(v.Cursor_World_X, v.Cursor_World_Y);
        break;
    case state::ToolCode::PolygonStart:
    case state::ToolCode::Polygon:
    case state::ToolCode::PolylineStart:
    case state::ToolCode::Polyline:
        if (s.Interrogate_By_Drawn_polygon) {
            int32_t sx = num::nearest(x);
            int32_t sy = num::nearest(y);
            int32_t b = button;
            int32_t shape = ia.Search_Shape;
            s.Interrogate_By_Drawn_polygon(sx, sy, v.Cursor_World_X, v.Cursor_World_Y, b, shape);
        }
        break;
    case state::ToolCode::EnquiryStart:
    case state::ToolCode::Enquiry:
        if (s.Enquiry_Search) {
            int32_t sx = num::nearest(x);
            int32_t sy = num::nearest(y);
            int32_t b = button;
            s.Enquiry_Search(sx, sy, v.Cursor_World_X, v.Cursor_World_Y, b);
        }
        break;
    default:
        break;
    }
}

// The pan drag, armed by the pan command: the first move with the left button held
// takes a picture of the map, every move shows that picture moved with the pointer
// from where the button went down, and the first move without the button moves the
// view.
void pan_drag(MapMouse &m, int button, double x, double y) {
    auto &st = m.state;
    auto &nav = st.navigation;
    auto &drag = m.drag;
    const bool left = (button & kLeftButton) != 0;

    if (left && nav.Pan_State == state::NavigationState::Armed) {
        nav.Pan_State = state::NavigationState::Dragging;
        st.interaction.Refresh_Mode = 5;
        if (m.hooks.refresh_timer)
            m.hooks.refresh_timer(false);
        // The picture is the map's own image; what lay beyond the window's edges held
        // nothing of the map, so the capture stops at them.
        drag.pan_picture = m.dc.image().copy();
        // The drag holds the point under the pointer at the press; a move arriving
        // without a press before it (a button already down) starts the drag here.
        if (!drag.pan_pressed) {
            drag.pan_world_x = st.view.Cursor_World_X;
            drag.pan_world_y = st.view.Cursor_World_Y;
            drag.pan_screen_x = x;
            drag.pan_screen_y = y;
        }
        drag.pan_pressed = false;
    }
    if (left && nav.Pan_State == state::NavigationState::Dragging) {
        m.dc.clear(view::kMapBackground);
        const int32_t dx = num::nearest(x - drag.pan_screen_x);
        const int32_t dy = num::nearest(y - drag.pan_screen_y);
        const QImage &p = drag.pan_picture;
        // In logical pixels, whatever the picture's device pixel ratio.
        const int w = m.dc.width(), h = m.dc.height();
        m.dc.draw_image(dx, dy, w, h, p, 0, 0, w, h);
        call(m.hooks.repaint);
    } else if (!left && nav.Pan_State == state::NavigationState::Dragging) {
        st.interaction.Refresh_Mode = 1;
        drag.pan_picture = QImage();
        if (m.hooks.refresh_timer)
            m.hooks.refresh_timer(true);
        view::End_Pan(st.view, nav, drag.pan_world_x, drag.pan_world_y, m.hooks.redraw, m.hooks.ui);
    }
}

// The zoom-window drag, armed by the zoom-window command: a yellow box follows the
// pointer while the left button is held; the first move without it zooms to the box.
void zoom_box(MapMouse &m, int button, double x, double y) {
    auto &st = m.state;
    auto &nav = st.navigation;
    auto &d = m.drag;
    const bool left = (button & kLeftButton) != 0;
    {
        RubberBandPen pen(m.dc);
        if (left && nav.Zoom_Window_State == state::NavigationState::Armed) {
            d.box_screen_x1 = d.box_screen_x2 = num::nearest(x);
            d.box_screen_y1 = d.box_screen_y2 = num::nearest(y);
            // The far corner starts on the near one: a box released before it moved has
            // no size, rather than reaching to wherever the last box ended.
            d.box_world_x1 = d.box_world_x2 = st.view.Cursor_World_X;
            d.box_world_y1 = d.box_world_y2 = st.view.Cursor_World_Y;
            nav.Zoom_Window_State = state::NavigationState::Dragging;
        } else if (left && nav.Zoom_Window_State == state::NavigationState::Dragging) {
            m.dc.box(d.box_screen_x1, d.box_screen_y1, d.box_screen_x2, d.box_screen_y2);
            d.box_screen_x2 = num::nearest(x);
            d.box_screen_y2 = num::nearest(y);
            d.box_world_x2 = st.view.Cursor_World_X;
            d.box_world_y2 = st.view.Cursor_World_Y;
            m.dc.box(d.box_screen_x1, d.box_screen_y1, d.box_screen_x2, d.box_screen_y2);
            call(m.hooks.repaint);
        }
    }
    // The map is drawn plainly again before the zoom redraws it, whichever way the
    // zoom ends: a redraw in exclusive-or would mix every line with what lies under it.
    m.dc.set_rop2(gdi::Rop2::CopyPen);
    if (!left && nav.Zoom_Window_State == state::NavigationState::Dragging)
        view::End_Zoom_Window(st.view, nav, d.box_world_x1, d.box_world_y1, d.box_world_x2,
                              d.box_world_y2, m.hooks.redraw, m.hooks.ui);
    m.dc.set_rop2(gdi::Rop2::CopyPen);
}

} // namespace

std::optional<ToolCode> tool_for_key(std::string_view key) {
    for (const ToolKey &k : kToolKeys)
        if (k.key == key)
            return k.tool;
    return std::nullopt;
}

bool searches_site_list(ToolCode tool) {
    switch (tool) {
    case ToolCode::PointData:
    case ToolCode::PolygonStart:
    case ToolCode::Polygon:
    case ToolCode::PolylineStart:
    case ToolCode::Polyline:
    case ToolCode::EnquiryStart:
    case ToolCode::Enquiry:
        return true;
    case ToolCode::None:
    case ToolCode::Planning:
        break;
    }
    return false;
}

bool choose_tool(state::InteractionState &ia, std::string_view key) {
    const std::optional<ToolCode> tool = tool_for_key(key);
    if (!tool)
        return false;
    ia.Tool_Code = *tool;
    switch (*tool) {
    case ToolCode::PointData:
    case ToolCode::Planning:
        // Whatever circle the map shows belongs to the last tool: the first move draws
        // the new one without removing anything first.
        ia.Cursor_Fresh = true;
        break;
    case ToolCode::PolygonStart:
        ia.Search_Shape = 1;
        break;
    case ToolCode::PolylineStart:
        ia.Search_Shape = 2;
        break;
    default:
        break;
    }
    return true;
}

bool world_position(state::ViewState &v, double x, double y) {
    return view::pixel_to_world(v, x, y);
}

std::string coordinate_readout(int32_t x, int32_t y, int32_t precision, int32_t height) {
    std::string text;
    if (precision != kGridRefPrecision && precision != kGridRefMetresPrecision) {
        text = num::Str(x) + "/" + num::Str(y);
        if (height > 0)
            text += " ^ " + num::Str(height);
        return text;
    }
    int32_t east = x;
    int32_t north = y;
    std::string letters;
    view::Zent_to_NGR(east, north, letters);
    if (precision == kGridRefMetresPrecision) {
        east /= state::kUnitsPerMetre; // towards zero
        north /= state::kUnitsPerMetre;
    }
    text = "OS NGR ~ " + letters + " " + num::Str(east) + "/" + num::Str(north);
    if (height > 0)
        text += " OD " + num::Str(static_cast<double>(height) / state::kUnitsPerMetre);
    return text;
}

int32_t buffer_circle_radius(double search_buffer, double view_scale) {
    const int32_t r = num::nearest(search_buffer * view_scale) / 2;
    return r < 1 ? 1 : r;
}

void Form_MouseDown(MapMouse &m, int button, int /*shift*/, double x, double y) {
    auto &st = m.state;
    if (st.interaction.Data_Loading)
        return;
    // Without a view there is no world point to act on.
    if (!world_position(st.view, x, y))
        return;
    if (st.navigation.Pan_State == state::NavigationState::Armed && button == kLeftButton) {
        // A pan follows the pointer from the press, not from the first move after it.
        m.drag.pan_pressed = true;
        m.drag.pan_world_x = st.view.Cursor_World_X;
        m.drag.pan_world_y = st.view.Cursor_World_Y;
        m.drag.pan_screen_x = x;
        m.drag.pan_screen_y = y;
    }
    if (st.navigation.Pan_State != state::NavigationState::Idle ||
        st.navigation.Zoom_Window_State != state::NavigationState::Idle)
        return;
    if (st.furniture.Scale_Floating == 1 &&
        in_scale_bar(st.boxes, num::nearest(x), num::nearest(y))) {
        st.interaction.Scale_Bar_Dragging = true;
        m.hooks.ui.pointer(state::kPointerSizeAll);
    }
    if (button == kLeftButton || button == kRightButton)
        start_search(m, button, x, y);
}

void Form_MouseMove(MapMouse &m, int button, int /*shift*/, double x, double y) {
    auto &st = m.state;
    auto &v = st.view;
    auto &ia = st.interaction;
    if (busy(m.hooks) || v.View_Scale == 0.0)
        return;
    world_position(v, x, y);
    // The height goes with the position it is shown with: read it first, except where
    // a drag or a drawing in progress leaves the rasters alone.
    const bool reads_height = st.rasters.count() > 0 &&
                              st.navigation.Pan_State == state::NavigationState::Idle &&
                              !st.progress.Drawing_In_Progress && !ia.Scale_Bar_Dragging;
    if (reads_height)
        Height_Readout(m);
    show_grid_ref(m.hooks, coordinate_readout(v.Cursor_World_X, v.Cursor_World_Y,
                                              st.furniture.Grid_Precision, ia.Current_Height));

    if (st.navigation.Pan_State != state::NavigationState::Idle) {
        pan_drag(m, button, x, y);
        return;
    }

    m.dc.set_rop2(gdi::Rop2::CopyPen);
    if (st.progress.Drawing_In_Progress)
        return;

    if (ia.Tool_Code == state::ToolCode::PointData || ia.Tool_Code == state::ToolCode::Planning)
        Rubber_Band_Circle(m, num::nearest(x), num::nearest(y),
                           buffer_circle_radius(st.settings.Search_Buffer, v.View_Scale));

    m.drag.last_x = x;
    m.drag.last_y = y;

    if (ia.Scale_Bar_Dragging) {
        if ((button & kLeftButton) != 0) {
            st.furniture.Bar_Origin_X = num::nearest(x);
            st.furniture.Bar_Origin_Y = num::nearest(y);
            return;
        }
        ia.Scale_Bar_Dragging = false;
        m.hooks.ui.pointer(state::kPointerCross);
        call(m.hooks.redraw);
        return;
    }

    if (st.navigation.Zoom_Window_State == state::NavigationState::Armed ||
        st.navigation.Zoom_Window_State == state::NavigationState::Dragging)
        zoom_box(m, button, x, y);
}

void Form_MouseUp(MapMouse &m, int button, int /*shift*/, double x, double y) {
    // A right-button release stops a long drawing at its next check.
    m.state.progress.Abort_Drawing = button == kRightButton;
    // A click with the pan tool, the button up before the pointer moved: the pan ends as
    // a drag of no length would, rather than wait on for a drag while the wheel and the
    // keys do nothing.
    auto &nav = m.state.navigation;
    if (button == kLeftButton && nav.Pan_State == state::NavigationState::Armed &&
        m.drag.pan_pressed) {
        pan_drag(m, kLeftButton, m.drag.pan_screen_x, m.drag.pan_screen_y);
        world_position(m.state.view, m.drag.pan_screen_x, m.drag.pan_screen_y);
        pan_drag(m, kNoButton, x, y);
    }
}

void Form_Click(MapMouse &m) {
    if (busy(m.hooks))
        return;
    auto &st = m.state;
    const std::optional<std::string> name =
        raster::Raster_Name_At(st.rasters, st.view.Cursor_World_X, st.view.Cursor_World_Y);
    if (name && m.hooks.raster_name)
        m.hooks.raster_name(*name);
    call(m.hooks.open_panel);
    m.hooks.ui.events();
}

void Rubber_Band_Circle(MapMouse &m, int32_t x, int32_t y, int32_t r) {
    auto &ia = m.state.interaction;
    auto &d = m.drag;
    {
        RubberBandPen pen(m.dc);
        if (ia.Cursor_Fresh) {
            ia.Cursor_Fresh = false;
        } else {
            // The circle drawn last goes with the radius it was drawn with, so that a
            // buffer changed meanwhile leaves no ring behind.
            circle(m.dc, d.circle_x, d.circle_y, d.circle_r);
        }
        circle(m.dc, x, y, r);
        d.circle_x = x;
        d.circle_y = y;
        d.circle_r = r;
    }
    call(m.hooks.repaint);
    m.hooks.ui.events();
    m.dc.set_rop2(gdi::Rop2::CopyPen);
}

void Height_Readout(MapMouse &m) {
    auto &st = m.state;
    const raster::HeightReadout r =
        raster::Height_Readout(st.rasters, st.view.Cursor_World_X, st.view.Cursor_World_Y);
    st.interaction.Current_Height = r.height;
    for (const std::string &text : r.messages)
        m.hooks.ui.message(text);
}

} // namespace interrogation
