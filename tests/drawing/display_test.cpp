// Drawing display through the real map device context: what lands on which pixel.
#include <gtest/gtest.h>

#include <cmath>

#include "drawing/display.h"
#include "drawing_test_support.h"
#include "platform/base/files.h"
#include "platform/base/numbers.h"
#include "tools/writers/companions.h"
#include "tools/writers/drw_writer.h"

using namespace drawing;
using namespace drawtest;

namespace {

constexpr gdi::Colour kBlueRgb = gdi::rgb(0, 0, 255);
constexpr gdi::Colour kRedRgb = gdi::rgb(255, 0, 0);
constexpr gdi::Colour kGrey = gdi::rgb(224, 224, 224);

using Points = std::vector<ZT_Point3>;

class Display : public ::testing::Test {
  protected:
    // Saves the drawing, with its index when asked, and returns its path.
    std::string save(writers::DrwWriter &w, const std::string &name, bool with_index) {
        const std::string path = dir.file(name + ".drw");
        EXPECT_TRUE(w.save(path));
        if (with_index) {
            EXPECT_TRUE(
                writers::write_index(files::with_extension3(path, "zix"), w.index_records()));
        }
        return path;
    }
    // Registers and draws a drawing into a freshly cleared window.
    void draw(const std::string &path) {
        map.clear();
        map.display(path);
    }

    ScratchDir dir;
    MapWindow map;
};

// The square (20,20)-(80,80) in pixels.
Points square() {
    return {at(20, 20), at(80, 20), at(80, 80), at(20, 80)};
}
// A ring around the whole view, corners in regions 12, 6, 3 and 9.
Points around_view() {
    return {at(-40, 140), at(260, 130), at(250, -30), at(-50, -20)};
}

// Bits of a pattern, as the pattern table lists them (1 = background, 0 = colour).
bool pattern_bit(const std::array<uint8_t, 8> &rows, int x, int y) {
    return (rows[static_cast<std::size_t>(y % 8)] >> (7 - x % 8)) & 1;
}

} // namespace

// ---- groups and objects reduced to a pixel -------------------------------------------------

TEST_F(Display, GroupOneBoxPixelWideBecomesOneGreyPixel) {
    for (bool indexed : {false, true}) {
        SCOPED_TRACE(indexed ? "indexed" : "sequential");
        writers::DrwWriter w;
        w.begin_group(1, "THIN");
        w.polyline(Points{at(50, 20), at(51, 80)}, writers::header({.colour = kRed}));
        const auto path = save(w, indexed ? "thin_i" : "thin_s", indexed);
        draw(path);
        EXPECT_EQ(map.painted(), 1);
        // The pixel of the box's first corner (x min, y min).
        EXPECT_EQ(map.pixel(50, 80), kGrey);
    }
}

TEST_F(Display, AnnotationShowsOnlyWhenItCollapsesToOnePixel) {
    writers::DrwWriter w;
    w.begin_group(1, "NOTES");
    w.annotation(Points{at(30, 30), at(30, 30)});
    w.annotation(Points{at(60, 40), at(90, 40)});
    w.polyline(Points{at(10, 90), at(190, 10)}); // gives the group a box to be drawn in
    draw(save(w, "notes", false));
    EXPECT_EQ(map.pixel(30, 30), kGrey);
    EXPECT_EQ(map.pixel(60, 40), kWhite);
    EXPECT_EQ(map.pixel(75, 40), kWhite);
}

// ---- fill, patterns and outlines -------------------------------------------------------------

TEST_F(Display, FillAbove55UsesTheLastPatternWhichIsSolid) {
    auto draw_fill = [&](uint8_t fill) {
        writers::DrwWriter w;
        w.begin_group(1, "FILLED");
        w.polygon(square(), writers::header({.colour = kRed, .fill = fill}));
        draw(save(w, "fill" + std::to_string(fill), false));
        return map.image();
    };
    const QImage fill60 = draw_fill(60);
    for (int y = 21; y < 80; ++y)
        for (int x = 21; x < 80; ++x)
            ASSERT_EQ(map.pixel(x, y), kRedRgb) << x << "," << y;
    EXPECT_EQ(map.pixel(10, 10), kWhite);
    EXPECT_EQ(draw_fill(55), fill60);
    EXPECT_EQ(draw_fill(255), fill60);
    EXPECT_EQ(draw_fill(44), fill60); // the solid entries start at 44
}

