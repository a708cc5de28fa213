// One pass over a closed ring: the four-ray point-in-polygon test and the signed area.
#include "scale_vars.h"
#include "zent32i.h"

namespace {

enum Result : int32_t { kUndecided = 0, kOutside = 1, kBoundary = 3, kInside = 4 };

int32_t flipped(int32_t flag) {
    return flag == 0 ? 1 : 0;
}

// Ray-crossing state of one ring. Rays run from the test point towards +y, -y, +x, -x.
struct RayTest {
    double px, py;
    int32_t flags[4] = {0, 0, 0, 0};
    int32_t first_x = 0, first_y = 0, prev_x = 0, prev_y = 0;
    int32_t result = kUndecided;

    // mode 1 opens the ring, 0 takes the edge to (x, y), 2 also closes the ring.
    void step(int32_t x, int32_t y, int32_t mode) {
        if (mode == 1) {
            first_x = prev_x = x;
            first_y = prev_y = y;
            result = kUndecided;
            return;
        }
        if (mode == 2) {
            x = first_x;
            y = first_y;
        }
        edge(prev_x, prev_y, x, y);
        prev_x = x;
        prev_y = y;
        if (result == kBoundary || mode != 2)
            return;
        decide();
    }

    void edge(double X0, double Y0, double X1, double Y1) {
        if (X0 != X1 && px >= std::fmin(X0, X1) && px <= std::fmax(X0, X1)) {
            const double yc = Y0 + (px - X0) * (Y0 - Y1) / (X0 - X1);
            const bool through_vertex = X0 == px || X1 == px;
            if (yc >= py) {
                flags[0] = flipped(flags[0]);
                if (through_vertex) {
                    flags[0] = flipped(flags[0]);
                    return;
                }
            }
            if (yc < py) {
                flags[1] = flipped(flags[1]);
                if (through_vertex) {
                    flags[1] = flipped(flags[1]);
                    return;
                }
            }
            if (yc == py) {
                result = kBoundary;
                return;
            }
        }
        if (Y0 != Y1 && py >= std::fmin(Y0, Y1) && py <= std::fmax(Y0, Y1)) {
            const double xc = X0 + (py - Y0) * (X0 - X1) / (Y0 - Y1);
            const bool through_vertex = Y0 == py || Y1 == py;
            if (xc >= px) {
                flags[2] = flipped(flags[2]);
                if (through_vertex) {
                    flags[2] = flipped(flags[2]);
                    return;
                }
            }
            if (xc < px) {
                flags[3] = flipped(flags[3]);
                if (through_vertex) {
                    flags[3] = flipped(flags[3]);
                    return;
                }
            }
            if (xc == px)
                result = kBoundary;
        }
    }

    bool all_set() const { return flags[0] && flags[1] && flags[2] && flags[3]; }

    // Inside when at least three of the four rays crossed the ring an odd number of times.
    void decide() {
        int32_t counter = 0;
        for (int32_t k = 0; k < 4; ++k) {
            if (all_set() && counter < 2) {
                result = kInside;
                return;
            }
            if (flags[k] == 0) {
                flags[k] = 1;
                if (++counter == 4) {
                    result = kOutside;
                    return;
                }
            }
        }
        result = (all_set() && counter < 2) ? kInside : kOutside;
    }
};

} // namespace

extern "C" ZT_API void ZT_PolyProcess(ZT_Point3Array *vertices, const int32_t *n, double *area,
                                      const void *, const void *, const int32_t *px,
                                      const int32_t *py, const void *, int32_t *result) {
    const int32_t last = *n;
    if (last < 1 || last >= zent::capacity_of(vertices))
        return;
    ZT_Point3 *v = vertices->data;
    v[last] = v[0];

    // The offset keeps the test point off integer vertex coordinates; it was a
    // single-precision constant.
    RayTest rays{*px + static_cast<double>(0.1f), *py + static_cast<double>(0.1f)};
    double prev_x = 0.0, prev_y = 0.0;
    for (int32_t i = 0; i <= last; ++i) {
        const double x = v[i].x, y = v[i].y;
        if (i > 0)
            *area += (y + prev_y) * 0.5 * (prev_x - x);
        prev_x = x;
        prev_y = y;
        rays.step(v[i].x, v[i].y, i == 0 ? 1 : (i == last ? 2 : 0));
    }
    // The ring was closed in place above, so no further area step is needed.
    *result = rays.result;
}
