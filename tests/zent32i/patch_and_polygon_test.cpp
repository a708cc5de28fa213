#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "zt_test_util.h"

namespace {

using zt_test::view_of;

struct Patch {
    int32_t h[4] = {0, 0, 0, 0};
    ZT_Point2 c[4] = {{-1, -1}, {-1, -1}, {-1, -1}, {-1, -1}};
    void run(int32_t first, int32_t mode, int32_t x, int32_t y, float dx, float dy) {
        ZT_Int32Array heights{h, 4};
        ZT_Point2Array corners{c, 4};
        zt::ZT4Patch(first, mode, x, y, dx, dy, &heights, &corners);
    }
};

void oblique_view() {
    zt::ZT_Set_PB_Scale_Vars(1.0, 0.0, 0.0, 600.0, 400.0, 400, 600, 400, 600, 0.0, 0, 0, 2, 0);
    double r, e;
    zt::Calcisovals(30.0, 40.0, &r, &e);
}

TEST(FourPointPatch, WalkingARowReusesTheSharedCorners) {
    oblique_view();
    Patch a, b;
    a.h[0] = 5, a.h[1] = 7, a.h[2] = 9, a.h[3] = 11;
    a.run(1, 0, 100, 300, 10.0f, 10.0f);
    b.h[0] = 1000, b.h[3] = 1000; // ignored: taken from the cache
    b.run(0, 0, 110, 300, 10.0f, 10.0f);
    EXPECT_EQ(b.c[0].x, a.c[1].x);
    EXPECT_EQ(b.c[0].y, a.c[1].y);
    EXPECT_EQ(b.c[3].x, a.c[2].x);
    EXPECT_EQ(b.c[3].y, a.c[2].y);
}

TEST(FourPointPatch, ANewRowProjectsAllFourCorners) {
    oblique_view();
    Patch a, b, fresh;
    a.run(1, 0, 100, 300, 10.0f, 10.0f);
    b.h[0] = 50;
    b.run(0, 0, 100, 290, 10.0f, 10.0f); // different y: no reuse
    fresh.h[0] = 50;
    fresh.run(1, 0, 100, 290, 10.0f, 10.0f);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(b.c[k].x, fresh.c[k].x);
        EXPECT_EQ(b.c[k].y, fresh.c[k].y);
    }
}

TEST(FourPointPatch, FlatColumnCellTurnsAQuarterAndShrinks) {
    zt::ZT_Set_PB_Scale_Vars(1.0, 0.0, 0.0, 600.0, 400.0, 400, 600, 400, 600, 0.0, 0, 0, 1, 0);
    double r, e;
    zt::Calcisovals(0.0, 0.0, &r, &e); // tilt factor 1
    zt::CalcRotvals(1.0, 0.0, 1);
    Patch p;
    p.run(1, 1, 300, 200, 100.0f, 100.0f); // cell from the centre, 100 east and south
    // Corners: (x,y), (x,y-dy), (x+dx,y-dy), (x+dx,y); east turns up, south turns right.
    EXPECT_EQ(p.c[0].x, 300);
    EXPECT_EQ(p.c[0].y, 200);
    EXPECT_EQ(p.c[1].x, 371);
    EXPECT_EQ(p.c[1].y, 200);
    EXPECT_EQ(p.c[2].x, 371);
    EXPECT_EQ(p.c[2].y, 129);
    EXPECT_EQ(p.c[3].x, 300);
    EXPECT_EQ(p.c[3].y, 129);
}

TEST(FourPointPatch, OtherModesAndShortArraysWriteNothing) {
    oblique_view();
    Patch p;
    p.run(1, 2, 100, 300, 10.0f, 10.0f);
    for (auto &c : p.c)
        EXPECT_EQ(c.x, -1);
    int32_t h[3] = {0, 0, 0};
    ZT_Point2 c[4] = {{-1, -1}, {-1, -1}, {-1, -1}, {-1, -1}};
    ZT_Int32Array heights{h, 3};
    ZT_Point2Array corners{c, 4};
    zt::ZT4Patch(1, 0, 100, 300, 10.0f, 10.0f, &heights, &corners);
    EXPECT_EQ(c[0].x, -1);
}

