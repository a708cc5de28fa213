#include "interrogation/geometry.h"

#include <algorithm>
#include <cmath>

namespace interrogation {

namespace {

bool between(double v, double a, double b) {
    return (v >= a && v <= b) || (v >= b && v <= a);
}

// Distance from (px, py) to the segment: the foot of the perpendicular when it falls on
// the segment, else the nearer end.
double segment_distance(double px, double py, double x1, double y1, double x2, double y2) {
    const double dx = x2 - x1, dy = y2 - y1;
    const double len2 = dx * dx + dy * dy;
    double t = 0.0;
    if (len2 > 0.0)
        t = std::clamp(((px - x1) * dx + (py - y1) * dy) / len2, 0.0, 1.0);
    return std::hypot(px - (x1 + t * dx), py - (y1 + t * dy));
}

} // namespace

int32_t inpy(int32_t value) {
    return value == 0 ? 1 : 0;
}

void PolyArea(AreaWalk &walk, int32_t x, int32_t y, int32_t mode, double &area) {
    if (mode == 1) {
        walk.prev_x = x;
        walk.prev_y = y;
    } else if (mode == 0) {
        area += (y + walk.prev_y) / 2.0 * (walk.prev_x - x);
        walk.prev_x = x;
        walk.prev_y = y;
    }
}

void In_A_Poly(RayWalk &w, double px, double py, int32_t &x, int32_t &y, int32_t &mode,
               int32_t &result) {
    if (mode == 1) {
        w.first_x = w.prev_x = x;
        w.first_y = w.prev_y = y;
        mode = 0;
        result = kUndecided;
        return;
    }
    if (mode == 2) {
        x = w.first_x;
        y = w.first_y;
    }
    const double x0 = w.prev_x, y0 = w.prev_y, x1 = x, y1 = y;
    bool finished = false;

    // The rays along y: does the edge cross the vertical through the point?
    if (x0 != x1 && between(px, x0, x1)) {
        const double yc = y0 + (px - x0) * (y0 - y1) / (x0 - x1);
        if (yc == py) {
            result = kOnBoundary;
            finished = true;
        } else {
            int32_t &flag = yc > py ? w.flags[1] : w.flags[2];
            flag = inpy(flag);
            // An edge that ends on the ray is counted by the edge on its other side.
            if (x0 == px || x1 == px) {
                flag = inpy(flag);
                finished = true;
            }
        }
    }
    // The rays along x.
    if (!finished && y0 != y1 && between(py, y0, y1)) {
        const double xc = x0 + (py - y0) * (x0 - x1) / (y0 - y1);
        if (xc == px) {
            result = kOnBoundary;
        } else {
            int32_t &flag = xc > px ? w.flags[3] : w.flags[4];
            flag = inpy(flag);
            if (y0 == py || y1 == py)
                flag = inpy(flag);
        }
    }
    w.prev_x = x;
    w.prev_y = y;
    if (result == kOnBoundary || mode != 2)
        return;

    // Inside when no more than one ray crossed an even number of times.
    int32_t even = 0;
    for (int k = 1; k <= 4; ++k) {
        if (w.flags[k] == 0) {
            w.flags[k] = 1;
            ++even;
        }
    }
    result = even < 2 ? kInside : kOutside;
}

std::optional<double> LINE_DISTANCE2(double px, double py, double x1, double y1, double x2,
                                     double y2, double search_buffer) {
    const double b = search_buffer;
    if (px < std::min(x1, x2) - b || px > std::max(x1, x2) + b || py < std::min(y1, y2) - b ||
        py > std::max(y1, y2) + b)
        return std::nullopt;
    return segment_distance(px, py, x1, y1, x2, y2);
}

LineDistance VbDistPointLine(const Shape &shape, int32_t n, int32_t px, int32_t py,
                             double search_buffer) {
    LineDistance out;
    const double half = search_buffer / 2.0;
    n = std::min<int32_t>(n, static_cast<int32_t>(shape.size()));
    for (int32_t i = 1; i < n; ++i) {
        const ShapePoint &a = shape[static_cast<std::size_t>(i - 1)];
        const ShapePoint &b = shape[static_cast<std::size_t>(i)];
        const std::optional<double> d = LINE_DISTANCE2(px, py, a.x, a.y, b.x, b.y, search_buffer);
        if (d && *d <= half && (out.result != kNearLine || *d < out.dist)) {
            out.result = kNearLine;
            out.dist = *d;
        }
    }
    return out;
}

bool on_segment(int32_t px, int32_t py, const ShapePoint &a, const ShapePoint &b) {
    // The box first: most edges of a ring are nowhere near the point.
    if (px < std::min(a.x, b.x) || px > std::max(a.x, b.x) || py < std::min(a.y, b.y) ||
        py > std::max(a.y, b.y))
        return false;
    const int64_t abx = static_cast<int64_t>(b.x) - a.x, aby = static_cast<int64_t>(b.y) - a.y;
    const int64_t apx = static_cast<int64_t>(px) - a.x, apy = static_cast<int64_t>(py) - a.y;
    // Coordinates are 32-bit, so each difference fits 33 bits and each product 66: the
    // cross product is formed in 128 bits.
    return static_cast<__int128>(abx) * apy == static_cast<__int128>(aby) * apx;
}

PolyProcess vbPolyProcess(Shape &shape, int32_t n, int32_t px, int32_t py, double search_buffer) {
    PolyProcess out;
    if (n < 0)
        return out;
    const auto need = static_cast<std::size_t>(n) + 2;
    if (shape.size() < need)
        shape.resize(need);
    shape[static_cast<std::size_t>(n) + 1] = ShapePoint{shape[0].x, shape[0].y, 0};

    const double qx = px + 0.5, qy = py + 0.5;
    const double half = search_buffer / 2.0;
    RayWalk rays;
    AreaWalk area;
    bool on_edge = false;
    double best = 0.0;
    bool have_best = false;
    int32_t result = kUndecided;
    for (int32_t i = 0; i <= n; ++i) {
        const ShapePoint &v = shape[static_cast<std::size_t>(i)];
        if (i > 0) {
            const ShapePoint &u = shape[static_cast<std::size_t>(i - 1)];
            // A zero-length edge is a repeated vertex, which its neighbours cover.
            if (!on_edge && (u.x != v.x || u.y != v.y))
                on_edge = on_segment(px, py, u, v);
            const std::optional<double> d =
                LINE_DISTANCE2(px, py, u.x, u.y, v.x, v.y, search_buffer);
            if (d && *d <= half && (!have_best || *d < best)) {
                best = *d;
                have_best = true;
            }
        }
        PolyArea(area, v.x, v.y, i == 0 ? 1 : 0, out.area);
        int32_t x = v.x, y = v.y;
        int32_t mode = i == 0 ? 1 : (i == n ? 2 : 0);
        In_A_Poly(rays, qx, qy, x, y, mode, result);
    }
    out.result = on_edge ? kOnBoundary : result;
    out.dist = have_best ? best : 0.0;
    return out;
}

void RingIndex::Strips::build(const Shape &v, int32_t n, bool along_x) {
    const auto lo_hi = [&](int32_t i) {
        const double a =
            along_x ? v[static_cast<std::size_t>(i - 1)].x : v[static_cast<std::size_t>(i - 1)].y;
        const double b =
            along_x ? v[static_cast<std::size_t>(i)].x : v[static_cast<std::size_t>(i)].y;
        return std::pair(std::min(a, b), std::max(a, b));
    };
    double lo = 0.0, hi = 0.0;
    for (int32_t i = 1; i <= n; ++i) {
        const auto [a, b] = lo_hi(i);
        lo = i == 1 ? a : std::min(lo, a);
        hi = i == 1 ? b : std::max(hi, b);
    }
    // About one strip per edge; strips of whole units, so that a point and the point
    // half a unit beside it (where the rays start) fall in the same strip.
    const auto count = static_cast<std::size_t>(std::max<int32_t>(n, 1));
    origin = lo;
    width = std::max(1.0, std::ceil((hi - lo + 1.0) / static_cast<double>(count)));
    const auto strip = [&](double value) {
        return std::min(count - 1, static_cast<std::size_t>((value - origin) / width));
    };
    std::vector<uint32_t> sizes(count + 1, 0);
    for (int32_t i = 1; i <= n; ++i) {
        const auto [a, b] = lo_hi(i);
        for (std::size_t s = strip(a); s <= strip(b); ++s)
            ++sizes[s + 1];
    }
    first.assign(count + 1, 0);
    for (std::size_t s = 0; s < count; ++s)
        first[s + 1] = first[s] + sizes[s + 1];
    edges.assign(first[count], 0);
    std::vector<uint32_t> next(first.begin(), first.end() - 1);
    for (int32_t i = 1; i <= n; ++i) {
        const auto [a, b] = lo_hi(i);
        for (std::size_t s = strip(a); s <= strip(b); ++s)
            edges[next[s]++] = i;
    }
}

std::pair<const int32_t *, const int32_t *> RingIndex::Strips::at(double v) const {
    const std::size_t count = first.size() - 1;
    if (edges.empty() || v < origin || v >= origin + width * static_cast<double>(count))
        return {nullptr, nullptr};
    const auto s = std::min(count - 1, static_cast<std::size_t>((v - origin) / width));
    return {edges.data() + first[s], edges.data() + first[s + 1]};
}

RingIndex::RingIndex(const Shape &shape, int32_t n)
    : n_(std::clamp<int32_t>(n, 0, std::max<int32_t>(0, static_cast<int32_t>(shape.size()) - 1))) {
    if (n_ < 1)
        return;
    // The closing vertex is vertex 0, as the last call of a ring walk makes it.
    v_.assign(shape.begin(), shape.begin() + n_ + 1);
    v_[static_cast<std::size_t>(n_)] = v_[0];
    x_.build(v_, n_, true);
    y_.build(v_, n_, false);
}

int32_t RingIndex::classify(int32_t px, int32_t py) const {
    if (n_ < 1)
        return kUndecided;
    const double qx = px + 0.5, qy = py + 0.5;
    const auto vertex = [&](int32_t i) -> const ShapePoint & {
        return v_[static_cast<std::size_t>(i)];
    };
    std::array<int32_t, 5> flags{};
    // The vertical rays and the exact edge test: only edges whose x extent holds the
    // point's x can meet either (the strip of px is also that of qx).
    const auto [xb, xe] = x_.at(px);
    for (const int32_t *e = xb; e != xe; ++e) {
        const ShapePoint &u = vertex(*e - 1), &w = vertex(*e);
        if ((u.x != w.x || u.y != w.y) && on_segment(px, py, u, w))
            return kOnBoundary;
        const double x0 = u.x, y0 = u.y, x1 = w.x, y1 = w.y;
        if (x0 != x1 && between(qx, x0, x1)) {
            const double yc = y0 + (qx - x0) * (y0 - y1) / (x0 - x1);
            if (yc == qy)
                return kOnBoundary;
            int32_t &flag = yc > qy ? flags[1] : flags[2];
            flag = inpy(flag);
        }
    }
    const auto [yb, ye] = y_.at(qy);
    for (const int32_t *e = yb; e != ye; ++e) {
        const double x0 = vertex(*e - 1).x, y0 = vertex(*e - 1).y, x1 = vertex(*e).x,
                     y1 = vertex(*e).y;
        if (y0 != y1 && between(qy, y0, y1)) {
            const double xc = x0 + (qy - y0) * (x0 - x1) / (y0 - y1);
            if (xc == qx)
                return kOnBoundary;
            int32_t &flag = xc > qx ? flags[3] : flags[4];
            flag = inpy(flag);
        }
    }
    int32_t even = 0;
    for (int k = 1; k <= 4; ++k)
        even += flags[k] == 0 ? 1 : 0;
    return even < 2 ? kInside : kOutside;
}

} // namespace interrogation