TEST_F(Display, PatternPaintsZeroBitsInTheObjectColourAndOneBitsWhite) {
    const std::array<uint8_t, 8> entry3 = {0xAA, 0x00, 0x22, 0x00, 0xAA, 0x00, 0x22, 0x00};
    const std::array<uint8_t, 8> entry24 = {0x44, 0x88, 0x11, 0x22, 0x44, 0x88, 0x11, 0x22};
    for (auto [fill, rows] : {std::pair{uint8_t{3}, entry3}, std::pair{uint8_t{24}, entry24}}) {
        SCOPED_TRACE(int{fill});
        writers::DrwWriter w;
        w.begin_group(1, "PATTERN");
        w.polygon(around_view(), writers::header({.colour = kBlue, .fill = fill}));
        draw(save(w, "pattern" + std::to_string(fill), false));
        // The view's own edges carry the clipped outline; inside it, the pattern alone,
        // aligned to the window's corner.
        for (int y = 1; y < kHeight - 1; ++y)
            for (int x = 1; x < kWidth - 1; ++x)
                ASSERT_EQ(map.pixel(x, y), pattern_bit(rows, x, y) ? kWhite : kBlueRgb)
                    << x << "," << y;
    }
}

TEST_F(Display, WithFillingOffEveryPolygonIsAClosedOutline) {
    map.options.Polygon_Filling = false;
    for (bool indexed : {false, true}) {
        SCOPED_TRACE(indexed ? "indexed" : "sequential");
        writers::DrwWriter w;
        w.begin_group(1, "OUTLINE");
        w.polygon(square(), writers::header({.colour = kRed, .fill = 8}));
        draw(save(w, indexed ? "outline_i" : "outline_s", indexed));
        EXPECT_EQ(map.pixel(50, 50), kWhite);  // not filled
        EXPECT_EQ(map.pixel(50, 20), kRedRgb); // first side
        EXPECT_EQ(map.pixel(20, 50), kRedRgb); // the closing side, last point to first
    }
}

TEST_F(Display, PolygonWithFillZeroIsAnOutlineEvenWithFillingOn) {
    writers::DrwWriter w;
    w.begin_group(1, "RING");
    w.polygon(square(), writers::header({.colour = kRed}));
    draw(save(w, "ring", true));
    EXPECT_EQ(map.pixel(50, 50), kWhite);
    EXPECT_EQ(map.pixel(20, 50), kRedRgb);
}

TEST_F(Display, PolylineIsNeverFilled) {
    writers::DrwWriter w;
    w.begin_group(1, "OPEN");
    w.polyline(square(), writers::header({.colour = kRed, .fill = 50}));
    draw(save(w, "open", false));
    EXPECT_EQ(map.pixel(50, 50), kWhite);
    EXPECT_EQ(map.pixel(50, 20), kRedRgb);
    EXPECT_EQ(map.pixel(20, 50), kWhite); // not closed
}

// ---- clipping ----------------------------------------------------------------------------------

TEST_F(Display, ClipperJoinsAboveLeftToAboveRightThroughTheTopCorners) {
    // For fills the clipper keeps a ring closed round the view: a segment from above
    // left (9) to above right (3) becomes the two top corners.
    const Points pts{at(-30, -40), at(230, -10)};
    ScreenLine s;
    Clip_To_View(map.view, pts.data(), 2, kCodePolyline, s);
    ASSERT_EQ(s.count, 2);
    EXPECT_EQ(s.points[0].x, 0);
    EXPECT_EQ(s.points[0].y, 0);
    EXPECT_EQ(s.points[1].x, kWidth);
    EXPECT_EQ(s.points[1].y, 0);
}

TEST_F(Display, FilledPolygonPassingAboveTheViewFillsToItsTopEdge) {
    writers::DrwWriter w;
    w.begin_group(1, "ABOVE");
    w.polygon(Points{at(-30, -40), at(230, -10), at(230, 50), at(-30, 50)},
              writers::header({.colour = kRed, .fill = 50}));
    draw(save(w, "above_fill", false));
    for (int x = 0; x < kWidth; ++x)
        ASSERT_EQ(map.pixel(x, 0), kRedRgb) << x;
}

TEST_F(Display, OutlinesOutsideTheViewNeverRunAlongItsEdges) {
    // Drawn as a line, the same segment lies wholly outside and shows nothing; a wide
    // ring round the view must not frame it either.
    writers::DrwWriter w;
    w.begin_group(1, "ABOVE");
    w.polyline(Points{at(-30, -40), at(230, -10)}, writers::header({.colour = kRed}));
    w.polyline(Points{at(10, 90), at(11, 90)}); // keeps the group box across the view
    w.begin_group(1, "RING");
    Points ring = around_view();
    ring.push_back(ring.front());
    w.polyline(ring, writers::header({.colour = kRed, .line_width = 20}));
    w.polygon(around_view(), writers::header({.colour = kRed, .line_width = 20}));
    draw(save(w, "outside_outlines", false));
    EXPECT_EQ(map.count_not(kRedRgb), kWidth * kHeight) << "no red at all";
    for (int x = 0; x < kWidth; ++x)
        ASSERT_NE(map.pixel(x, 0), kRedRgb) << x;
    for (int y = 0; y < kHeight; ++y) {
        ASSERT_NE(map.pixel(0, y), kRedRgb) << y;
        ASSERT_NE(map.pixel(kWidth - 1, y), kRedRgb) << y;
    }
}

