// The searches' geometry: the four-ray inside test with its boundary rule, the ring's
// area, and the distance of a point from a polyline within half the buffer.
#include <gtest/gtest.h>

#include "interrogation/geometry.h"

namespace {

using namespace interrogation;

// A square 1000 on a side, anticlockwise, with its closing copy of vertex 0.
Shape square() {
    return {{0, 0, 0}, {1000, 0, 0}, {1000, 1000, 0}, {0, 1000, 0}, {0, 0, 0}};
}

TEST(Geometry, RingAreaFollowsTheDirectionOfTravel) {
    Shape ring = square();
    EXPECT_EQ(vbPolyProcess(ring, 4, 500, 500, 0).area, 1e6);
    Shape backwards(ring.rbegin(), ring.rend());
    EXPECT_EQ(vbPolyProcess(backwards, 4, 500, 500, 0).area, -1e6);
    // The routine writes vertex 0 past the closing vertex, growing the shape for it.
    EXPECT_EQ(ring.size(), 6u);
    EXPECT_EQ(ring[5].x, 0);
    EXPECT_EQ(ring[5].y, 0);
}

TEST(Geometry, InsideOutsideAndEveryEdgeIsTheBoundary) {
    struct Case {
        int32_t x, y, answer;
    };
    // The rays start half a unit up and right of the point, so a point on the top or
    // right edge would seem outside and one on the bottom or left inside: the edge test
    // must come first.
    const Case cases[] = {
        {500, 500, kInside},      {1500, 500, kOutside},     {-1, 500, kOutside},
        {500, 0, kOnBoundary},    {500, 1000, kOnBoundary},  {0, 500, kOnBoundary},
        {1000, 500, kOnBoundary}, {1000, 1000, kOnBoundary}, {999, 999, kInside},
        {1000, 1001, kOutside},
    };
    for (const Case &c : cases) {
        Shape ring = square();
        EXPECT_EQ(vbPolyProcess(ring, 4, c.x, c.y, 0).result, c.answer) << c.x << "," << c.y;
    }
}

TEST(Geometry, AConcaveNotchIsOutside) {
    // A U open to the north: the notch between x 400 and 600 reaches down to y 300.
    Shape u = {{0, 0, 0},     {1000, 0, 0},   {1000, 1000, 0}, {600, 1000, 0}, {600, 300, 0},
               {400, 300, 0}, {400, 1000, 0}, {0, 1000, 0},    {0, 0, 0}};
    EXPECT_EQ(vbPolyProcess(u, 8, 500, 600, 0).result, kOutside);
    EXPECT_EQ(vbPolyProcess(u, 8, 200, 600, 0).result, kInside);
    EXPECT_EQ(vbPolyProcess(u, 8, 500, 200, 0).result, kInside);
}

TEST(Geometry, TheRingIndexAnswersAsTheOnePassDoes) {
    // A star that crosses itself, a U with a notch, a sliver with long edges, and a
    // ring of one repeated vertex; every point of a grid over each, edges included.
    const std::vector<Shape> rings = {
        {{0, 0, 0}, {40, 90, 0}, {80, 0, 0}, {-5, 60, 0}, {85, 60, 0}},
        {{0, 0, 0},
         {90, 0, 0},
         {90, 90, 0},
         {60, 90, 0},
         {60, 30, 0},
         {30, 30, 0},
         {30, 90, 0},
         {0, 90, 0}},
        {{0, 0, 0}, {90, 1, 0}, {90, 3, 0}, {1, 90, 0}},
        {{7, 7, 0}, {7, 7, 0}},
    };
    for (const Shape &open : rings) {
        Shape ring = open;
        ring.push_back(open.front());
        const auto n = static_cast<int32_t>(open.size());
        const RingIndex index(ring, n);
        int differ = 0;
        for (int32_t x = -10; x <= 100; ++x)
            for (int32_t y = -10; y <= 100; ++y)
                differ += index.classify(x, y) != vbPolyProcess(ring, n, x, y, 0).result;
        EXPECT_EQ(differ, 0) << open.size() << " vertices";
    }
}

TEST(Geometry, TheClosingCallCountsTheRaysThatCrossedOddly) {
    // Each case sets the ray flags before a closing call along a degenerate edge (no
    // crossing), so that only the decision runs.
    const std::pair<std::array<int32_t, 5>, int32_t> cases[] = {
        {{0, 0, 0, 0, 0}, kOutside}, {{0, 1, 0, 0, 0}, kOutside}, {{0, 1, 1, 0, 0}, kOutside},
        {{0, 1, 1, 1, 0}, kInside},  {{0, 0, 1, 1, 1}, kInside},  {{0, 1, 1, 1, 1}, kInside},
    };
    for (const auto &[flags, answer] : cases) {
        RayWalk walk;
        int32_t x = 5, y = 5, mode = 1, result = -1;
        In_A_Poly(walk, 0.5, 0.5, x, y, mode, result);
        walk.flags = flags;
        mode = 2;
        In_A_Poly(walk, 0.5, 0.5, x, y, mode, result);
        EXPECT_EQ(result, answer);
    }
    EXPECT_EQ(inpy(0), 1);
    EXPECT_EQ(inpy(1), 0);
    EXPECT_EQ(inpy(-1), 0);
}

TEST(Geometry, NearMeansWithinHalfTheBufferOfTheSegment) {
    const Shape line = {{0, 0, 0}, {1000, 0, 0}, {1000, 1000, 0}};
    struct Case {
        int32_t x, y;
        double buffer;
        bool near;
        double dist;
    };
    const Case cases[] = {
        {500, 400, 1000, true, 400},  // 400 <= 500
        {300, 600, 1000, false, 0},   // 600 > 500
        {500, 0, 1000, true, 0},      // on the line itself
        {1300, 500, 1000, true, 300}, // beside the second segment
        {1400, -400, 1000, false, 0}, // 566 from the corner, though on neither line's side
        {-450, 0, 1000, true, 450},   // beyond the first end, along the line
        {-600, 0, 1000, false, 0},    // further out along the line than half the buffer
        {500, -300, 200, false, 0},
    };
    for (const Case &c : cases) {
        const LineDistance d = VbDistPointLine(line, 3, c.x, c.y, c.buffer);
        EXPECT_EQ(d.result == kNearLine, c.near) << c.x << "," << c.y;
        EXPECT_NEAR(d.dist, c.dist, 1e-9) << c.x << "," << c.y;
    }
    // One vertex has no segment.
    EXPECT_EQ(VbDistPointLine(line, 1, 0, 0, 1000).result, kUndecided);
    // The ring pass reports its nearest edge within half the buffer too.
    Shape ring = square();
    EXPECT_EQ(vbPolyProcess(ring, 4, 500, 1400, 1000).dist, 400);
    EXPECT_EQ(vbPolyProcess(ring, 4, 500, 1600, 1000).dist, 0);
}

} // namespace
