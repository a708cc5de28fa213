// Corners of one height-grid cell in the oblique view, for callers that walk a grid
// cell by cell: the two corners shared with the previous cell are reused.
#include "scale_vars.h"
#include "zent32i.h"

using zent::g_scale;

namespace {

// Kept between calls: the far corners of the last cell and where it stood.
ZT_Point2 g_cache_a, g_cache_b;
int32_t g_last_x, g_last_y;

ZT_Point2 project_corner(double wx, double wy, int32_t z) {
    const auto &s = g_scale;
    const double u = zent::fixed4(s.Plot_Scale * (wx - s.Win_X_Min) - s.Half_Width);
    const double v = zent::fixed4(s.Half_Height - s.Plot_Scale * (wy - s.Win_Y_Min));
    const double k = s.Oblique_Zoom, A = s.Rotation_Cos, B = s.Rotation_Sin;
    return ZT_Point2{
        zent::round_even(s.Half_Width + k * (A * v - B * u)),
        zent::round_even(s.Half_Height -
                         k * (s.Tilt_Factor * (A * u + B * v) +
                              s.Height_Factor * (static_cast<double>(z) - s.Height_Datum))),
    };
}

} // namespace

extern "C" ZT_API void ZT4Patch(int32_t first, int32_t mode, int32_t x, int32_t y, float dx,
                                float dy, const ZT_Int32Array *heights, ZT_Point2Array *corners) {
    if (mode != 0 && mode != 1)
        return;
    if (zent::capacity_of(heights) < 4 || zent::capacity_of(corners) < 4)
        return;
    const int32_t *h = heights->data;
    ZT_Point2 *c = corners->data;
    const double x0 = x, y0 = y, x1 = x0 + static_cast<double>(dx),
                 y1 = y0 - static_cast<double>(dy);

    // Corner k of each walking direction, in the order the heights are given.
    const double cx[2][4] = {{x0, x1, x1, x0}, {x0, x0, x1, x1}};
    const double cy[2][4] = {{y0, y0, y1, y1}, {y0, y1, y1, y0}};
    const bool continues = first == 0 && (mode == 0 ? y == g_last_y : x == g_last_x);

    if (continues) {
        c[0] = g_cache_a;
        c[3] = g_cache_b;
    } else {
        c[0] = project_corner(cx[mode][0], cy[mode][0], h[0]);
        c[3] = project_corner(cx[mode][3], cy[mode][3], h[3]);
    }
    c[1] = project_corner(cx[mode][1], cy[mode][1], h[1]);
    c[2] = project_corner(cx[mode][2], cy[mode][2], h[2]);
    g_cache_a = c[1];
    g_cache_b = c[2];
    g_last_x = x;
    g_last_y = y;
}