TEST_F(Display, AFilledRingCutByTheViewIsFilledButNotFramedByItsPen) {
    // A patterned ring round the whole view with a wide pen: the pattern reaches the
    // view's edges, where the ring itself does not run.
    const std::array<uint8_t, 8> entry3 = {0xAA, 0x00, 0x22, 0x00, 0xAA, 0x00, 0x22, 0x00};
    writers::DrwWriter w;
    w.begin_group(1, "FILLED RING");
    w.polygon(around_view(), writers::header({.colour = kBlue, .fill = 3, .line_width = 20}));
    draw(save(w, "filled_ring", false));
    for (int x = 0; x < kWidth; ++x) {
        ASSERT_EQ(map.pixel(x, 0), pattern_bit(entry3, x, 0) ? kWhite : kBlueRgb) << x;
        ASSERT_EQ(map.pixel(x, 2), pattern_bit(entry3, x, 2) ? kWhite : kBlueRgb) << x;
    }
}

TEST_F(Display, OutlinesLeavingAndReenteringTheViewAreDrawnInPieces) {
    // Out through the right edge and back: no line may join the two crossings.
    writers::DrwWriter w;
    w.begin_group(1, "LOOP");
    w.polyline(Points{at(150, 20), at(260, 20), at(260, 80), at(150, 80)},
               writers::header({.colour = kRed}));
    draw(save(w, "loop", false));
    EXPECT_EQ(map.pixel(170, 20), kRedRgb);
    EXPECT_EQ(map.pixel(170, 80), kRedRgb);
    for (int y = 25; y < 75; ++y)
        ASSERT_NE(map.pixel(kWidth - 1, y), kRedRgb) << y;
}

TEST_F(Display, PolylineWhollyAboveTheViewDrawsNothing) {
    writers::DrwWriter w;
    w.begin_group(1, "ABOVE");
    w.polyline(Points{at(10, -10), at(100, -40), at(190, -5)}, writers::header({.colour = kRed}));
    w.polyline(Points{at(10, 90), at(11, 90)}, writers::header({.colour = kBlue}));
    draw(save(w, "wholly_above", false));
    for (int x = 0; x < kWidth; ++x)
        ASSERT_NE(map.pixel(x, 0), kRedRgb) << x;
    EXPECT_EQ(map.painted(), 1); // only the short blue line's first pixel
}

TEST_F(Display, PolygonAroundTheWholeViewFillsIt) {
    for (bool indexed : {false, true}) {
        SCOPED_TRACE(indexed ? "indexed" : "sequential");
        writers::DrwWriter w;
        w.begin_group(1, "AROUND");
        w.polygon(around_view(), writers::header({.colour = kBlue, .fill = 50}));
        draw(save(w, indexed ? "around_i" : "around_s", indexed));
        EXPECT_EQ(map.count_not(kBlueRgb), 0);
    }
}

TEST_F(Display, LineCrossingTheViewIsCutAtItsEdges) {
    // From left of the view to right of it, through its middle row.
    writers::DrwWriter w;
    w.begin_group(1, "ACROSS");
    view_sized_group(w);
    w.polyline(Points{at(-100, 50), at(300, 50)}, writers::header({.colour = kRed}));
    draw(save(w, "across", false));
    for (int x = 0; x < kWidth; ++x)
        ASSERT_EQ(map.pixel(x, 50), kRedRgb) << x;
    EXPECT_EQ(map.painted(), kWidth);
}

TEST_F(Display, ClipperDropsRepeatsAndClosesPolygons) {
    const Points pts{at(10, 10), at(10, 10), at(50, 10), at(50, 10), at(50, 40)};
    ScreenLine s;
    Clip_To_View(map.view, pts.data(), 5, kCodePolygon, s);
    ASSERT_EQ(s.count, 3);
    EXPECT_EQ(s.points[0].x, 10);
    EXPECT_EQ(s.points[1].x, 50);
    EXPECT_EQ(s.points[2].y, 40);
    // The closing copy lies after the counted points.
    EXPECT_EQ(s.points[3].x, 10);
    EXPECT_EQ(s.points[3].y, 10);
    EXPECT_EQ(s.last.y, 40);
}

