#include "view/transform.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/base/numbers.h"
#include "platform/surface/gdi.h"
#include "zent32i_binding.h"

namespace view {

namespace {

constexpr int32_t kDefaultHeightUnits = 100;

} // namespace

void Prepare_View(state::ViewState &v, gdi::DeviceContext &dc, int client_width,
                  int client_height) {
    v.Map_DC = &dc;
    dc.set_background_mode(gdi::BackgroundMode::Transparent);

    v.Window_Height_Px = client_height > 0 ? client_height : 0;
    v.Window_Width_Px = client_width > 0 ? client_width : 0;
    dc.set_text_align(gdi::TA_LEFT | gdi::TA_BOTTOM);

    const int32_t h = v.Window_Height_Px;
    const int32_t w = v.Window_Width_Px;
    const gdi::Point border[5] = {{0, 0}, {0, h}, {w - 1, h}, {w - 1, 0}, {0, 0}};
    dc.polyline(border, 5);

    if (v.View_Height_Units == 0)
        v.View_Height_Units = kDefaultHeightUnits;
    // The most negative height has no positive twin; the largest height stands in.
    v.View_Height_Units = num::clamp32(std::llabs(static_cast<int64_t>(v.View_Height_Units)));

    v.Window_Height = v.Window_Height_Px;
    v.Window_Width = v.Window_Width_Px;
    v.View_Scale = v.Window_Height / v.View_Height_Units;
    // A window without height (minimised) has no scale; its width in world units would be
    // infinite, so it shows none.
    v.View_Width_Units =
        v.View_Scale != 0.0 ? num::nearest_clamped(v.Window_Width / v.View_Scale) : 0;

    v.View_Y_Max = v.View_Y_Min + v.View_Height_Units;
    v.View_X_Max = v.View_X_Min + v.View_Width_Units;
    v.View_Centre_X = num::nearest_clamped(v.View_X_Min + num::halve(v.View_Width_Units));
    v.View_Centre_Y = num::nearest_clamped(v.View_Y_Min + num::halve(v.View_Height_Units));

    state::Set_Library_View(v);
}

void world_to_pixel(const state::ViewState &v, int32_t x, int32_t y, int32_t &px, int32_t &py) {
    state::Set_Library_View(v);
    zt::ZT_Calc_3D_xy(x, y, v.Z_Datum, &px, &py);
}

bool pixel_to_world(state::ViewState &v, double px, double py) {
    if (v.View_Scale == 0.0)
        return false;
    // The inner rounding comes first, so the pointer moves in whole world units.
    v.Cursor_World_X = num::nearest_clamped(std::nearbyint(px / v.View_Scale) + v.View_X_Min);
    v.Cursor_World_Y =
        num::nearest_clamped(std::nearbyint((v.Window_Height - py) / v.View_Scale) + v.View_Y_Min);
    return true;
}

} // namespace view
