// The map window's own geometry for the searches: the four-ray point-in-polygon test,
// the running polygon area, the distance of a point from a polyline, and the one pass
// over a ring that does all of these together. Every "near" decision uses half the
// search buffer: the buffer is a diameter.
//
// Nothing here keeps state between calls beyond what the caller hands in: the shape is
// a vector the caller owns (it grows when a routine needs room past its end), and the
// per-vertex walks take their running values as a small struct.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "zent32i.h" // ZT_Point3

namespace interrogation {

// A vertex of a search shape or of a drawn polygon, in world units.
using ShapePoint = ZT_Point3;
using Shape = std::vector<ShapePoint>;

// What the ring and line tests answer.
enum ShapeAnswer : int32_t {
    kUndecided = 0,  // the first or a middle vertex of a ring
    kOutside = 1,    // also: not near a polyline
    kOnBoundary = 3, // exactly on one of the ring's edges
    kInside = 4,
    kNearLine = 5, // a segment of the polyline lies within half the buffer
};

// 1 for 0, 0 for anything else: flips a ray's crossing parity.
int32_t inpy(int32_t value);

// The previous vertex of an area walk.
struct AreaWalk {
    double prev_x = 0.0, prev_y = 0.0;
};
// Mode 1 starts a ring at (x, y); mode 0 adds the edge from the previous vertex to
// (x, y); other modes do nothing. Over a closed ring the sum is the enclosed area in
// square world units, positive when the ring runs anticlockwise.
void PolyArea(AreaWalk &walk, int32_t x, int32_t y, int32_t mode, double &area);

// The running values of the four-ray test: the crossing parity of the rays towards +y
// (flag 1), -y (2), +x (3) and -x (4), and the ring's first and previous vertex.
struct RayWalk {
    std::array<int32_t, 5> flags{}; // [1] .. [4]; [0] unused
    int32_t first_x = 0, first_y = 0;
    int32_t prev_x = 0, prev_y = 0;
};
// One vertex of the ring around (px, py). Mode 1 is the first vertex (mode becomes 0,
// result 0); mode 0 a middle one; mode 2 the closing call, which replaces (x, y) by the
// first vertex and decides: inside (4) when at least three rays crossed the ring an odd
// number of times, else outside (1). A crossing exactly at the point gives 3, which
// stays. Meant for a point that never lies on a vertex's x or y (see vbPolyProcess).
void In_A_Poly(RayWalk &walk, double px, double py, int32_t &x, int32_t &y, int32_t &mode,
               int32_t &result);

// The distance of (px, py) from the segment (x1, y1)-(x2, y2); nothing when the point
// lies outside the segment's box grown by the whole buffer on every side. The distance
// is to the segment itself: beyond an end it is the distance to that end, so a point
// on the line's extension is not taken for one on the segment.
std::optional<double> LINE_DISTANCE2(double px, double py, double x1, double y1, double x2,
                                     double y2, double search_buffer);

struct LineDistance {
    int32_t result = kUndecided; // kNearLine, or kUndecided when no segment is near
    double dist = 0.0;           // the nearest near segment's distance; 0 when none
};
// The open polyline shape[0 .. n-1] against (px, py): near when a segment lies within
// half the buffer, a point lying on the line included.
LineDistance VbDistPointLine(const Shape &shape, int32_t n, int32_t px, int32_t py,
                             double search_buffer);

struct PolyProcess {
    int32_t result = kUndecided; // kOutside, kOnBoundary or kInside (kUndecided for n < 1)
    double area = 0.0;           // the ring's signed area
    double dist = 0.0;           // the nearest edge within half the buffer; 0 when none
};
// The closed ring shape[0 .. n], whose element n repeats element 0, against (px, py),
// in one pass: the inside test, the area and the nearest edge. Element n + 1 receives
// element 0 (the shape grows when it has no room). A point exactly on an edge answers
// kOnBoundary whichever edge it is; otherwise the rays are cast from (px + 0.5,
// py + 0.5), which never meets a vertex, so no crossing is counted twice.
PolyProcess vbPolyProcess(Shape &shape, int32_t n, int32_t px, int32_t py, double search_buffer);

// A ring made ready for many inside tests: classify() answers exactly what
// vbPolyProcess's result would (kOutside, kOnBoundary or kInside, and kUndecided for a
// ring without a closing vertex), by putting the point only to the edges whose extent
// reaches its x or its y. The edges are listed by strips of x and of y, so a point
// meets a handful of edges instead of all of them.
class RingIndex {
  public:
    // The closed ring shape[0 .. n], element n repeating element 0.
    RingIndex(const Shape &shape, int32_t n);
    int32_t classify(int32_t px, int32_t py) const;

  private:
    // Edges (by the index of their end vertex, 1 .. n) listed by strip along one axis.
    struct Strips {
        double origin = 0.0, width = 1.0;
        std::vector<uint32_t> first; // edges of strip s: edges[first[s] .. first[s + 1])
        std::vector<int32_t> edges;
        void build(const Shape &v, int32_t n, bool along_x);
        // The edges whose extent on the axis may hold v (empty beyond every edge).
        std::pair<const int32_t *, const int32_t *> at(double v) const;
    };
    Shape v_;
    int32_t n_ = 0;
    Strips x_, y_;
};

// True when (px, py) lies exactly on the segment from a to b (end points included).
// Integer arithmetic: exact for any world coordinates.
bool on_segment(int32_t px, int32_t py, const ShapePoint &a, const ShapePoint &b);

} // namespace interrogation