TEST_F(Display, ClipperGrowsItsOutputForLongOutlines) {
    // Every segment runs from above the view to below it or back: two crossings each.
    Points pts;
    for (int k = 0; k < 3001; ++k)
        pts.push_back(k % 2 == 0 ? at(100, -500) : at(100 + (k % 7), 600));
    ScreenLine s;
    Clip_To_View(map.view, pts.data(), 3001, kCodePolyline, s);
    EXPECT_EQ(s.count, 6000);
    ASSERT_GE(s.points.size(), 6000u);
}

// ---- units --------------------------------------------------------------------------------------

namespace {

// The same picture in whole units and in tenths: a filled triangle crossing the left
// edge and a polyline crossing the top edge, in two groups.
void picture(writers::DrwWriter &w, int16_t first_kind, int16_t second_kind, bool tenths) {
    auto p = [&](int x, int y) { return tenths ? at_tenths(x, y) : at(x, y); };
    const int16_t width = tenths ? 30 : 3; // line widths are in the group's units too
    w.begin_group(first_kind, "FIRST");
    w.polygon(Points{p(-20, 30), p(90, 10), p(60, 90)},
              writers::header({.colour = kRed, .fill = 3}));
    w.begin_group(second_kind, "SECOND");
    w.polyline(Points{p(100, 80), p(150, -20), p(190, 60)},
               writers::header({.colour = kBlue, .line_width = width}));
}

} // namespace

TEST_F(Display, TenthsGroupsLandWhereWholeUnitsLand) {
    for (bool indexed : {false, true}) {
        SCOPED_TRACE(indexed ? "indexed" : "sequential");
        writers::DrwWriter whole, tenths;
        picture(whole, 1, 1, false);
        picture(tenths, 10, 10, true);
        draw(save(whole, indexed ? "whole_i" : "whole_s", indexed));
        const QImage expected = map.image();
        EXPECT_GT(map.painted(), 500);
        draw(save(tenths, indexed ? "tenths_i" : "tenths_s", indexed));
        EXPECT_EQ(map.image(), expected);
        EXPECT_EQ(map.view.Fine_Units, 0);
        EXPECT_DOUBLE_EQ(map.view.View_X_Min, kX0);
        EXPECT_EQ(map.view.View_Height_Units, kHeight);
    }
}

TEST_F(Display, KindTenThenKindOneSwitchesBackAndKindFiveKeeps) {
    writers::DrwWriter reference;
    picture(reference, 1, 1, false);
    draw(save(reference, "reference", false));
    const QImage expected = map.image();

    // Tenths then whole units, through the index: each record sets its own units.
    {
        writers::DrwWriter w;
        w.begin_group(10, "FIRST");
        w.polygon(Points{at_tenths(-20, 30), at_tenths(90, 10), at_tenths(60, 90)},
                  writers::header({.colour = kRed, .fill = 3}));
        w.begin_group(1, "SECOND");
        w.polyline(Points{at(100, 80), at(150, -20), at(190, 60)},
                   writers::header({.colour = kBlue, .line_width = 3}));
        // Whole units sort first in the index; the tenths group follows.
        draw(save(w, "ten_then_one", true));
        EXPECT_EQ(map.image(), expected);
        EXPECT_EQ(map.view.Fine_Units, 0);
        draw(save(w, "ten_then_one_seq", false));
        EXPECT_EQ(map.image(), expected);
    }
    // Kind 5 leaves the tenths of the group before it in force.
    for (bool indexed : {false, true}) {
        SCOPED_TRACE(indexed ? "kind 5 indexed" : "kind 5 sequential");
        writers::DrwWriter w;
        picture(w, 10, 5, true);
        draw(save(w, indexed ? "ten_then_five_i" : "ten_then_five_s", indexed));
        EXPECT_EQ(map.image(), expected);
        EXPECT_EQ(map.view.Fine_Units, 0);
    }
}

