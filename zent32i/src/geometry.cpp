// Box tests, region codes, segment crossing, line intersection, distance and bearing.
#include "scale_vars.h"
#include "zent32i.h"

using zent::g_scale;

namespace zent {

int32_t line_intersection(double x1, double y1, double x2, double y2, double x3, double y3,
                          double x4, double y4, double &xi, double &yi) {
    // Exact equality on purpose: only truly vertical lines take the special cases.
    if (x2 == x1) {
        if (x4 == x3)
            return -1;
        xi = x1;
        yi = (xi - x3) * (y4 - y3) / (x4 - x3) + y3;
        return 0;
    }
    if (x4 == x3) {
        xi = x3;
        yi = (xi - x1) * (y2 - y1) / (x2 - x1) + y1;
        return 0;
    }
    const double m1 = (y2 - y1) / (x2 - x1);
    const double c1 = y1 - m1 * x1;
    const double m2 = (y4 - y3) / (x4 - x3);
    const double c2 = y3 - m2 * x3;
    if (m2 == m1)
        return -1;
    xi = (c2 - c1) / (m1 - m2);
    yi = m1 * xi + c1;
    return 0;
}

namespace {

// Does segment 3-4 reach the line through 1-2? Products are formed in 64 bits so that
// coordinate differences of any size stay exact.
bool reaches_line(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t x3, int64_t y3,
                  int64_t x4, int64_t y4) {
    if (x2 == x1)
        return (x3 >= x1 && x4 <= x1) || (x3 <= x1 && x4 >= x1);
    if (y2 == y1)
        return (y3 >= y1 && y4 <= y1) || (y3 <= y1 && y4 >= y1);
    const int64_t c = (x3 - x1) * (y2 - y1);
    const int64_t d = (y3 - y1) * (x2 - x1);
    const int64_t a = (x4 - x1) * (y2 - y1);
    const int64_t b = (y4 - y1) * (x2 - x1);
    return (d <= c && b >= a) || (d >= c && b <= a);
}

} // namespace
} // namespace zent

extern "C" {

ZT_API int32_t ZT_INBOX(const int32_t *x, const int32_t *y) {
    return ZT_inside(*x, *y) ? 1 : 0;
}

ZT_API int32_t ZT_clipBOX(const int32_t *x, const int32_t *y) {
    return zent::region_code(g_scale, *x, *y);
}

ZT_API int32_t ZT_inside(int32_t x, int32_t y) {
    const auto &s = g_scale;
    return (x >= s.Win_X_Min && x <= s.Win_X_Max && y >= s.Win_Y_Min && y <= s.Win_Y_Max) ? -1 : 0;
}

ZT_API int32_t SEGMENT_INTERSECT(const int32_t *x1, const int32_t *y1, const int32_t *x2,
                                 const int32_t *y2, const int32_t *x3, const int32_t *y3,
                                 const int32_t *x4, const int32_t *y4) {
    const bool b_reaches_a = zent::reaches_line(*x1, *y1, *x2, *y2, *x3, *y3, *x4, *y4);
    const bool a_reaches_b = zent::reaches_line(*x3, *y3, *x4, *y4, *x1, *y1, *x2, *y2);
    return (b_reaches_a && a_reaches_b) ? -1 : 0;
}

ZT_API int32_t LINE_INTERSECTION(const double *x1, const double *y1, const double *x2,
                                 const double *y2, const double *x3, const double *y3,
                                 const double *x4, const double *y4, double *xi, double *yi) {
    return zent::line_intersection(*x1, *y1, *x2, *y2, *x3, *y3, *x4, *y4, *xi, *yi);
}

ZT_API double ZT_Lin_Dist(double px, double py, double x1, double y1, double x2, double y2,
                          double tol) {
    if (px < std::fmin(x1, x2) - tol || px > std::fmax(x1, x2) + tol ||
        py < std::fmin(y1, y2) - tol || py > std::fmax(y1, y2) + tol)
        return 0.0;
    if (x2 == x1)
        return std::fabs(x1 - px);
    if (y2 == y1)
        return std::fabs(y1 - py);
    const double dx = x2 - x1, dy = y2 - y1;
    return std::fabs(px * dy - py * dx + y1 * x2 - y2 * x1) / std::sqrt(dx * dx + dy * dy);
}

ZT_API double CalcBearing(double a, double b) {
    // The direction is kept in the oblique view's rotation: a bearing turns the view to
    // face along the vector, and a zero vector answers from whatever direction is held.
    const double s = a * a + b * b;
    if (s > 0.0) {
        const double n = std::sqrt(s);
        g_scale.Rotation_Cos = a / n;
        g_scale.Rotation_Sin = b / n;
    }
    const double ca = g_scale.Rotation_Cos, cb = g_scale.Rotation_Sin;
    if (ca == 0.0)
        return 0.0;
    const double sign = ca > 0.0 ? 1.0 : -1.0;
    return std::atan(cb / ca) * zent::kDegreesRotation + 90.0 * sign + 180.0;
}

} // extern "C"
