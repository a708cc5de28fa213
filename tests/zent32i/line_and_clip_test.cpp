#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "zt_test_util.h"

namespace {

using zt_test::plan_view;
using zt_test::view_of;

std::vector<ZT_Point2> calc_line(std::vector<ZT_Point3> pts, int32_t &count, size_t room = 0) {
    std::vector<ZT_Point2> out(room ? room : pts.size(), ZT_Point2{-1, -1});
    auto in = view_of(pts);
    auto o = view_of(out);
    zt::ZT_CalcLine(&in, &o, static_cast<int32_t>(pts.size()), &count);
    return out;
}

TEST(CalcLine, DropsOnlyImmediateRepeats) {
    plan_view(0.1, 0, 0, 1000, 1000);
    int32_t count = -5;
    calc_line({{0, 0, 0}}, count);
    EXPECT_EQ(count, 1);
    calc_line({{100, 100, 0}, {101, 102, 0}, {104, 99, 0}}, count); // one pixel
    EXPECT_EQ(count, 1);
    auto out = calc_line({{0, 0, 0}, {500, 500, 0}, {0, 0, 0}}, count); // A, B, A
    EXPECT_EQ(count, 3);
    EXPECT_EQ(out[2].x, 0);
    EXPECT_EQ(out[2].y, 1000);
}

TEST(CalcLine, RoundsHalvesToEvenLikeSinglePoints) {
    plan_view(0.5, 0, 0, 100, 100);
    int32_t count = 0;
    auto out = calc_line({{1, 1, 0}, {3, 3, 0}, {5, 5, 0}, {-1, -1, 0}, {-3, 201, 0}}, count);
    ASSERT_EQ(count, 4);
    EXPECT_EQ(out[0].x, 0);   // 0.5
    EXPECT_EQ(out[0].y, 100); // 99.5
    EXPECT_EQ(out[1].x, 2);   // 1.5, then 2.5 repeats it
    EXPECT_EQ(out[1].y, 98);  // 98.5
    EXPECT_EQ(out[2].x, 0);   // -0.5
    EXPECT_EQ(out[3].x, -2);  // -1.5
    EXPECT_EQ(out[3].y, 0);   // -0.5
}

TEST(CalcLine, NothingToDoLeavesTheCount) {
    plan_view(1, 0, 0, 100, 100);
    std::vector<ZT_Point3> pts{{1, 1, 0}};
    std::vector<ZT_Point2> out(1);
    auto in = view_of(pts);
    auto o = view_of(out);
    int32_t count = 42;
    zt::ZT_CalcLine(&in, &o, 0, &count);
    EXPECT_EQ(count, 42);
    zt::ZT_CalcLine(&in, &o, -3, &count);
    EXPECT_EQ(count, 42);
}

TEST(CalcLine, CountsBeyondTheArraysAreBounded) {
    plan_view(1, 0, 0, 1000, 1000);
    std::vector<ZT_Point3> pts(10);
    for (int i = 0; i < 10; ++i)
        pts[i] = ZT_Point3{i * 10, i * 10, 0};
    // Room for 4 outputs inside a larger block whose tail must stay untouched.
    std::vector<ZT_Point2> block(8, ZT_Point2{-1, -1});
    ZT_Point2Array out{block.data(), 4};
    ZT_Point3Array in{pts.data(), 6};
    int32_t count = 0;
    zt::ZT_CalcLine(&in, &out, 1000000, &count);
    EXPECT_EQ(count, 4);
    for (int i = 4; i < 8; ++i)
        EXPECT_EQ(block[i].x, -1) << "written past the capacity at " << i;
    ZT_Point2Array none{nullptr, 100};
    zt::ZT_CalcLine(&in, &none, 6, &count);
    EXPECT_EQ(count, 0);
}

TEST(CalcLine, AgreesWithSinglePointProjectionOnRandomData) {
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int32_t> coord(49'000'000, 50'000'000);
    std::uniform_int_distribution<int32_t> height(-500, 5000);
    for (int round = 0; round < 20; ++round) {
        const double scale = std::uniform_real_distribution<double>(1e-5, 0.05)(rng);
        plan_view(scale, 49'000'000 + round * 997.5, 49'100'000 - round * 3.25, 1200, 800);
        std::vector<ZT_Point3> pts(2000);
        for (auto &p : pts)
            p = ZT_Point3{coord(rng), coord(rng), height(rng)};
        // Runs of repeated points exercise the repeat test.
        for (size_t i = 10; i < pts.size(); i += 37)
            pts[i] = pts[i - 1];
        int32_t count = 0;
        auto out = calc_line(pts, count);
        std::vector<ZT_Point2> expect;
        for (const auto &p : pts) {
            ZT_Point2 q{};
            zt::ZT_Calc_3D_xy(p.x, p.y, p.z, &q.x, &q.y);
            if (expect.empty() || q.x != expect.back().x || q.y != expect.back().y)
                expect.push_back(q);
        }
        ASSERT_EQ(count, static_cast<int32_t>(expect.size()));
        for (size_t i = 0; i < expect.size(); ++i)
            ASSERT_TRUE(zt_test::operator==(out[i], expect[i]))
                << "round " << round << " point " << i;
    }
}

TEST(CalcLine, ObliqueLinesWeightHeightsByTheTilt) {
    zt::ZT_Set_PB_Scale_Vars(1.0, 0.0, 0.0, 600.0, 400.0, 400, 600, 400, 600, 0.0, 0, 0, 2, 0);
    double r, e;
    zt::Calcisovals(60.0, 0.0, &r, &e); // tilt 0.2, height factor 1
    int32_t count = 0;
    auto out = calc_line({{300, 200, 100}}, count);
    ZT_Point2 single{};
    zt::ZT_Calc_3D_xy(300, 200, 100, &single.x, &single.y);
    EXPECT_EQ(single.y, 200 - 71); // 0.707 x 100
    EXPECT_EQ(out[0].y, 200 - 14); // 0.707 x 100 x 0.2
    EXPECT_EQ(out[0].x, single.x);
}

TEST(CalcLine, UnknownModeRepeatsTheOrigin) {
    zt::ZT_Set_PB_Scale_Vars(1.0, 0.0, 0.0, 600.0, 400.0, 400, 600, 400, 600, 0.0, 0, 0, 4, 0);
    int32_t count = 0;
    auto out = calc_line({{1, 2, 3}, {40, 50, 60}}, count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(out[0].x, 0);
    EXPECT_EQ(out[0].y, 0);
}

// ClipWin draws through the caller's surface; this one records what it is given.
struct Recorder {
    std::vector<ZT_Point2> points;
    int polygons = 0, polylines = 0;
    ZT_DeviceContext dc() {
        return ZT_DeviceContext{this,
                                [](void *c, const ZT_Point2 *p, int32_t n) {
                                    auto *r = static_cast<Recorder *>(c);
                                    ++r->polygons;
                                    r->points.assign(p, p + n);
                                },
                                [](void *c, const ZT_Point2 *p, int32_t n) {
                                    auto *r = static_cast<Recorder *>(c);
                                    ++r->polylines;
                                    r->points.assign(p, p + n);
                                }};
    }
};

// World window (0, 0)-(1000, 1000) on a 1000 x 1000 screen: pixel = (x, 1000 - y).
void unit_window() {
    plan_view(1.0, 0, 0, 1000, 1000);
}

int32_t clip(std::vector<ZT_Point3> pts, Recorder &rec, int32_t kind = -22,
             std::vector<ZT_Point2> *out_copy = nullptr) {
    std::vector<ZT_Point2> out(2 * pts.size() + 1, ZT_Point2{-5, -5});
    auto in = view_of(pts);
    auto o = view_of(out);
    int32_t count = -1;
    const ZT_DeviceContext dc = rec.dc();
    zt::ClipWin(&in, &o, static_cast<int32_t>(pts.size()), &count, kind, &dc);
    if (out_copy)
        *out_copy = out;
    return count;
}

TEST(ClipWin, InsideLinesKeepTheirVertices) {
    unit_window();
    Recorder rec;
    EXPECT_EQ(clip({{10, 10, 0}, {500, 600, 0}, {500, 600, 0}, {900, 20, 0}}, rec), 3);
    EXPECT_EQ(rec.polylines, 1);
    ASSERT_EQ(rec.points.size(), 3u);
    EXPECT_EQ(rec.points[1].x, 500);
    EXPECT_EQ(rec.points[1].y, 400);
}

TEST(ClipWin, OutsideOnOneSideDrawsNothing) {
    unit_window();
    Recorder rec;
    EXPECT_EQ(clip({{-50, 10, 0}, {-60, 600, 0}, {-1, 900, 0}}, rec), 0);
    EXPECT_EQ(clip({{500, 500, 0}}, rec), 0); // a single point
    EXPECT_EQ(rec.polylines + rec.polygons, 0);
}

TEST(ClipWin, LeavingTheWindowEndsOnTheEdge) {
    unit_window();
    Recorder rec;
    EXPECT_EQ(clip({{500, 500, 0}, {1500, 700, 0}}, rec), 2);
    EXPECT_EQ(rec.points[1].x, 1000);
    EXPECT_EQ(rec.points[1].y, 1000 - 600);
}

TEST(ClipWin, PolygonsPassingACornerTakeTheCorner) {
    unit_window();
    Recorder rec;
    std::vector<ZT_Point2> out;
    // Above the window (1) to beyond its top-right corner (3): the corner is added.
    const int32_t n = clip({{500, 500, 0}, {500, 1200, 0}, {1200, 1300, 0}, {900, 500, 0}}, rec,
                           ZT_KIND_POLYGON, &out);
    EXPECT_EQ(rec.polygons, 1);
    const bool has_corner = std::any_of(out.begin(), out.begin() + n,
                                        [](ZT_Point2 p) { return p.x == 1000 && p.y == 0; });
    EXPECT_TRUE(has_corner);
    EXPECT_EQ(out[n].x, out[0].x); // the uncounted closing copy
    EXPECT_EQ(out[n].y, out[0].y);
}

TEST(ClipWin, AVertexBeyondACornerBetweenInsideNeighboursAddsTwoCrossings) {
    unit_window();
    Recorder rec;
    std::vector<ZT_Point2> out;
    const int32_t n = clip({{900, 500, 0}, {1400, 1400, 0}, {500, 900, 0}}, rec, -22, &out);
    ASSERT_EQ(n, 4);
    EXPECT_EQ(out[1].x, 1000); // crossing of the right edge
    EXPECT_EQ(out[2].y, 0);    // crossing of the top edge
    for (int i = 0; i < n; ++i)
        EXPECT_FALSE(out[i].x == 1000 && out[i].y == 0) << "no corner expected";
}

TEST(ClipWin, SmallOutputArraysAreNeverOverrun) {
    unit_window();
    std::vector<ZT_Point3> pts;
    for (int i = 0; i < 50; ++i)
        pts.push_back(ZT_Point3{(i % 2) ? -100 : 1100, i * 20, 0}); // zig-zag through the window
    std::vector<ZT_Point2> block(16, ZT_Point2{-9, -9});
    ZT_Point2Array out{block.data(), 8};
    ZT_Point3Array in{pts.data(), static_cast<int32_t>(pts.size())};
    int32_t count = 0;
    Recorder rec;
    const ZT_DeviceContext dc = rec.dc();
    zt::ClipWin(&in, &out, 50, &count, ZT_KIND_POLYGON, &dc);
    EXPECT_EQ(count, 8);
    for (int i = 8; i < 16; ++i)
        EXPECT_EQ(block[i].x, -9);
}

TEST(ClipWin, RandomPolylinesStayOnOrInsideTheWindow) {
    unit_window();
    std::mt19937 rng(99);
    std::uniform_int_distribution<int32_t> c(-1500, 2500);
    for (int round = 0; round < 300; ++round) {
        std::vector<ZT_Point3> pts(2 + round % 30);
        for (auto &p : pts)
            p = ZT_Point3{c(rng), c(rng), 0};
        Recorder rec;
        std::vector<ZT_Point2> out;
        const int32_t n = clip(pts, rec, (round % 2) ? ZT_KIND_POLYGON : -22, &out);
        for (int i = 0; i < n; ++i) {
            const auto p = out[i];
            const bool inside = p.x >= 0 && p.x <= 1000 && p.y >= 0 && p.y <= 1000;
            const bool on_edge_line = p.x == 0 || p.x == 1000 || p.y == 0 || p.y == 1000;
            ASSERT_TRUE(inside || on_edge_line) << "round " << round << ": " << p.x << "," << p.y;
        }
        // Every inside vertex is kept, in order.
        int at = 0;
        for (const auto &v : pts) {
            if (v.x < 0 || v.x > 1000 || v.y < 0 || v.y > 1000)
                continue;
            while (at < n && !(out[at].x == v.x && out[at].y == 1000 - v.y))
                ++at;
            ASSERT_LT(at, n) << "round " << round << ": lost vertex " << v.x << "," << v.y;
        }
    }
}

} // namespace