// A drawing that shows nothing in the view leaves no trace on the drawings after it, however
// often its walk switched units: at 0.025 pixels a unit a tenth of the scale times ten is not
// the scale again, and a 100-unit pen was 3 pixels wide after the switch instead of 2. With
// 100 groups the quick walk passes over the tenths entry and switches nothing; the plain walk
// switches, and both must agree.
TEST_F(Display, UnitSwitchesOfADrawingOutOfViewLeaveNoTraceOnTheNext) {
    map.set_view(kX0, kY0, 40 * kHeight);
    ASSERT_EQ(map.view.View_Scale, 0.025);
    writers::DrwWriter wide;
    wide.begin_group(1, "WIDE");
    wide.set_group_extent(kX0, kY0, 0, kX0 + 40 * kWidth, kY0 + 40 * kHeight, 0);
    wide.polyline(Points{{kX0 + 400, kY0 + 2000, 0}, {kX0 + 7600, kY0 + 2000, 0}},
                  writers::header({.colour = kRed, .line_width = 100}));
    const std::string wide_path = save(wide, "wide", true);
    map.display(wide_path);
    const QImage alone = map.image();
    ASSERT_EQ(map.painted_in_column(100), 2);

    for (const int west : {20, 100}) {
        writers::DrwWriter w;
        for (int g = 0; g < west; ++g) {
            w.begin_group(1, "WEST" + std::to_string(g));
            w.polyline(Points{{kX0 - 9000 + 10 * g, kY0 + 100, 0}, {kX0 - 8000, kY0 + 900, 0}},
                       writers::header({.colour = kBlue}));
        }
        w.begin_group(10, "NORTH");
        w.polyline(Points{{10 * (kX0 + 100), 10 * (kY0 + 9000), 0},
                          {10 * (kX0 + 900), 10 * (kY0 + 9900), 0}},
                   writers::header({.colour = kBlue}));
        const std::string path = save(w, "switches" + std::to_string(west), true);
        map.drawings.clear();
        project::register_drawing(map.drawings, path, map.data_folder, map.program_folder, map.ui);
        project::register_drawing(map.drawings, wide_path, map.data_folder, map.program_folder,
                                  map.ui);
        for (const bool shortcuts : {true, false}) {
            SCOPED_TRACE(::testing::Message() << west << " groups, shortcuts " << shortcuts);
            map.options.Shortcuts = shortcuts;
            for (int redraw = 0; redraw < 3; ++redraw) {
                map.set_view(kX0, kY0, 40 * kHeight);
                map.display(path, false);
                map.display(wide_path, false);
                EXPECT_EQ(map.view.View_Scale, 0.025);
                EXPECT_EQ(map.painted_in_column(100), 2);
                EXPECT_TRUE(map.image() == alone) << "not the wide line's picture alone";
            }
        }
    }
}

// ---- pens and colours -------------------------------------------------------------------------

TEST_F(Display, ThinLinesOnePixelThickFlagTwo) {
    writers::DrwWriter w;
    w.begin_group(1, "LINE");
    view_sized_group(w);
    w.polyline(Points{at(10, 50), at(190, 50)}, writers::header({.colour = kRed, .line_width = 1}));
    const auto path = save(w, "thick", false);
    draw(path);
    EXPECT_EQ(map.painted_in_column(100), 1);
    map.drawings.entry(1).thick = true;
    map.clear();
    map.display(path, false);
    EXPECT_EQ(map.painted_in_column(100), 2);
}

TEST_F(Display, WideLinesScaleWithTheViewRoundingHalvesToEven) {
    map.set_view(kX0, kY0, 2 * kHeight); // half a pixel per unit
    ASSERT_DOUBLE_EQ(map.view.View_Scale, 0.5);
    for (auto [width, pixels] :
         {std::pair{5, 2}, std::pair{7, 4}, std::pair{3, 2}, std::pair{20, 10}}) {
        SCOPED_TRACE(width);
        writers::DrwWriter w;
        w.begin_group(1, "WIDE");
        w.set_group_extent(kX0, kY0, 0, kX0 + 2 * kWidth, kY0 + 2 * kHeight, 0);
        w.polyline(Points{{kX0 + 20, kY0 + 100, 0}, {kX0 + 380, kY0 + 100, 0}},
                   writers::header({.colour = kRed, .line_width = static_cast<int16_t>(width)}));
        draw(save(w, "wide" + std::to_string(width), false));
        EXPECT_EQ(map.painted_in_column(100), pixels);
    }
}

TEST_F(Display, PenStyleZeroIsReadAsSolid) {
    auto draw_style = [&](uint8_t stored) {
        writers::DrwWriter w;
        w.begin_group(1, "STYLE");
        view_sized_group(w);
        drawing::ObjectHeader h = writers::header({.colour = kRed});
        h.pen_style = stored;
        w.polyline(Points{at(10, 50), at(190, 50)}, h);
        draw(save(w, "style" + std::to_string(stored), false));
        return map.image();
    };
    const QImage solid = draw_style(1);
    EXPECT_EQ(map.painted(), 180);
    EXPECT_EQ(draw_style(0), solid);
    EXPECT_NE(draw_style(3), solid); // dotted
    EXPECT_LT(map.painted(), 180);
    EXPECT_EQ(draw_style(200), solid); // no such style: solid
}