struct Ring {
    std::vector<ZT_Point3> v; // vertices, with room for the closing copy
    explicit Ring(std::vector<std::pair<int32_t, int32_t>> pts) {
        for (auto [x, y] : pts)
            v.push_back(ZT_Point3{x, y, 0});
        v.push_back(ZT_Point3{-1, -1, -1});
    }
    int32_t test(int32_t px, int32_t py, double &area) {
        auto arr = view_of(v);
        const int32_t n = static_cast<int32_t>(v.size()) - 1;
        int32_t result = -1;
        zt::ZT_PolyProcess(&arr, &n, &area, nullptr, nullptr, &px, &py, nullptr, &result);
        return result;
    }
};

TEST(PolyProcess, SquareInsideOutsideAndArea) {
    Ring square({{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}});
    double area = 0.0;
    EXPECT_EQ(square.test(500, 500, area), 4);
    EXPECT_DOUBLE_EQ(area, 1000000.0);
    EXPECT_EQ(square.v[4].x, 0); // closed in place
    area = 0.0;
    EXPECT_EQ(square.test(1500, 500, area), 1);
    EXPECT_DOUBLE_EQ(area, 1000000.0);
    Ring clockwise({{0, 0}, {0, 1000}, {1000, 1000}, {1000, 0}});
    area = 0.0;
    EXPECT_EQ(clockwise.test(500, 500, area), 4);
    EXPECT_DOUBLE_EQ(area, -1000000.0);
}

TEST(PolyProcess, VertexCoordinatesAreTestedJustInsideTheirCell) {
    Ring square({{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}});
    double area = 0.0;
    EXPECT_EQ(square.test(0, 0, area), 4);      // (0.1, 0.1)
    EXPECT_EQ(square.test(1000, 500, area), 1); // (1000.1, 500.1)
    EXPECT_EQ(square.test(500, 1000, area), 1);
}

TEST(PolyProcess, RingsThatDoNotFitAreLeftAlone) {
    std::vector<ZT_Point3> v{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}};
    ZT_Point3Array arr{v.data(), 3};
    int32_t n = 3, px = 5, py = 5, result = 77; // element 3 would lie outside
    double area = 0.0;
    zt::ZT_PolyProcess(&arr, &n, &area, nullptr, nullptr, &px, &py, nullptr, &result);
    EXPECT_EQ(result, 77);
    EXPECT_EQ(area, 0.0);
}

// Even-odd test at the same offset point, for comparison.
bool brute_inside(const std::vector<ZT_Point3> &v, size_t n, double px, double py) {
    bool in = false;
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        const double xi = v[i].x, yi = v[i].y, xj = v[j].x, yj = v[j].y;
        if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi)
            in = !in;
    }
    return in;
}

TEST(PolyProcess, AgreesWithEvenOddOnRandomStarShapedRings) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> radius(200, 1000), jitter(0, 0.9);
    std::uniform_int_distribution<int32_t> point(-1100, 1100);
    for (int round = 0; round < 50; ++round) {
        std::vector<std::pair<int32_t, int32_t>> pts;
        const int n = 3 + round % 12;
        for (int k = 0; k < n; ++k) {
            const double a = 2 * M_PI * (k + jitter(rng)) / n;
            const double r = radius(rng);
            pts.emplace_back(static_cast<int32_t>(r * std::cos(a)),
                             static_cast<int32_t>(r * std::sin(a)));
        }
        Ring ring(pts);
        double shoelace = 0.0;
        for (int k = 0; k < n; ++k) {
            auto [x0, y0] = pts[k];
            auto [x1, y1] = pts[(k + 1) % n];
            shoelace += 0.5 * (static_cast<double>(x0) * y1 - static_cast<double>(x1) * y0);
        }
        for (int t = 0; t < 40; ++t) {
            const int32_t px = point(rng), py = point(rng);
            double area = 0.0;
            const int32_t got = ring.test(px, py, area);
            const bool inside = brute_inside(ring.v, n, px + 0.1f, py + 0.1f);
            ASSERT_EQ(got, inside ? 4 : 1) << "round " << round << " at " << px << "," << py;
            ASSERT_NEAR(area, shoelace, 1e-6);
        }
    }
}

} // namespace
