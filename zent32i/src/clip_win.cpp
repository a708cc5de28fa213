// Clipping of a polyline or polygon against the world window, then projection and
// drawing through the caller's surface. Filled polygons that leave the window keep
// their shape inside it because the window corners they pass round are inserted.
#include "scale_vars.h"
#include "zent32i.h"

using zent::g_scale;

namespace {

enum : int32_t {
    kAbove = ZT_OUT_ABOVE,
    kRight = ZT_OUT_RIGHT,
    kBelow = ZT_OUT_BELOW,
    kLeft = ZT_OUT_LEFT
};

struct Clipper {
    const zent::ScaleVars &s;
    ZT_Point2 *out;
    int32_t room;
    int32_t count = 0;
    int32_t lastx = -1000000000, lasty = -1000000000;

    void append(int32_t x, int32_t y, int32_t z) {
        int32_t px = lastx, py = lasty;
        zent::project_point(s, x, y, z, px, py);
        if (px == lastx && py == lasty)
            return;
        if (count < room)
            out[count++] = ZT_Point2{px, py};
        lastx = px;
        lasty = py;
    }

    void corner(int32_t region, int32_t z) {
        switch (region) {
        case kAbove | kRight:
            append(s.Win_X_Max, s.Win_Y_Max, z);
            break;
        case kAbove | kLeft:
            append(s.Win_X_Min, s.Win_Y_Max, z);
            break;
        case kBelow | kRight:
            append(s.Win_X_Max, s.Win_Y_Min, z);
            break;
        case kBelow | kLeft:
            append(s.Win_X_Min, s.Win_Y_Min, z);
            break;
        default:
            break;
        }
    }

    // Where the line through a and b meets the edge line of `edge`; false if parallel.
    bool meet(const ZT_Point3 &a, const ZT_Point3 &b, int32_t edge, double &xi, double &yi) const {
        double ex1, ey1, ex2, ey2;
        switch (edge) {
        case kAbove:
            ex1 = s.Win_X_Max, ey1 = s.Win_Y_Max, ex2 = s.Win_X_Min, ey2 = s.Win_Y_Max;
            break;
        case kRight:
            ex1 = s.Win_X_Max, ey1 = s.Win_Y_Max, ex2 = s.Win_X_Max, ey2 = s.Win_Y_Min;
            break;
        case kBelow:
            ex1 = s.Win_X_Max, ey1 = s.Win_Y_Min, ex2 = s.Win_X_Min, ey2 = s.Win_Y_Min;
            break;
        default:
            ex1 = s.Win_X_Min, ey1 = s.Win_Y_Max, ex2 = s.Win_X_Min, ey2 = s.Win_Y_Min;
            break;
        }
        return zent::line_intersection(a.x, a.y, b.x, b.y, ex1, ey1, ex2, ey2, xi, yi) == 0;
    }

    // Appends the crossing of segment a-b for the end `end` lying in `region`; the
    // crossing takes that end's height.
    void crossing(const ZT_Point3 &a, const ZT_Point3 &b, const ZT_Point3 &end, int32_t region) {
        // A segment that leaves the window through an edge cannot run parallel to it;
        // should it happen with degenerate input, the end itself stands in.
        double xi = end.x, yi = end.y;
        switch (region) {
        case kAbove:
        case kRight:
        case kBelow:
        case kLeft:
            meet(a, b, region, xi, yi);
            break;
        case kAbove | kRight:
        case kAbove | kLeft:
            if (meet(a, b, region & (kRight | kLeft), xi, yi) && yi > s.Win_Y_Max)
                meet(a, b, kAbove, xi, yi);
            break;
        case kBelow | kRight:
        case kBelow | kLeft:
            if (meet(a, b, region & (kRight | kLeft), xi, yi) && yi < s.Win_Y_Min)
                meet(a, b, kBelow, xi, yi);
            break;
        default:
            break;
        }
        append(zent::round_even(xi), zent::round_even(yi), end.z);
    }

    void segment(const ZT_Point3 &A, const ZT_Point3 &B) {
        const int32_t a = zent::region_code(s, A.x, A.y);
        const int32_t b = zent::region_code(s, B.x, B.y);
        if (a == 0 && b == 0) {
            append(A.x, A.y, A.z);
            append(B.x, B.y, B.z);
        } else if (a == b) {
            // Wholly outside on one side.
        } else if (a == 0) {
            append(A.x, A.y, A.z);
            crossing(A, B, B, b);
        } else if (b == 0) {
            crossing(A, B, A, a);
            append(B.x, B.y, B.z);
        } else if (a & b & kAbove) {
            corners_of(a, b, kAbove | kLeft, kAbove | kRight, A.z);
        } else if (a & b & kBelow) {
            corners_of(a, b, kBelow | kLeft, kBelow | kRight, A.z);
        } else if (a & b & kLeft) {
            corners_of(a, b, kBelow | kLeft, kAbove | kLeft, A.z);
        } else if (a & b & kRight) {
            corners_of(a, b, kBelow | kRight, kAbove | kRight, A.z);
        } else {
            crossing(A, B, A, a);
            crossing(A, B, B, b);
        }
    }

    void corners_of(int32_t a, int32_t b, int32_t c1, int32_t c2, int32_t z) {
        if (a == c1 || a == c2)
            corner(a, z);
        if (b == c1 || b == c2)
            corner(b, z);
    }
};

} // namespace

extern "C" ZT_API void ClipWin(const ZT_Point3Array *points, ZT_Point2Array *out, int32_t n,
                               int32_t *count, int32_t kind, const ZT_DeviceContext *dc) {
    const int32_t readable = zent::capacity_of(points);
    if (n > readable)
        n = readable;
    Clipper c{g_scale, zent::capacity_of(out) > 0 ? out->data : nullptr, zent::capacity_of(out)};
    for (int32_t k = 0; k + 1 < n; ++k)
        c.segment(points->data[k], points->data[k + 1]);
    *count = c.count;
    if (c.count < 2 || dc == nullptr)
        return;
    if (kind == ZT_KIND_POLYGON) {
        // The closing copy is a convenience for callers that read the array afterwards.
        if (c.count < c.room)
            c.out[c.count] = c.out[0];
        if (dc->polygon)
            dc->polygon(dc->context, c.out, c.count);
    } else if (dc->polyline) {
        dc->polyline(dc->context, c.out, c.count);
    }
}
