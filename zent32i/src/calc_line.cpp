// Projection of whole polylines: one call per object instead of one per vertex.
#include "scale_vars.h"
#include "zent32i.h"

using zent::g_scale;

namespace {

// Projects and de-duplicates in one pass. The projection is a template argument so
// that the plan case, which every map redraw takes, compiles to a tight loop.
template <class Project>
void calc_line(const ZT_Point3 *in, int32_t n, ZT_Point2 *out, int32_t room, int32_t &count,
               Project project) {
    int32_t written = 0;
    int32_t lastx = 0, lasty = 0;
    for (int32_t k = 0; k < n; ++k) {
        int32_t px = lastx, py = lasty;
        project(in[k], px, py);
        if (k > 0 && px == lastx && py == lasty)
            continue;
        if (written < room)
            out[written++] = ZT_Point2{px, py};
        lastx = px;
        lasty = py;
    }
    count = written;
}

}  // namespace

extern "C" ZT_API void ZT_CalcLine(const ZT_Point3Array *points, ZT_Point2Array *screen,
                                   int32_t n, int32_t *count) {
    if (n <= 0)
        return;
    const int32_t readable = zent::capacity_of(points);
    const int32_t room = zent::capacity_of(screen);
    if (n > readable)
        n = readable;
    if (n <= 0 || room <= 0) {
        *count = 0;
        return;
    }
    const ZT_Point3 *in = points->data;
    ZT_Point2 *out = screen->data;
    const auto &s = g_scale;
    switch (s.Projection_Mode) {
    case 0:
    case 1: {
        // Same arithmetic as project_plan, with the loop-invariant parts hoisted.
        const double scale = s.Plot_Scale, x0 = s.Win_X_Min, y0 = s.Win_Y_Min;
        const double h = s.Screen_Height;
        calc_line(in, n, out, room, *count, [=](const ZT_Point3 &p, int32_t &px, int32_t &py) {
            px = zent::round_even(scale * (static_cast<double>(p.x) - x0));
            py = zent::round_even(h - scale * (static_cast<double>(p.y) - y0));
        });
        break;
    }
    case 2:
    case 5: {
        // Here the height term is weighted by the tilt as well, unlike single points.
        const double k = s.Projection_Mode == 2 ? s.Oblique_Zoom : 1.0;
        calc_line(in, n, out, room, *count, [&](const ZT_Point3 &p, int32_t &px, int32_t &py) {
            zent::project_oblique(s, p.x, p.y, p.z, k, s.Tilt_Fraction, px, py);
        });
        break;
    }
    case 3:
        calc_line(in, n, out, room, *count, [&](const ZT_Point3 &p, int32_t &px, int32_t &py) {
            zent::project_perspective(s, p.x, p.y, p.z, px, py);
        });
        break;
    default:
        // Unknown mode: every point repeats the previous one, starting from (0, 0).
        calc_line(in, n, out, room, *count, [](const ZT_Point3 &, int32_t &, int32_t &) {});
        break;
    }
}
