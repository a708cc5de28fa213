// The view the caller hands over once per redraw, and the projections of single points.
#include "scale_vars.h"
#include "zent32i.h"

namespace zent {
ScaleVars g_scale;
}

using zent::g_scale;

extern "C" {

ZT_API void ZT_Ini_Zent32dll(void) {}

ZT_API void ZT_Set_PB_Scale_Vars(double scale, double xmin, double ymin, double xmax, double ymax,
                                 int32_t height_units, int32_t width_units, int32_t screen_height,
                                 int32_t screen_width, double exaggeration, int32_t /*centre_x*/,
                                 int32_t /*centre_y*/, int32_t mode, int32_t datum) {
    auto &s = g_scale;
    s.Plot_Scale = scale;
    s.Win_X_Min = zent::round_even(xmin);
    s.Win_Y_Min = zent::round_even(ymin);
    s.Win_X_Max = zent::round_even(xmax);
    s.Win_Y_Max = zent::round_even(ymax);
    s.Win_Height_Units = height_units;
    s.Win_Width_Units = width_units;
    s.Screen_Height = screen_height;
    s.Screen_Width = screen_width;
    s.Height_Exaggeration = exaggeration == 0.0 ? 1.0 : exaggeration;
    s.Half_Width = screen_width / 2;
    s.Half_Height = screen_height / 2;
    s.Projection_Mode = mode;
    s.Height_Datum = datum;
    s.Oblique_Zoom = zent::kObliqueShrink;
}

ZT_API void ZT_Calc_3D_xy(int32_t x, int32_t y, int32_t z, int32_t *px, int32_t *py) {
    int32_t qx = *px, qy = *py;
    if (zent::project_point(g_scale, x, y, z, qx, qy)) {
        *px = qx;
        *py = qy;
    }
}

ZT_API void ZT_Calc_3D_xyIso(int32_t x, int32_t y, int32_t z, int32_t *px, int32_t *py) {
    zent::project_oblique(g_scale, x, y, z, g_scale.Oblique_Zoom, 1.0, *px, *py);
}

ZT_API void Calcisovals(double dx, double dy, double *rotation, double *elevation) {
    auto &s = g_scale;
    const double r2 = dx * dx + dy * dy;
    if (r2 > 0.0) {
        const double r = std::sqrt(r2);
        s.Rotation_Cos = dx / r;
        s.Rotation_Sin = dy / r;
    }
    s.Tilt_Fraction = std::fmax(std::fabs(dx / s.Half_Width), std::fabs(dy / s.Half_Height));
    s.Tilt_Factor = 1.0 - s.Tilt_Fraction;
    s.Height_Factor = s.Height_Exaggeration * s.Plot_Scale;
    if (dy == 0.0)
        return;
    if (s.Tilt_Factor != 0.0)
        *elevation = 90.0 - std::atan(s.Tilt_Fraction / s.Tilt_Factor) * zent::kDegreesElevation;
    if (s.Rotation_Cos != 0.0) {
        const double sign = s.Rotation_Cos > 0.0 ? 1.0 : -1.0;
        *rotation = std::atan(s.Rotation_Sin / s.Rotation_Cos) * zent::kDegreesRotation +
                    sign * 90.0 + 180.0;
    } else {
        *rotation = 0.0;
    }
}

ZT_API void CalcRotvals(double a, double b, int32_t n) {
    g_scale.Rotation_Cos = a / n;
    g_scale.Rotation_Sin = b / n;
}

ZT_API int32_t ZT_PB_Max(int32_t a, int32_t b) {
    return b > a ? b : a;
}

ZT_API int32_t ZT_PB_Min(int32_t a, int32_t b) {
    return b < a ? b : a;
}

} // extern "C"
