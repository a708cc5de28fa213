// The library's one set of view and projection variables, and the arithmetic every
// routine shares. Internal to the library.
#pragma once

#include <cmath>
#include <cstdint>

#include "zent32i.h"

namespace zent {

struct ScaleVars {
    double Plot_Scale;
    int32_t Win_X_Min, Win_Y_Min, Win_X_Max, Win_Y_Max;
    int32_t Win_Height_Units, Win_Width_Units;
    int32_t Screen_Height, Screen_Width;
    int32_t Half_Width, Half_Height;
    double Height_Exaggeration;
    int32_t Projection_Mode;
    int32_t Height_Datum;
    double Oblique_Zoom; // always a four-decimal fixed-point value
    double Rotation_Cos, Rotation_Sin;
    double Tilt_Fraction, Tilt_Factor, Height_Factor;
    // Nothing in the library sets the eye; these keep the perspective formula finite.
    double Eye_Distance = 1.0, Eye_Offset_X = 0.0, Eye_Offset_Y = 0.0;
};

extern ScaleVars g_scale;

// The library's constants. The degree factors were single-precision literals in the
// original arithmetic and must keep their float values to reproduce its angles.
inline constexpr double kObliqueShrink = 0.7070;
inline constexpr double kDegreesRotation = static_cast<double>(57.2958f);
inline constexpr double kDegreesElevation = static_cast<double>(57.296f);

// Nearest integer, halves to the even neighbour (the FPU's default rounding mode).
// Going through long keeps out-of-range values defined instead of undefined.
inline int32_t round_even(double v) {
    return static_cast<int32_t>(std::lrint(v));
}

// A value held in four-decimal fixed point, as the oblique modes keep their
// screen-centred coordinates.
inline double fixed4(double v) {
    return static_cast<double>(std::llrint(v * 10000.0)) / 10000.0;
}

// The projections of one world point. Each writes px, py only for the modes it handles.
inline void project_plan(const ScaleVars &s, int32_t x, int32_t y, int32_t &px, int32_t &py) {
    px = round_even(s.Plot_Scale * (static_cast<double>(x) - s.Win_X_Min));
    py = round_even(s.Screen_Height - s.Plot_Scale * (static_cast<double>(y) - s.Win_Y_Min));
}

// Oblique view about the window centre; k is the shrink (1 for mode 5) and
// height_weight scales the height term (the line routine weights it by the tilt).
inline void project_oblique(const ScaleVars &s, int32_t x, int32_t y, int32_t z, double k,
                            double height_weight, int32_t &px, int32_t &py) {
    const double u = fixed4(s.Plot_Scale * (static_cast<double>(x) - s.Win_X_Min) - s.Half_Width);
    const double v = fixed4(s.Half_Height - s.Plot_Scale * (static_cast<double>(y) - s.Win_Y_Min));
    const double A = s.Rotation_Cos, B = s.Rotation_Sin;
    const double h = s.Height_Factor * (static_cast<double>(z) - s.Height_Datum) * height_weight;
    px = round_even(s.Half_Width + k * (A * v - B * u));
    py = round_even(s.Half_Height - k * (s.Tilt_Factor * (A * u + B * v) + h));
}

inline void project_perspective(const ScaleVars &s, int32_t x, int32_t y, int32_t z, int32_t &px,
                                int32_t &py) {
    const double u = static_cast<double>(x) - (s.Win_X_Min + 0.5 * s.Eye_Offset_X);
    const double v = static_cast<double>(y) - (s.Win_Y_Min + s.Eye_Offset_Y);
    const double w = fixed4((s.Rotation_Cos * u + s.Rotation_Sin * v) / s.Eye_Distance + 1.0);
    const double t = fixed4(1.0 - (static_cast<double>(z) - s.Height_Datum) *
                                      s.Height_Exaggeration / s.Eye_Distance);
    // Truncation toward zero; through long long so that a wild value stays defined.
    px = static_cast<int32_t>(static_cast<long long>(std::trunc(w * s.Half_Width)));
    py = static_cast<int32_t>(static_cast<long long>(std::trunc(t * s.Half_Height)));
}

// Returns false for a mode that projects nothing.
inline bool project_point(const ScaleVars &s, int32_t x, int32_t y, int32_t z, int32_t &px,
                          int32_t &py) {
    switch (s.Projection_Mode) {
    case 0:
    case 1:
        project_plan(s, x, y, px, py);
        return true;
    case 2:
        project_oblique(s, x, y, z, s.Oblique_Zoom, 1.0, px, py);
        return true;
    case 3:
        project_perspective(s, x, y, z, px, py);
        return true;
    case 5:
        project_oblique(s, x, y, z, 1.0, 1.0, px, py);
        return true;
    default:
        return false;
    }
}

// Out-code of a point against the world window: 8 left / 2 right, 4 below / 1 above.
inline int32_t region_code(const ScaleVars &s, int32_t x, int32_t y) {
    int32_t code = 0;
    if (x < s.Win_X_Min)
        code = ZT_OUT_LEFT;
    else if (x > s.Win_X_Max)
        code = ZT_OUT_RIGHT;
    if (y < s.Win_Y_Min)
        code += ZT_OUT_BELOW;
    else if (y > s.Win_Y_Max)
        code += ZT_OUT_ABOVE;
    return code;
}

// Usable element count of a caller's array descriptor.
template <class Array> inline int32_t capacity_of(const Array *a) {
    if (a == nullptr || a->data == nullptr || a->capacity < 0)
        return 0;
    return a->capacity;
}

// The line intersection shared by LINE_INTERSECTION and the clipper.
int32_t line_intersection(double x1, double y1, double x2, double y2, double x3, double y3,
                          double x4, double y4, double &xi, double &yi);

} // namespace zent
