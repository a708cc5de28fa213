#include <gtest/gtest.h>

#include <cmath>

#include "zt_test_util.h"

namespace {

// Window (100, 200)-(300, 500) in world units.
void window() {
    zt::ZT_Set_PB_Scale_Vars(1.0, 100, 200, 300, 500, 300, 200, 300, 200, 0, 0, 0, 1, 0);
}

int32_t code(int32_t x, int32_t y) {
    return zt::ZT_clipBOX(&x, &y);
}
int32_t inbox(int32_t x, int32_t y) {
    return zt::ZT_INBOX(&x, &y);
}

TEST(BoxTests, CornersAndEdgesAreInside) {
    window();
    for (auto [x, y] : {std::pair{100, 200}, {300, 200}, {100, 500}, {300, 500}, {200, 350}}) {
        EXPECT_EQ(inbox(x, y), 1) << x << "," << y;
        EXPECT_EQ(zt::ZT_inside(x, y), -1) << x << "," << y;
        EXPECT_EQ(code(x, y), 0) << x << "," << y;
    }
    for (auto [x, y] : {std::pair{99, 200}, {301, 300}, {200, 199}, {200, 501}}) {
        EXPECT_EQ(inbox(x, y), 0);
        EXPECT_EQ(zt::ZT_inside(x, y), 0);
    }
}

TEST(BoxTests, RegionCodesCombineSides) {
    window();
    EXPECT_EQ(code(50, 600), 9);  // left and above
    EXPECT_EQ(code(400, 100), 6); // right and below
    EXPECT_EQ(code(50, 100), 12);
    EXPECT_EQ(code(400, 600), 3);
    EXPECT_EQ(code(200, 600), 1);
    EXPECT_EQ(code(400, 300), 2);
    EXPECT_EQ(code(200, 100), 4);
    EXPECT_EQ(code(50, 300), 8);
    EXPECT_EQ(code(INT32_MIN, INT32_MAX), 9);
}

int32_t crosses(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
                int32_t y4) {
    return zt::SEGMENT_INTERSECT(&x1, &y1, &x2, &y2, &x3, &y3, &x4, &y4);
}

TEST(SegmentIntersect, TouchingAndCollinearCountAsCrossing) {
    EXPECT_EQ(crosses(0, 0, 10, 10, 0, 10, 10, 0), -1);   // an X
    EXPECT_EQ(crosses(0, 0, 10, 5, 10, 5, 20, 0), -1);    // shared end point
    EXPECT_EQ(crosses(0, 0, 10, 10, 50, 50, 60, 60), -1); // collinear, far apart
    EXPECT_EQ(crosses(0, 0, 10, 0, 30, 0, 40, 0), -1);    // collinear horizontal
    EXPECT_EQ(crosses(0, 0, 10, 10, 0, 1, 10, 11), 0);    // parallel, not collinear
    EXPECT_EQ(crosses(0, 0, 10, 10, 20, 0, 11, 9), 0);    // would meet beyond the ends
    EXPECT_EQ(crosses(5, 0, 5, 10, 0, 5, 10, 5), -1);     // vertical against horizontal
    EXPECT_EQ(crosses(5, 0, 5, 10, 6, 5, 10, 5), 0);      // stops short of the vertical
}

TEST(SegmentIntersect, NationalGridCoordinatesDoNotOverflow) {
    // Differences of millions of units: the products need more than 32 bits.
    EXPECT_EQ(crosses(49'000'000, 37'000'000, 49'900'000, 37'900'000, 49'000'000, 37'900'000,
                      49'900'000, 37'000'000),
              -1);
    EXPECT_EQ(crosses(49'000'000, 37'000'000, 49'900'000, 37'900'000, 49'000'000, 37'100'000,
                      49'800'000, 37'900'000),
              0);
}

struct Meet {
    int32_t rc;
    double x, y;
};

Meet meet(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4) {
    Meet m{0, -99.0, -99.0};
    m.rc = zt::LINE_INTERSECTION(&x1, &y1, &x2, &y2, &x3, &y3, &x4, &y4, &m.x, &m.y);
    return m;
}

TEST(LineIntersection, InfiniteLinesMeetOrAreParallel) {
    Meet m = meet(5, 0, 5, 1, 0, 0, 10, 10); // vertical A
    EXPECT_EQ(m.rc, 0);
    EXPECT_DOUBLE_EQ(m.x, 5);
    EXPECT_DOUBLE_EQ(m.y, 5);
    m = meet(0, 0, 10, 10, 7, -3, 7, 1); // vertical B, beyond both segments
    EXPECT_EQ(m.rc, 0);
    EXPECT_DOUBLE_EQ(m.x, 7);
    EXPECT_DOUBLE_EQ(m.y, 7);
    m = meet(0, 0, 4, 2, 0, 3, 3, 0);
    EXPECT_EQ(m.rc, 0);
    EXPECT_DOUBLE_EQ(m.x, 2);
    EXPECT_DOUBLE_EQ(m.y, 1);
    for (Meet p : {meet(5, 0, 5, 9, 6, 0, 6, 9), meet(0, 0, 1, 1, 0, 1, 1, 2),
                   meet(0, 0, 1, 1, 2, 2, 3, 3)}) {
        EXPECT_EQ(p.rc, -1);
        EXPECT_EQ(p.x, -99.0); // untouched
        EXPECT_EQ(p.y, -99.0);
    }
}

TEST(LineDistance, BoxRejectionThenPerpendicularDistance) {
    EXPECT_EQ(zt::ZT_Lin_Dist(5, 3, 0, 0, 10, 0, 1), 0.0); // outside the grown box
    EXPECT_EQ(zt::ZT_Lin_Dist(5, 3, 0, 0, 10, 0, 3), 3.0); // on its edge: kept
    EXPECT_EQ(zt::ZT_Lin_Dist(4, 7, 2, 0, 2, 10, 5), 2.0); // vertical segment
    EXPECT_NEAR(zt::ZT_Lin_Dist(0, 10, 0, 0, 10, 10, 10), std::sqrt(50.0), 1e-12);
    EXPECT_EQ(zt::ZT_Lin_Dist(5, 5, 0, 0, 10, 10, 1), 0.0); // on the line itself
    // The distance is to the infinite line, not to the end point.
    EXPECT_EQ(zt::ZT_Lin_Dist(12, 1, 0, 0, 10, 0, 3), 1.0);
}

TEST(Bearing, QuadrantsAndTheZeroVector) {
    EXPECT_NEAR(zt::CalcBearing(-1, 0), 90.0, 1e-9);
    EXPECT_NEAR(zt::CalcBearing(1, 0), 270.0, 1e-9);
    EXPECT_EQ(zt::CalcBearing(0, 1), 0.0);
    const double b = zt::CalcBearing(1, 1);
    EXPECT_NEAR(b, 45.0 * 57.295799255371094 / (180.0 / M_PI) + 270.0, 1e-9);
    EXPECT_GT(zt::CalcBearing(3, -4), 180.0);
    EXPECT_LT(zt::CalcBearing(3, -4), 360.0);
    EXPECT_GT(zt::CalcBearing(-3, 4), 0.0);
    EXPECT_LT(zt::CalcBearing(-3, 4), 180.0);
    // A zero vector answers from the last direction.
    const double last = zt::CalcBearing(-2, 5);
    EXPECT_EQ(zt::CalcBearing(0, 0), last);
}

} // namespace
