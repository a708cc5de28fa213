// Projection of whole polylines: one call per object instead of one per vertex.
#include <cstring>

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

// Rounds to the nearest integer, halves to even, in a form the compiler can vectorise:
// adding 1.5 x 2^52 rounds in the default rounding mode and leaves the integer, in two's
// complement, in the low bits of the sum. Like a conversion through a 64-bit integer it
// wraps values beyond the 32-bit range instead of leaving them undefined.
inline int32_t round_even_bits(double v) {
    const double shifted = v + 6755399441055744.0;
    int64_t bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    return static_cast<int32_t>(bits);
}

// The plan projection that every redraw uses, in blocks: first every point of a block
// is projected (a loop without branches, which vectorises), then repeats are dropped
// with a branch-free store. Needs room for n output points.
// Built twice, for processors with and without wide vectors; the loader picks one.
__attribute__((target_clones("avx2", "default"))) void calc_line_plan(const zent::ScaleVars &s,
                                                                      const ZT_Point3 *in,
                                                                      int32_t n, ZT_Point2 *out,
                                                                      int32_t &count) {
    constexpr int32_t kBlock = 256;
    const double scale = s.Plot_Scale, x0 = s.Win_X_Min, y0 = s.Win_Y_Min;
    const double h = s.Screen_Height;
    int32_t bx[kBlock], by[kBlock];
    int32_t written = 0;
    int32_t lastx = 0, lasty = 0;
    for (int32_t start = 0; start < n; start += kBlock) {
        const int32_t m = n - start < kBlock ? n - start : kBlock;
        const ZT_Point3 *p = in + start;
        for (int32_t i = 0; i < m; ++i) {
            bx[i] = round_even_bits(scale * (static_cast<double>(p[i].x) - x0));
            by[i] = round_even_bits(h - scale * (static_cast<double>(p[i].y) - y0));
        }
        int32_t i = 0;
        if (start == 0) {
            out[0] = ZT_Point2{bx[0], by[0]};
            lastx = bx[0];
            lasty = by[0];
            written = 1;
            i = 1;
        }
        for (; i < m; ++i) {
            out[written] = ZT_Point2{bx[i], by[i]};
            written += (bx[i] != lastx) | (by[i] != lasty);
            lastx = bx[i];
            lasty = by[i];
        }
    }
    count = written;
}

} // namespace

extern "C" ZT_API void ZT_CalcLine(const ZT_Point3Array *points, ZT_Point2Array *screen, int32_t n,
                                   int32_t *count) {
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
    case 1:
        if (room >= n) {
            calc_line_plan(s, in, n, out, *count);
            break;
        }
        calc_line(in, n, out, room, *count, [&](const ZT_Point3 &p, int32_t &px, int32_t &py) {
            zent::project_plan(s, p.x, p.y, px, py);
        });
        break;
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