TEST_F(Display, ColourFromPaletteFixedColourOrForcedColour) {
    writers::DrwWriter w;
    w.begin_group(1, "COLOURS");
    w.polyline(Points{at(10, 50), at(190, 50)}, writers::header({.colour = kBlue}));
    w.polygon(square(), writers::header({.colour = kGreen, .fill = 50}));
    const auto path = save(w, "colours", false);
    draw(path);
    EXPECT_EQ(map.pixel(10, 50), kBlueRgb);
    EXPECT_EQ(map.pixel(50, 40), gdi::rgb(0, 160, 0));

    const gdi::Colour orange = gdi::rgb(250, 128, 0);
    map.drawings.entry(1).fixed_colour = orange;
    map.clear();
    map.display(path, false);
    EXPECT_EQ(map.pixel(10, 50), orange);
    EXPECT_EQ(map.pixel(50, 40), orange);

    const gdi::Colour flash = gdi::rgb(249, 249, 10);
    map.options.Forced_Colour = flash;
    map.clear();
    map.display(path, false);
    EXPECT_EQ(map.pixel(10, 50), flash);
    EXPECT_EQ(map.pixel(50, 40), flash);

    map.drawings.entry(1).fixed_colour = 0;
    map.clear();
    map.display(path, false);
    EXPECT_EQ(map.pixel(150, 50), flash);
}

// ---- large objects ------------------------------------------------------------------------------

TEST_F(Display, ObjectOf5000PointsIsDrawnWhole) {
    // A polyline that wanders over a small patch for 4999 points and only then strikes
    // out to the far corner, and a filled triangle whose apex is its 5000th point.
    Points wander;
    for (int k = 0; k < 4999; ++k)
        wander.push_back(at(10 + k % 9, 10 + (k / 9) % 9));
    wander.push_back(at(190, 10));
    Points triangle;
    for (int k = 0; k < 4999; ++k)
        triangle.push_back(at(10 + (180 * k) / 4998, 95));
    triangle.push_back(at(100, 30));

    for (bool indexed : {false, true}) {
        SCOPED_TRACE(indexed ? "indexed, inside the view" : "sequential, clipped");
        writers::DrwWriter w;
        w.begin_group(1, "LONG LINE");
        w.polyline(wander, writers::header({.colour = kRed}));
        w.begin_group(1, "BIG TRIANGLE");
        w.polygon(triangle, writers::header({.colour = kBlue, .fill = 50}));
        draw(save(w, indexed ? "big_i" : "big_s", indexed));
        int red_far_out = 0; // the last segment, far from the patch
        for (int y = 0; y < 30; ++y)
            red_far_out += map.pixel(150, y) == kRedRgb ? 1 : 0;
        EXPECT_EQ(red_far_out, 1);
        EXPECT_EQ(map.pixel(100, 60), kBlueRgb); // inside the triangle
        EXPECT_EQ(map.pixel(100, 25), kWhite);   // above its apex
    }
}

// ---- hidden, header-only and unknown units
// -------------------------------------------------------

TEST_F(Display, HiddenAndHeaderOnlyObjectsDrawNothingAndReadingGoesOn) {
    for (bool indexed : {false, true}) {
        SCOPED_TRACE(indexed ? "indexed" : "sequential");
        writers::DrwWriter w;
        w.begin_group(1, "MIXED");
        w.hidden(Points{at(10, 10), at(190, 10)}, writers::header({.colour = kRed}));
        w.hidden(Points{at(10, 20), at(190, 20)}, writers::header({.colour = kRed}), kCodeHiddenB);
        w.header_only(writers::header({.colour = kRed}), Points{at(10, 30), at(190, 30)});
        w.layer(drawing::LayerRecord{});
        w.control_unit(-99);
        w.polyline(Points{at(10, 60), at(190, 60)}, writers::header({.colour = kBlue}));
        draw(save(w, indexed ? "mixed_i" : "mixed_s", indexed));
        EXPECT_EQ(map.count_not(kWhite), 180);
        EXPECT_EQ(map.pixel(100, 60), kBlueRgb);
    }
}

// ---- the index walk
// -------------------------------------------------------------------------------

TEST_F(Display, IndexedGroupEndsAtTheNextGroup) {
    writers::DrwWriter w;
    w.begin_group(1, "LISTED");
    view_sized_group(w);
    w.polyline(Points{at(10, 30), at(190, 30)}, writers::header({.colour = kRed}));
    w.begin_group(1, "UNLISTED");
    view_sized_group(w);
    w.polyline(Points{at(10, 70), at(190, 70)}, writers::header({.colour = kBlue}));
    const auto path = save(w, "two", false);
    auto idx = w.index_records();
    idx.pop_back(); // only the first group
    ASSERT_EQ(trimmed(idx[0].name), "LISTED");
    writers::write_index(files::with_extension3(path, "zix"), idx);
    draw(path);
    EXPECT_EQ(map.pixel(100, 30), kRedRgb);
    EXPECT_EQ(map.pixel(100, 70), kWhite);
}

