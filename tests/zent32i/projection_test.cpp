#include <gtest/gtest.h>

#include <cmath>

#include "zt_test_util.h"

namespace {

using zt_test::plan_view;

struct Pixel {
    int32_t x = -7777, y = -7777;
};

Pixel project(int32_t x, int32_t y, int32_t z = 0) {
    Pixel p;
    zt::ZT_Calc_3D_xy(x, y, z, &p.x, &p.y);
    return p;
}

Pixel project_iso(int32_t x, int32_t y, int32_t z = 0) {
    Pixel p;
    zt::ZT_Calc_3D_xyIso(x, y, z, &p.x, &p.y);
    return p;
}

TEST(Projection, PlanMapsWindowCornersToScreenCorners) {
    zt::ZT_Ini_Zent32dll();
    zt::ZT_Ini_Zent32dll(); // any number of calls changes nothing
    zt::ZT_Set_PB_Scale_Vars(4.0, 1000.0, 2000.0, 1150.0, 2100.0, 100, 150, 400, 600, 0.0, 0, 0, 1,
                             0);
    EXPECT_EQ(project(1000, 2000).x, 0);
    EXPECT_EQ(project(1000, 2000).y, 400);
    EXPECT_EQ(project(1150, 2100).x, 600);
    EXPECT_EQ(project(1150, 2100).y, 0);
    // Mode 0 is plan as well.
    zt::ZT_Set_PB_Scale_Vars(4.0, 1000.0, 2000.0, 1150.0, 2100.0, 100, 150, 400, 600, 0.0, 0, 0, 0,
                             0);
    EXPECT_EQ(project(1075, 2050).x, 300);
    EXPECT_EQ(project(1075, 2050).y, 200);
}

TEST(Projection, WindowAndPixelsRoundHalvesToEven) {
    plan_view(1.0, 1000.5, 0.0, 100, 100); // window x min kept as 1000
    EXPECT_EQ(project(1000, 0).x, 0);
    plan_view(1.0, 1001.5, 0.0, 100, 100); // ... and 1001.5 as 1002
    EXPECT_EQ(project(1002, 0).x, 0);
    plan_view(0.5, 0.0, 0.0, 100, 100);
    EXPECT_EQ(project(1, 0).x, 0);   // 0.5 -> 0
    EXPECT_EQ(project(3, 0).x, 2);   // 1.5 -> 2
    EXPECT_EQ(project(5, 0).x, 2);   // 2.5 -> 2
    EXPECT_EQ(project(-1, 0).x, 0);  // -0.5 -> 0
    EXPECT_EQ(project(0, 1).y, 100); // 99.5 -> 100
    EXPECT_EQ(project(0, 3).y, 98);  // 98.5 -> 98
}

TEST(Projection, WorldCoordinatesOfTheWholeGridDoNotOverflow) {
    // A window at the far north-east of the grid, in tenth units (ten times larger).
    plan_view(0.01, 1'200'000'000.0, 2'000'000'000.0, 1000, 800);
    EXPECT_EQ(project(1'200'050'000, 2'000'000'000).x, 500);
    EXPECT_EQ(project(1'200'000'000, 2'000'040'000).y, 400);
}

TEST(Projection, ObliqueKeepsTheCentreFixed) {
    zt::ZT_Set_PB_Scale_Vars(4.0, 1000.0, 2000.0, 1150.0, 2100.0, 100, 150, 400, 600, 0.0, 0, 0, 2,
                             7);
    double r = 0, e = 0;
    for (auto [dx, dy] : {std::pair{30.0, 40.0}, {-100.0, 10.0}, {0.0, -150.0}, {250.0, 0.0}}) {
        zt::Calcisovals(dx, dy, &r, &e);
        const Pixel c = project(1075, 2050, 7); // centre, at the datum
        EXPECT_EQ(c.x, 300);
        EXPECT_EQ(c.y, 200);
    }
}

TEST(Projection, ObliqueTurnsTheMapAQuarterTurnAndShrinks) {
    zt::ZT_Set_PB_Scale_Vars(1.0, 0.0, 0.0, 600.0, 400.0, 400, 600, 400, 600, 0.0, 0, 0, 2, 0);
    double r = -1, e = -1;
    zt::Calcisovals(0.0, 0.0, &r, &e); // no tilt; nothing reported
    EXPECT_EQ(r, -1);
    EXPECT_EQ(e, -1);
    zt::CalcRotvals(1.0, 0.0, 1);
    // 100 east of the centre goes up, 100 north goes left; both shrunk by 0.7070.
    EXPECT_EQ(project(400, 200).x, 300);
    EXPECT_EQ(project(400, 200).y, 200 - 71);
    EXPECT_EQ(project(300, 300).x, 300 - 71);
    EXPECT_EQ(project(300, 300).y, 200);
    // The iso routine projects obliquely whatever the mode.
    zt::ZT_Set_PB_Scale_Vars(1.0, 0.0, 0.0, 600.0, 400.0, 400, 600, 400, 600, 0.0, 0, 0, 1, 0);
    EXPECT_EQ(project_iso(400, 200).y, 200 - 71);
    EXPECT_EQ(project(400, 200).y, 200);
    // Mode 5: the same turn without the shrink.
    zt::ZT_Set_PB_Scale_Vars(1.0, 0.0, 0.0, 600.0, 400.0, 400, 600, 400, 600, 0.0, 0, 0, 5, 0);
    EXPECT_EQ(project(400, 200).y, 100);
    EXPECT_EQ(project(300, 300).x, 200);
}

TEST(Projection, HeightsRiseByExaggerationTimesScale) {
    // A zero exaggeration counts as 1.
    zt::ZT_Set_PB_Scale_Vars(4.0, 1000.0, 2000.0, 1150.0, 2100.0, 100, 150, 400, 600, 0.0, 0, 0, 2,
                             0);
    double r = 0, e = 0;
    zt::Calcisovals(30.0, 0.0, &r, &e);        // tilt 0.1, height factor 1 x 4
    EXPECT_EQ(project(1075, 2050, 10).y, 172); // 200 - 0.707 * 40 = 171.72
    zt::ZT_Set_PB_Scale_Vars(4.0, 1000.0, 2000.0, 1150.0, 2100.0, 100, 150, 400, 600, 2.0, 0, 0, 2,
                             0);
    zt::Calcisovals(30.0, 0.0, &r, &e);
    EXPECT_EQ(project(1075, 2050, 10).y, 143); // 200 - 0.707 * 80 = 143.44
}

TEST(Projection, PerspectiveUsesHarmlessEyeDefaults) {
    zt::ZT_Set_PB_Scale_Vars(1.0, 0.0, 0.0, 600.0, 400.0, 400, 600, 400, 600, 1.0, 0, 0, 3, 0);
    zt::CalcRotvals(1.0, 0.0, 1);
    const Pixel p = project(1, 0, 0); // w = 1 / 1 + 1 = 2, t = 1
    EXPECT_EQ(p.x, 600);
    EXPECT_EQ(p.y, 200);
    const Pixel q = project(0, 0, 1); // t = 1 - 1 = 0
    EXPECT_EQ(q.x, 300);
    EXPECT_EQ(q.y, 0);
}

TEST(Projection, UnknownModesLeaveTheCallersValues) {
    for (int mode : {4, 6, -1, 99}) {
        zt::ZT_Set_PB_Scale_Vars(1.0, 0.0, 0.0, 600.0, 400.0, 400, 600, 400, 600, 0.0, 0, 0, mode,
                                 0);
        const Pixel p = project(10, 10);
        EXPECT_EQ(p.x, -7777);
        EXPECT_EQ(p.y, -7777);
    }
}

TEST(Projection, IsoValuesReportAnglesWithTheirOwnConstants) {
    zt::ZT_Set_PB_Scale_Vars(1.0, 0.0, 0.0, 600.0, 400.0, 400, 600, 400, 600, 0.0, 0, 0, 2, 0);
    double r = 0, e = 0;
    zt::Calcisovals(30.0, 40.0, &r, &e);
    // Tilt = max(30/300, 40/200) = 0.2; rotation (0.6, 0.8).
    EXPECT_DOUBLE_EQ(e, 90.0 - std::atan(0.2 / 0.8) * static_cast<double>(57.296f));
    EXPECT_DOUBLE_EQ(r, std::atan(0.8 / 0.6) * static_cast<double>(57.2958f) + 90.0 + 180.0);
    zt::Calcisovals(-30.0, 40.0, &r, &e);
    EXPECT_DOUBLE_EQ(r, std::atan(0.8 / -0.6) * static_cast<double>(57.2958f) - 90.0 + 180.0);
    // dy = 0: neither output is written even though the rotation changes.
    r = e = 12345.0;
    zt::Calcisovals(30.0, 0.0, &r, &e);
    EXPECT_EQ(r, 12345.0);
    EXPECT_EQ(e, 12345.0);
    // Full tilt: no elevation (division by the zero factor is avoided), rotation still set.
    zt::Calcisovals(0.0, 200.0, &r, &e);
    EXPECT_EQ(e, 12345.0);
    EXPECT_EQ(r, 0.0); // cos 0 answers 0
}

TEST(Projection, RotationValuesAreDividedByN) {
    zt::ZT_Set_PB_Scale_Vars(1.0, 0.0, 0.0, 600.0, 400.0, 400, 600, 400, 600, 0.0, 0, 0, 5, 0);
    double r = 0, e = 0;
    zt::Calcisovals(0.0, 0.0, &r, &e);
    zt::CalcRotvals(3.0, 4.0, 5); // cos 0.6, sin 0.8
    // 100 east: px = 300 + (0.6 * 0 - 0.8 * 100), py = 200 - (0.6 * 100 + 0.8 * 0)
    EXPECT_EQ(project(400, 200).x, 220);
    EXPECT_EQ(project(400, 200).y, 140);
}

TEST(Projection, MaxAndMinCompareSigned) {
    EXPECT_EQ(zt::ZT_PB_Max(-5, 3), 3);
    EXPECT_EQ(zt::ZT_PB_Min(-5, 3), -5);
    EXPECT_EQ(zt::ZT_PB_Max(INT32_MIN, INT32_MAX), INT32_MAX);
    EXPECT_EQ(zt::ZT_PB_Min(INT32_MIN, INT32_MAX), INT32_MIN);
    EXPECT_EQ(zt::ZT_PB_Max(7, 7), 7);
}

} // namespace
