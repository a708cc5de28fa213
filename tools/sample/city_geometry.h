// Shapes for the sample city: deterministic, so that every build writes the same files
// and the control images stay valid. No std distributions: their output differs
// between standard libraries.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "zent32i.h"

namespace sample {

using Points = std::vector<ZT_Point3>;

// splitmix64: small, fast and the same everywhere.
class Rng {
  public:
    explicit Rng(uint64_t seed) : s_(seed) {}
    uint64_t next() {
        uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double lo, double hi) { return lo + (hi - lo) * unit(); }
    int32_t between(int32_t lo, int32_t hi) { // inclusive
        return lo + static_cast<int32_t>(next() % static_cast<uint64_t>(hi - lo + 1));
    }

  private:
    uint64_t s_;
};

inline ZT_Point3 pt(double x, double y, double z = 0) {
    return ZT_Point3{static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y)),
                     static_cast<int32_t>(std::lround(z))};
}

// An irregular closed ring about a centre (given open: the first point not repeated).
inline Points blob(Rng &rng, double cx, double cy, double rx, double ry, int n, double wobble,
                   double turn = 0.0) {
    Points p;
    for (int k = 0; k < n; ++k) {
        const double a = 2 * M_PI * k / n;
        const double f = 1.0 + wobble * (rng.unit() - 0.5);
        const double x = rx * f * std::cos(a), y = ry * f * std::sin(a);
        p.push_back(pt(cx + x * std::cos(turn) - y * std::sin(turn),
                       cy + x * std::sin(turn) + y * std::cos(turn)));
    }
    return p;
}

// A rectangle of width w and height h centred on (cx, cy), turned by `turn` radians.
inline Points box(double cx, double cy, double w, double h, double turn = 0.0) {
    const double c = std::cos(turn), s = std::sin(turn);
    Points p;
    for (auto [u, v] : {std::pair{-0.5, -0.5}, {0.5, -0.5}, {0.5, 0.5}, {-0.5, 0.5}}) {
        const double x = u * w, y = v * h;
        p.push_back(pt(cx + x * c - y * s, cy + x * s + y * c));
    }
    return p;
}

// A rectangle with rounded corners (the playing-card plan of a fort).
inline Points rounded_box(double cx, double cy, double w, double h, double r, int per_corner = 6) {
    Points p;
    const double hx = w / 2 - r, hy = h / 2 - r;
    const double corners[4][3] = {
        {hx, -hy, -M_PI / 2}, {hx, hy, 0}, {-hx, hy, M_PI / 2}, {-hx, -hy, M_PI}};
    for (const auto &c : corners)
        for (int k = 0; k <= per_corner; ++k) {
            const double a = c[2] + (M_PI / 2) * k / per_corner;
            p.push_back(pt(cx + c[0] + r * std::cos(a), cy + c[1] + r * std::sin(a)));
        }
    return p;
}

// A wandering line from a to b through n points, drifting sideways by up to `sway`.
inline Points path(Rng &rng, double ax, double ay, double bx, double by, int n, double sway) {
    Points p;
    const double dx = bx - ax, dy = by - ay, len = std::hypot(dx, dy);
    const double nx = -dy / len, ny = dx / len;
    double off = 0;
    for (int k = 0; k < n; ++k) {
        const double t = static_cast<double>(k) / (n - 1);
        if (k > 0 && k < n - 1)
            off += sway * (rng.unit() - 0.5);
        const double taper = std::sin(M_PI * t); // ends stay on the given points
        p.push_back(pt(ax + dx * t + nx * off * taper, ay + dy * t + ny * off * taper));
    }
    return p;
}

// A band of width w along a centre line, as a closed ring (rivers, canals).
inline Points band(const Points &line, double w) {
    Points left, right;
    for (size_t k = 0; k < line.size(); ++k) {
        const auto &a = line[k == 0 ? 0 : k - 1];
        const auto &b = line[k + 1 < line.size() ? k + 1 : k];
        const double dx = b.x - a.x, dy = b.y - a.y, len = std::hypot(dx, dy);
        const double nx = len > 0 ? -dy / len : 0, ny = len > 0 ? dx / len : 0;
        left.push_back(pt(line[k].x + nx * w / 2, line[k].y + ny * w / 2));
        right.push_back(pt(line[k].x - nx * w / 2, line[k].y - ny * w / 2));
    }
    left.insert(left.end(), right.rbegin(), right.rend());
    return left;
}

// A star-shaped bastioned trace: n bastions on a ring.
inline Points bastions(double cx, double cy, double r_in, double r_out, int n) {
    Points p;
    for (int k = 0; k < 2 * n; ++k) {
        const double a = M_PI * k / n;
        const double r = (k % 2) ? r_out : r_in;
        p.push_back(pt(cx + r * std::cos(a), cy + r * std::sin(a)));
    }
    return p;
}

// Points in tenths of a world unit, for groups stored at ten times the resolution.
inline Points tenths(const Points &p) {
    Points q;
    for (const auto &v : p)
        q.push_back(ZT_Point3{v.x * 10, v.y * 10, v.z * 10});
    return q;
}

} // namespace sample