TEST_F(Display, IndexWalkStopsAtTheFirstGroupBeyondTheRightEdge) {
    writers::DrwWriter w;
    w.begin_group(1, "FAR EAST");
    w.polyline(Points{at(300, 30), at(400, 30)}, writers::header({.colour = kRed}));
    w.begin_group(1, "IN VIEW");
    view_sized_group(w);
    w.polyline(Points{at(10, 70), at(190, 70)}, writers::header({.colour = kBlue}));
    const auto path = save(w, "order", false);
    const auto zix = files::with_extension3(path, "zix");

    // Written out of order on purpose: the walk trusts the order and stops.
    writers::write_index(zix, w.index_records(), false);
    auto idx = w.index_records();
    std::swap(idx[0], idx[1]);
    writers::write_index(zix, idx, false);
    draw(path);
    EXPECT_EQ(map.painted(), 0);

    writers::write_index(zix, w.index_records());
    map.clear();
    map.display(path, false);
    EXPECT_EQ(map.pixel(100, 70), kBlueRgb);
}

TEST_F(Display, IndexWalkPassesOverGroupsLeftBelowOrAbove) {
    writers::DrwWriter w;
    w.begin_group(1, "WEST");
    w.polyline(Points{at(-300, 30), at(-100, 30)}, writers::header({.colour = kRed}));
    w.begin_group(1, "SOUTH");
    w.polyline(Points{at(-50, 300), at(100, 200)}, writers::header({.colour = kRed}));
    w.begin_group(1, "NORTH");
    w.polyline(Points{at(-40, -300), at(100, -200)}, writers::header({.colour = kRed}));
    w.begin_group(1, "IN VIEW");
    view_sized_group(w);
    w.polyline(Points{at(10, 70), at(190, 70)}, writers::header({.colour = kBlue}));
    draw(save(w, "around", true));
    EXPECT_EQ(map.pixel(100, 70), kBlueRgb);
    EXPECT_EQ(map.count_not(kWhite), 180);
}

TEST_F(Display, IndexEntryAtAnEndMarkIsIgnored) {
    writers::DrwWriter w;
    w.end_mark();
    w.begin_group(1, "AFTER MARK");
    view_sized_group(w);
    w.polyline(Points{at(10, 70), at(190, 70)}, writers::header({.colour = kBlue}));
    const auto path = save(w, "mark", false);
    auto idx = w.index_records();
    ASSERT_EQ(idx[0].first_unit, 2);
    idx[0].first_unit = 1;
    writers::write_index(files::with_extension3(path, "zix"), idx);
    draw(path);
    EXPECT_EQ(map.painted(), 0);
}

TEST_F(Display, RightButtonAbortStopsAfterTheTenthRecord) {
    writers::DrwWriter w;
    for (int g = 0; g < 30; ++g) {
        w.begin_group(1, "G" + std::to_string(g));
        w.polyline(Points{at(5 + 6 * g, 10), at(5 + 6 * g, 90)}, writers::header({.colour = kRed}));
        w.polyline(Points{at(5 + 6 * g, 10), at(7 + 6 * g, 10)}, writers::header({.colour = kRed}));
    }
    const auto path = save(w, "abort", true);
    // A right-button release arriving while the drawing goes on.
    map.on_events = [&] {
        if (map.progress.Drawing_In_Progress)
            map.progress.Abort_Drawing = true;
    };
    draw(path);
    for (int g = 0; g < 30; ++g)
        EXPECT_EQ(map.pixel(5 + 6 * g, 50), g < 10 ? kRedRgb : kWhite) << g;
    EXPECT_EQ(map.events, 2); // after record 10, and once at the end
    EXPECT_FALSE(map.progress.Abort_Drawing);
    EXPECT_FALSE(map.progress.Drawing_In_Progress);

    // Without an abort the events run after every tenth record.
    map.on_events = nullptr;
    map.events = 0;
    map.clear();
    map.display(path, false);
    EXPECT_EQ(map.pixel(5 + 6 * 29, 50), kRedRgb);
    EXPECT_EQ(map.events, 3 + 1);
}

// ---- registration, messages and the pointer
// --------------------------------------------------------

TEST_F(Display, RegisteringAddsAnEntryWithIndexAndLinkedData) {
    writers::DrwWriter w;
    w.begin_group(1, "G");
    view_sized_group(w);
    w.polyline(Points{at(10, 70), at(190, 70)}, writers::header({.colour = kBlue}));
    const auto with_index = save(w, "indexed", true);
    const auto without = save(w, "plain", false);
    writers::write_sup(files::with_extension3(with_index, "sup"), 3, {"sites.db", "RAZ", "RAZIX"});
    map.data_folder = dir.path().string() + "/";

    EXPECT_EQ(map.display(with_index), 1);
    EXPECT_EQ(map.display(without), 2);
    ASSERT_EQ(map.drawings.count(), 2);
    const state::DrawingEntry &a = map.drawings.entry(1);
    EXPECT_TRUE(a.active);
    EXPECT_EQ(a.file_name, with_index);
    EXPECT_TRUE(a.has_index);
    EXPECT_EQ(a.linked_kind, 3);
    EXPECT_EQ(a.data_file, map.data_folder + "sites.db");
    EXPECT_EQ(a.raz_table, "RAZ");
    EXPECT_EQ(a.era_table, "");
    const state::DrawingEntry &b = map.drawings.entry(2);
    EXPECT_FALSE(b.has_index);
    EXPECT_EQ(b.linked_kind, 0);
    EXPECT_EQ(map.pixel(100, 70), kBlueRgb);
}

TEST_F(Display, SixteenthDrawingIsRefusedAndNothingOverflows) {
    for (int n = 1; n <= 15; ++n)
        map.display(dir.file("d" + std::to_string(n) + ".drw"));
    ASSERT_EQ(map.drawings.count(), 15);
    map.messages.clear();
    map.pointers.clear();
    const auto extra = dir.file("d16.drw");
    EXPECT_EQ(map.display(extra), 0);
    EXPECT_EQ(map.drawings.count(), 15);
    ASSERT_EQ(map.messages.size(), 1u);
    EXPECT_NE(map.messages[0].find(extra), std::string::npos);
    EXPECT_TRUE(map.pointers.empty());
    EXPECT_FALSE(fs::exists(extra)); // not even opened
}

TEST_F(Display, MissingDrawingIsReportedKeepsItsNumberAndIsNeverCreated) {
    std::vector<std::string> problems;
    map.ui.problem_found = [&](const std::string &p) { problems.push_back(p); };
    const auto path = dir.file("absent.drw");
    map.display(path);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(map.drawings.count(), 1);
    EXPECT_TRUE(map.drawings.entry(1).missing);
    EXPECT_EQ(problems, (std::vector<std::string>{"Drawing not found: " + path}));
    map.display(path, false); // a redraw draws nothing and creates nothing
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(map.painted(), 0);
    EXPECT_FALSE(map.progress.Drawing_In_Progress);
}

TEST_F(Display, DamagedDrawingsAndIndexesAreReportedAndStillDrawn) {
    std::vector<std::string> problems;
    map.ui.problem_found = [&](const std::string &p) { problems.push_back(p); };
    writers::DrwWriter w;
    w.begin_group(1, "G");
    view_sized_group(w);
    w.polyline(Points{at(10, 70), at(190, 70)}, writers::header({.colour = kRed}));
    const auto path = save(w, "damaged", true);
    {
        std::ofstream(path, std::ios::app | std::ios::binary) << "xyz"; // a torn last unit
        std::ofstream(files::with_extension3(path, "zix"), std::ios::app | std::ios::binary)
            << "torn";
    }
    map.display(path);
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "Drawing damaged (it ends inside a unit): " + path,
                            "Drawing index damaged: " + files::with_extension3(path, "zix")}));
    EXPECT_LT(map.count_not(kRedRgb), kWidth * kHeight);
}

TEST_F(Display, DrawingInProgressWhileTheFileIsRead) {
    writers::DrwWriter w;
    for (int g = 0; g < 10; ++g) {
        w.begin_group(1, "G");
        view_sized_group(w);
        w.polyline(Points{at(10, 70), at(190, 70)});
    }
    const auto path = save(w, "progress", true);
    bool seen = false;
    map.on_events = [&] { seen = seen || map.progress.Drawing_In_Progress; };
    map.display(path);
    EXPECT_TRUE(seen);
    EXPECT_FALSE(map.progress.Drawing_In_Progress);
}

TEST_F(Display, RedrawOfAnUnregisteredNameIsIgnored) {
    map.display(dir.file("never.drw"), false);
    EXPECT_TRUE(map.messages.empty());
    EXPECT_EQ(map.drawings.count(), 0);
    EXPECT_FALSE(fs::exists(dir.file("never.drw")));
}
