#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <string>
#include <utility>

#include "platform/gdi_test_util.h"
#include "platform/surface/gdi.h"

namespace {

using namespace gdi_test;
using gdi::Brush;
using gdi::Pen;
using gdi::PenStyle;
using gdi::Point;

// ---- colours and single pixels ---------------------------------------------------

TEST(GdiColours, ChannelsKeepTheirPlaceFromValueToPixelAndBack) {
    Canvas c;
    c.dc.set_pixel(1, 1, gdi::rgb(255, 0, 0));
    c.dc.set_pixel(2, 1, gdi::rgb(1, 2, 3));
    EXPECT_EQ(c.dc.image().pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(c.image.pixel(2, 1), qRgb(1, 2, 3));
    EXPECT_EQ(c.dc.get_pixel(1, 1), 255);
    EXPECT_EQ(c.dc.get_pixel(2, 1), 1 + 256 * 2 + 65536 * 3);

    const Point line[2] = {{0, 5}, {10, 5}};
    c.dc.select(Pen{PenStyle::Solid, 0, gdi::rgb(10, 200, 30)});
    c.dc.polyline(line, 2);
    EXPECT_EQ(c.image.pixel(4, 5), qRgb(10, 200, 30));
}

TEST(GdiColours, ReadingOutsideTheImageGivesMinusOne) {
    Canvas c(8, 6);
    EXPECT_EQ(c.dc.get_pixel(-1, 0), -1);
    EXPECT_EQ(c.dc.get_pixel(0, -1), -1);
    EXPECT_EQ(c.dc.get_pixel(8, 0), -1);
    EXPECT_EQ(c.dc.get_pixel(0, 6), -1);
    EXPECT_EQ(c.dc.get_pixel(7, 5), kWhite);
    c.dc.set_pixel(8, 0, kBlack); // ignored, not written past the row
    c.dc.set_pixel(-1, 1, kBlack);
    EXPECT_EQ(c.count(kBlack), 0);
}

TEST(GdiColours, SetPixelWritesExactlyItsColourWhateverPenBrushAndRop) {
    Canvas c;
    c.dc.select(Pen{PenStyle::Solid, 5, kRed});
    c.dc.select(Brush::solid(kGreen));
    c.dc.set_rop2(gdi::Rop2::XorPen);
    c.dc.set_pixel(3, 3, gdi::rgb(224, 224, 224));
    c.dc.set_pixel(3, 3, gdi::rgb(224, 224, 224)); // no XOR: still there
    EXPECT_EQ(c.dc.get_pixel(3, 3), gdi::rgb(224, 224, 224));
    EXPECT_EQ(c.dc.get_pixel(4, 3), kWhite);
    EXPECT_EQ(c.dc.get_pixel(3, 4), kWhite);
}

TEST(GdiColours, ClearFillsTheWholeImage) {
    Canvas c(10, 7);
    c.dc.set_rop2(gdi::Rop2::XorPen);
    c.dc.clear(kBlue);
    EXPECT_EQ(c.count(kBlue), 70);
}

// ---- pens --------------------------------------------------------------------------

TEST(GdiPens, WidthZeroAndOneDrawOnePixelLeavingOutTheLastPixel) {
    for (int width : {0, 1}) {
        Canvas c;
        c.dc.select(Pen{PenStyle::Solid, width, kBlack});
        const Point line[3] = {{2, 5}, {10, 5}, {10, 9}};
        c.dc.polyline(line, 3);
        EXPECT_EQ(c.row(5, 0, 12), "..#########..") << "width " << width;
        EXPECT_EQ(c.row(4, 0, 12), ".............");
        EXPECT_EQ(c.row(6, 0, 12), "..........#..");
        EXPECT_EQ(c.column(10, 4, 10), ".####..") << "width " << width;
    }
}

TEST(GdiPens, DiagonalOnePixelLineTouchesOnePixelPerStep) {
    Canvas c;
    const Point line[2] = {{0, 0}, {8, 8}};
    c.dc.polyline(line, 2);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(c.row(i, 0, 9), std::string(static_cast<size_t>(i), '.') + "#" +
                                      std::string(static_cast<size_t>(9 - i), '.'));
    EXPECT_EQ(c.count(kBlack), 8);
}

TEST(GdiPens, WidePenIsCentredOnTheLineWithRoundEnds) {
    Canvas c;
    c.dc.select(Pen{PenStyle::Solid, 3, kBlack});
    const Point line[2] = {{10, 10}, {20, 10}};
    c.dc.polyline(line, 2);
    EXPECT_EQ(c.column(15, 7, 13), "..###..");
    // The ends reach as far beyond the left point as beyond the right one.
    EXPECT_EQ(c.row(10, 7, 23), "..#############..");

    Canvas two;
    two.dc.select(Pen{PenStyle::Solid, 2, kBlack});
    two.dc.polyline(line, 2);
    const std::string col = two.column(15, 7, 13);
    EXPECT_EQ(std::count(col.begin(), col.end(), '#'), 2) << col;
    EXPECT_EQ(col.find("##"), col.rfind('#') - 1) << "the two rows are together: " << col;
    EXPECT_EQ(two.dc.get_pixel(15, 10), kBlack);
}

TEST(GdiPens, DashAndDotPatternsOnOnePixelPens) {
    struct Case {
        PenStyle style;
        std::string start;
    };
    const Case cases[] = {
        {PenStyle::Dash, std::string(18, '#') + std::string(6, '.') + std::string(18, '#')},
        {PenStyle::Dot, "###...###...###..."},
        {PenStyle::DashDot, "#########......###......#########"},
        {PenStyle::DashDotDot, "#########...###...###...#########"},
    };
    for (const auto &k : cases) {
        Canvas c(80, 4);
        c.dc.set_background_mode(gdi::BackgroundMode::Transparent);
        c.dc.select(Pen{k.style, 0, kBlack});
        const Point line[2] = {{0, 1}, {79, 1}};
        c.dc.polyline(line, 2);
        EXPECT_EQ(c.row(1, 0, static_cast<int>(k.start.size()) - 1), k.start)
            << "style " << static_cast<int>(k.style);
    }
}

TEST(GdiPens, StyledPensWiderThanOnePixelDrawSolid) {
    for (auto style : {PenStyle::Dash, PenStyle::Dot, PenStyle::DashDot, PenStyle::DashDotDot}) {
        Canvas c(80, 10);
        c.dc.select(Pen{style, 2, kBlack});
        const Point line[2] = {{5, 5}, {70, 5}};
        c.dc.polyline(line, 2);
        EXPECT_EQ(c.row(5, 5, 70), std::string(66, '#')) << static_cast<int>(style);
    }
}

TEST(GdiPens, OpaqueBackgroundPaintsTheGapsOfStyledLines) {
    Canvas c(40, 3);
    c.dc.set_background_mode(gdi::BackgroundMode::Opaque);
    c.dc.set_background_colour(kGreen);
    c.dc.select(Pen{PenStyle::Dot, 0, kBlack});
    const Point line[2] = {{0, 1}, {30, 1}};
    c.dc.polyline(line, 2);
    EXPECT_EQ(c.row(1, 0, 11, kBlack), "###...###...");
    EXPECT_EQ(c.row(1, 0, 11, kGreen), "...###...###");
    EXPECT_EQ(c.row(1, 30, 31, kWhite), "##") << "the last pixel stays out for the gaps too";
}

TEST(GdiPens, NullPenDrawsNoLine) {
    Canvas c;
    c.dc.select(Pen::null());
    const Point line[3] = {{2, 2}, {30, 2}, {30, 30}};
    c.dc.polyline(line, 3);
    EXPECT_EQ(c.count(kWhite), 64 * 48);
}

TEST(GdiPens, FewerThanTwoPointsDrawNothing) {
    Canvas c;
    const Point one[1] = {{5, 5}};
    c.dc.polyline(one, 1);
    c.dc.polygon(one, 1);
    c.dc.polyline(nullptr, 5);
    c.dc.polygon(nullptr, 5);
    EXPECT_EQ(c.count(kWhite), 64 * 48);
}

TEST(GdiPens, MoveToLineToDrawsFromTheCurrentPosition) {
    Canvas c;
    c.dc.move_to(2, 3);
    c.dc.line_to(6, 3);
    c.dc.line_to(6, 6);
    EXPECT_EQ(c.row(3, 0, 7), "..#####.");
    EXPECT_EQ(c.column(6, 2, 7), ".###..");
}

TEST(GdiPens, FarOffPointsStillDrawTheVisiblePart) {
    Canvas c;
    const Point line[2] = {{-1000000000, 7}, {1000000000, 7}};
    c.dc.polyline(line, 2);
    EXPECT_EQ(c.row(7, 0, 63), std::string(64, '#'));
    EXPECT_EQ(c.count(kBlack), 64);

    Canvas wide;
    wide.dc.select(Pen{PenStyle::Solid, 3, kBlack});
    wide.dc.polyline(line, 2);
    EXPECT_EQ(wide.count(kBlack), 3 * 64);

    Canvas fill;
    const Point around[4] = {{-1000000000, -1000000000},
                             {1000000000, -1000000000},
                             {1000000000, 1000000000},
                             {-1000000000, 1000000000}};
    fill.dc.select(Pen::null());
    fill.dc.select(Brush::solid(kRed));
    fill.dc.polygon(around, 4);
    EXPECT_EQ(fill.count(kRed), 64 * 48);
}

TEST(GdiPens, UnknownStylesDrawSolid) {
    Canvas c;
    c.dc.select(Pen{static_cast<PenStyle>(9), 0, kBlack});
    const Point line[2] = {{0, 3}, {40, 3}};
    c.dc.polyline(line, 2);
    EXPECT_EQ(c.row(3, 0, 39), std::string(40, '#'));
}

// ---- polygons and brushes ---------------------------------------------------------

TEST(GdiPolygons, FillCoversTheInsideAndTheOutlineTheBoundary) {
    Canvas c;
    const Point box[5] = {{2, 2}, {8, 2}, {8, 6}, {2, 6}, {2, 2}};
    c.dc.select(Pen::null());
    c.dc.select(Brush::solid(kRed));
    c.dc.polygon(box, 5);
    // Pixel centres inside: columns 2..7, rows 2..5.
    EXPECT_EQ(c.row(2, 0, 9, kRed), "..######..");
    EXPECT_EQ(c.row(5, 0, 9, kRed), "..######..");
    EXPECT_EQ(c.row(6, 0, 9, kRed), "..........");

    Canvas o;
    o.dc.select(Pen{PenStyle::Solid, 0, kBlack});
    o.dc.select(Brush::solid(kRed));
    o.dc.polygon(box, 5);
    EXPECT_EQ(o.row(2, 0, 9), "..#######.");
    EXPECT_EQ(o.row(4, 0, 9, kBlack), "..#.....#.");
    EXPECT_EQ(o.row(4, 0, 9, kRed), "...#####..");
    EXPECT_EQ(o.row(6, 0, 9), "..#######.");
}

TEST(GdiPolygons, OddEvenFillLeavesTheOverlapOfASelfOverlappingPolygonEmpty) {
    Canvas c;
    // Two squares traced as one ring; their common quarter is inside twice.
    const Point ring[10] = {{0, 0},   {20, 0},  {20, 20}, {0, 20},  {0, 0},
                            {10, 10}, {30, 10}, {30, 30}, {10, 30}, {10, 10}};
    c.dc.select(Pen::null());
    c.dc.select(Brush::solid(kBlue));
    c.dc.polygon(ring, 10);
    EXPECT_EQ(c.dc.get_pixel(5, 5), kBlue);
    EXPECT_EQ(c.dc.get_pixel(25, 25), kBlue);
    EXPECT_EQ(c.dc.get_pixel(15, 15), kWhite);
    EXPECT_EQ(c.row(15, 0, 31, kBlue),
              std::string(10, '#') + std::string(10, '.') + std::string(10, '#') + "..");
}

TEST(GdiPolygons, NullBrushLeavesTheInsideAlone) {
    Canvas c;
    const Point box[4] = {{2, 2}, {9, 2}, {9, 9}, {2, 9}};
    c.dc.select(Brush::null());
    c.dc.polygon(box, 4);
    EXPECT_EQ(c.row(5, 0, 10), "..#......#.");
    EXPECT_EQ(c.row(2, 0, 10), "..########.");
}

TEST(GdiPolygons, WideOutlineAroundAFill) {
    Canvas c;
    const Point box[4] = {{10, 10}, {30, 10}, {30, 30}, {10, 30}};
    c.dc.select(Pen{PenStyle::Solid, 3, kBlack});
    c.dc.select(Brush::solid(kRed));
    c.dc.polygon(box, 4);
    EXPECT_EQ(c.row(20, 8, 32, kBlack), ".###.................###.");
    EXPECT_EQ(c.row(20, 12, 28, kRed), std::string(17, '#'));
}

TEST(GdiBrushes, MonoPatternPaintsZeroBitsInTextColourAndOneBitsInBackground) {
    const gdi::PatternBits bits{0x80, 0x41, 0x00, 0xFF, 0x0F, 0xF0, 0x18, 0x81};
    for (auto mode : {gdi::BackgroundMode::Transparent, gdi::BackgroundMode::Opaque}) {
        Canvas c(40, 30);
        c.dc.set_background_mode(mode);
        c.dc.set_text_colour(kRed);
        c.dc.select(Pen::null());
        c.dc.select(Brush::mono_pattern(bits));
        // Starts away from the origin: the pattern stays aligned to the image.
        const Point box[4] = {{3, 5}, {35, 5}, {35, 27}, {3, 27}};
        c.dc.polygon(box, 4);
        for (int y = 5; y < 27; ++y)
            for (int x = 3; x < 35; ++x) {
                const bool one = (bits[static_cast<size_t>(y % 8)] >> (7 - x % 8)) & 1;
                ASSERT_EQ(c.dc.get_pixel(x, y), one ? kWhite : kRed)
                    << "(" << x << ", " << y << ") mode " << static_cast<int>(mode);
            }
    }
}

TEST(GdiBrushes, PatternFollowsTheTextAndBackgroundColoursAtDrawingTime) {
    Canvas c(16, 8);
    c.dc.select(Pen::null());
    c.dc.select(Brush::mono_pattern({0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0}));
    const Point box[4] = {{0, 0}, {16, 0}, {16, 8}, {0, 8}};
    c.dc.set_text_colour(kRed);
    c.dc.polygon(box, 4);
    c.dc.set_text_colour(kBlue);
    c.dc.set_background_colour(kGreen);
    c.dc.polygon(box, 4);
    EXPECT_EQ(c.row(3, 0, 15, kGreen), "####....####....");
    EXPECT_EQ(c.row(3, 0, 15, kBlue), "....####....####");
}

TEST(GdiBrushes, FillRectIgnoresPenAndRasterOperation) {
    Canvas c(12, 12);
    c.dc.select(Pen{PenStyle::Solid, 4, kRed});
    c.dc.set_rop2(gdi::Rop2::XorPen);
    c.dc.fill_rect(2, 3, 6, 5, Brush::solid(kBlue));
    c.dc.fill_rect(2, 3, 6, 5, Brush::solid(kBlue));
    EXPECT_EQ(c.row(3, 0, 7, kBlue), "..####..");
    EXPECT_EQ(c.row(4, 0, 7, kBlue), "..####..");
    EXPECT_EQ(c.count(kBlue), 8);
}

TEST(GdiBrushes, SelectReturnsWhatWasSelected) {
    Canvas c;
    EXPECT_EQ(c.dc.select(Pen{PenStyle::Dot, 0, kRed}), Pen::black());
    EXPECT_EQ(c.dc.select(Pen::black()), (Pen{PenStyle::Dot, 0, kRed}));
    EXPECT_EQ(c.dc.select(Brush::solid(kRed)), Brush::black());
    EXPECT_EQ(c.dc.select(Brush::black()), Brush::solid(kRed));
    EXPECT_EQ(c.dc.select(gdi::Font{"Arial", -8, 0}), gdi::Font::system());
    EXPECT_EQ(c.dc.set_text_colour(kRed), kBlack);
    EXPECT_EQ(c.dc.set_background_colour(kRed), kWhite);
    EXPECT_EQ(c.dc.set_background_mode(gdi::BackgroundMode::Transparent),
              gdi::BackgroundMode::Opaque);
    EXPECT_EQ(c.dc.set_rop2(gdi::Rop2::XorPen), gdi::Rop2::CopyPen);
    EXPECT_EQ(c.dc.set_text_align(gdi::TA_BOTTOM), gdi::TA_TOP | gdi::TA_LEFT);
}

// ---- ellipses and rectangles -------------------------------------------------------

TEST(GdiShapes, EllipseFillsItsBoxWithRightAndBottomLeftOut) {
    Canvas c;
    c.dc.select(Pen{PenStyle::Solid, 1, kRed});
    c.dc.select(Brush::solid(kRed));
    c.dc.ellipse(10, 20, 22, 32);
    EXPECT_EQ(c.row(25, 8, 23, kRed), "..############..");
    EXPECT_EQ(c.row(26, 8, 23, kRed), "..############..");
    EXPECT_EQ(c.column(15, 18, 33, kRed), "..############..");
    EXPECT_EQ(c.dc.get_pixel(10, 20), kWhite) << "corners stay out";
    // Symmetric about the box centre.
    for (int y = 20; y < 32; ++y) {
        const std::string right = c.row(y, 16, 21, kRed);
        EXPECT_EQ(c.row(y, 10, 15, kRed), std::string(right.rbegin(), right.rend())) << y;
        EXPECT_EQ(c.row(y, 10, 21, kRed), c.row(51 - y, 10, 21, kRed)) << y;
    }
}

TEST(GdiShapes, EllipseOutlineLiesOnTheOutermostPixelsOfTheShape) {
    Canvas filled;
    filled.dc.select(Pen::null());
    filled.dc.select(Brush::solid(kBlack));
    filled.dc.ellipse(4, 4, 30, 20);

    Canvas ring;
    ring.dc.select(Brush::null());
    ring.dc.ellipse(4, 4, 30, 20);
    EXPECT_EQ(ring.dc.get_pixel(17, 12), kWhite);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 34; ++x) {
            const bool in = filled.dc.get_pixel(x, y) == kBlack;
            bool edge = false;
            for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}})
                edge |= filled.dc.get_pixel(x + dx, y + dy) != kBlack;
            ASSERT_EQ(ring.dc.get_pixel(x, y) == kBlack, in && edge) << x << ", " << y;
        }
}

TEST(GdiShapes, EmptyBoxesDrawNothing) {
    Canvas c;
    c.dc.ellipse(10, 10, 10, 10);
    c.dc.ellipse(10, 10, 20, 10);
    c.dc.rectangle(5, 5, 5, 9);
    EXPECT_EQ(c.count(kWhite), 64 * 48);
}

TEST(GdiShapes, RectangleOutlinesItsBoxAndFillsInside) {
    Canvas c;
    c.dc.select(Brush::solid(kRed));
    c.dc.rectangle(2, 3, 8, 7);
    EXPECT_EQ(c.row(3, 0, 9), "..######..");
    EXPECT_EQ(c.row(4, 0, 9), "..#....#..");
    EXPECT_EQ(c.row(4, 0, 9, kRed), "...####...");
    EXPECT_EQ(c.row(6, 0, 9), "..######..");
    EXPECT_EQ(c.row(7, 0, 9), "..........");

    Canvas n;
    n.dc.select(Pen::null());
    n.dc.select(Brush::solid(kRed));
    n.dc.rectangle(8, 7, 2, 3); // corners in either order
    EXPECT_EQ(n.count(kRed), 24);
}

// ---- raster operations -------------------------------------------------------------

TEST(GdiRop, DrawingTheSameRubberBandTwiceRestoresTheImage) {
    for (auto rop : {gdi::Rop2::XorPen, gdi::Rop2::NotXorPen}) {
        Canvas c;
        // Some content under the band.
        c.dc.select(Brush::solid(gdi::rgb(30, 140, 200)));
        c.dc.rectangle(5, 5, 40, 30);
        c.dc.set_pixel(20, 12, gdi::rgb(7, 8, 9));
        const QImage before = c.snapshot();

        c.dc.set_rop2(rop);
        c.dc.select(Pen{PenStyle::Solid, 0, gdi::rgb(255, 255, 0)});
        c.dc.select(Brush::null());
        const Point box[5] = {{3, 4}, {50, 4}, {50, 40}, {3, 40}, {3, 4}};
        c.dc.polyline(box, 5);
        c.dc.ellipse(10, 8, 31, 29);
        EXPECT_NE(c.snapshot(), before);
        EXPECT_EQ(c.dc.get_pixel(3, 4),
                  rop == gdi::Rop2::XorPen ? gdi::rgb(0, 0, 255) : gdi::rgb(255, 255, 0))
            << "the corner where the band starts and ends is drawn once";
        c.dc.polyline(box, 5);
        c.dc.ellipse(10, 8, 31, 29);
        EXPECT_EQ(c.snapshot(), before) << static_cast<int>(rop);
    }
}

TEST(GdiRop, XorWithYellowFlipsRedAndGreen) {
    Canvas c(4, 4);
    c.dc.clear(gdi::rgb(10, 20, 30));
    c.dc.set_rop2(gdi::Rop2::XorPen);
    c.dc.select(Pen{PenStyle::Solid, 0, 65535});
    const Point line[2] = {{0, 1}, {3, 1}};
    c.dc.polyline(line, 2);
    EXPECT_EQ(c.dc.get_pixel(1, 1), gdi::rgb(255 ^ 10, 255 ^ 20, 30));
    EXPECT_EQ(c.image.pixel(1, 1) >> 24, 0xFFu) << "the image stays opaque";
    c.dc.set_rop2(gdi::Rop2::CopyPen);
    c.dc.polyline(line, 2);
    EXPECT_EQ(c.dc.get_pixel(1, 1), 65535);
}

// ---- text --------------------------------------------------------------------------

struct InkBox {
    int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;
    int other = 0; // pixels neither ink nor paper
};

InkBox ink_of(const Canvas &c, gdi::Colour ink, gdi::Colour paper) {
    InkBox b;
    for (int y = 0; y < c.dc.height(); ++y)
        for (int x = 0; x < c.dc.width(); ++x) {
            const gdi::Colour p = c.dc.get_pixel(x, y);
            if (p == ink) {
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = std::min(b.top, y);
                b.bottom = std::max(b.bottom, y);
            } else if (p != paper) {
                ++b.other;
            }
        }
    return b;
}

TEST(GdiText, BottomLeftAlignmentPutsTheTextAboveAndRightOfThePoint) {
    Canvas c(120, 60);
    c.dc.set_background_mode(gdi::BackgroundMode::Transparent);
    c.dc.set_text_align(gdi::TA_BOTTOM | gdi::TA_LEFT);
    c.dc.select(gdi::Font{"Arial", -11, 500});
    c.dc.set_text_colour(kBlue);
    c.dc.text_out(10, 40, "Jg 4250");
    const InkBox b = ink_of(c, kBlue, kWhite);
    ASSERT_GE(b.right, 0) << "nothing drawn";
    EXPECT_EQ(b.other, 0) << "no antialiasing: only text colour and paper";
    EXPECT_LT(b.bottom, 40);
    EXPECT_GE(b.bottom, 40 - 4) << "descenders reach near the bottom of the cell";
    EXPECT_GE(b.left, 10);
    EXPECT_LE(b.left, 12);
    const gdi::Size box = c.dc.text_extent("Jg 4250");
    EXPECT_GE(b.top, 40 - box.cy);
    EXPECT_LT(b.right, 10 + box.cx);
}

TEST(GdiText, TopAndBaselineAlignment) {
    Canvas top(120, 60);
    top.dc.set_background_mode(gdi::BackgroundMode::Transparent);
    top.dc.select(gdi::Font{"Arial", -11, 0});
    top.dc.text_out(10, 20, "Hg"); // default alignment: top-left
    const InkBox t = ink_of(top, kBlack, kWhite);
    EXPECT_GE(t.top, 20);
    EXPECT_LE(t.top, 23);

    Canvas base(120, 60);
    base.dc.set_background_mode(gdi::BackgroundMode::Transparent);
    base.dc.select(gdi::Font{"Arial", -11, 0});
    base.dc.set_text_align(gdi::TA_BASELINE);
    base.dc.text_out(10, 20, "H");
    const InkBox h = ink_of(base, kBlack, kWhite);
    EXPECT_EQ(h.bottom, 19) << "a capital stands on the baseline";
    EXPECT_EQ(h.bottom - h.top + 1, 8) << "cap height of an 11-pixel Arial";

    Canvas right(120, 60);
    right.dc.set_background_mode(gdi::BackgroundMode::Transparent);
    right.dc.select(gdi::Font{"Arial", -11, 0});
    right.dc.set_text_align(gdi::TA_RIGHT | gdi::TA_TOP);
    right.dc.text_out(100, 20, "H");
    EXPECT_LT(ink_of(right, kBlack, kWhite).right, 100);
    EXPECT_GE(ink_of(right, kBlack, kWhite).right, 95);
}

TEST(GdiText, OpaqueModeFillsTheTextBoxWithTheBackground) {
    Canvas c(120, 60);
    c.dc.set_background_mode(gdi::BackgroundMode::Opaque);
    c.dc.set_background_colour(kGreen);
    c.dc.set_text_colour(kRed);
    c.dc.select(gdi::Font{"Arial", -11, 0});
    c.dc.set_text_align(gdi::TA_BOTTOM | gdi::TA_LEFT);
    c.dc.text_out(10, 40, "50 m.");
    const gdi::Size box = c.dc.text_extent("50 m.");
    EXPECT_EQ(c.count(kGreen) + c.count(kRed), box.cx * box.cy);
    EXPECT_EQ(c.dc.get_pixel(10, 40 - box.cy), kGreen);
    EXPECT_EQ(c.dc.get_pixel(10 + box.cx - 1, 39), kGreen);
    EXPECT_EQ(c.dc.get_pixel(10, 40), kWhite);
    EXPECT_EQ(c.dc.get_pixel(10 + box.cx, 39), kWhite);
}

TEST(GdiText, CharacterHeightSetsTheSizeAndWeightMakesItBolder) {
    Canvas c;
    c.dc.select(gdi::Font{"Arial", -8, 0});
    const gdi::Size small = c.dc.text_extent("0123");
    c.dc.select(gdi::Font{"Arial", -16, 0});
    const gdi::Size large = c.dc.text_extent("0123");
    EXPECT_GT(large.cx, small.cx * 3 / 2);
    EXPECT_GT(large.cy, small.cy * 3 / 2);
    EXPECT_GE(small.cy, 8);
    c.dc.select(gdi::Font{"Arial", 20, 0});
    EXPECT_EQ(c.dc.text_extent("x").cy, 20) << "a positive height is the cell height";

    Canvas normal(120, 40), bold(120, 40);
    normal.dc.select(gdi::Font{"Arial", -16, 400});
    bold.dc.select(gdi::Font{"Arial", -16, 700});
    normal.dc.text_out(2, 2, "HHHH");
    bold.dc.text_out(2, 2, "HHHH");
    EXPECT_GT(bold.count(kBlack), normal.count(kBlack));
}

TEST(GdiText, ArialHasArialsMetrics) {
    // The face is found through the font configuration, which gives a metric-compatible
    // face for Arial: its digits are 0.556 em wide, so ten at 11 pixels take 60.
    Canvas c;
    c.dc.select(gdi::Font{"Arial", -11, 0});
    EXPECT_EQ(c.dc.text_extent("0123456789").cx, 60);
    EXPECT_EQ(c.dc.text_extent("").cx, 0);
}

TEST(GdiText, TextThatIsNotUtf8IsReadAsLatin1) {
    Canvas c;
    c.dc.select(gdi::Font{"Arial", -11, 0});
    EXPECT_EQ(c.dc.text_extent("Caf\xE9"), c.dc.text_extent("Caf\u00e9"));
    EXPECT_GT(c.dc.text_extent("\xE9").cx, 0);
}

TEST(GdiText, TextIsNotSubjectToTheRasterOperation) {
    Canvas c(60, 30);
    c.dc.set_background_mode(gdi::BackgroundMode::Transparent);
    c.dc.set_rop2(gdi::Rop2::XorPen);
    c.dc.select(gdi::Font{"Arial", -11, 0});
    c.dc.set_text_colour(kRed);
    c.dc.text_out(2, 2, "8");
    c.dc.text_out(2, 2, "8");
    EXPECT_GT(c.count(kRed), 10);
}

// ---- the image under the context ---------------------------------------------------

TEST(GdiImage, DirectPixelsAndPaintedPixelsSeeEachOther) {
    Canvas c(20, 10);
    const Point line[2] = {{0, 2}, {10, 2}};
    c.dc.polyline(line, 2);
    c.dc.set_pixel(5, 2, kRed);
    EXPECT_EQ(c.dc.get_pixel(4, 2), kBlack);
    EXPECT_EQ(c.dc.get_pixel(5, 2), kRed);
    c.dc.polyline(line, 2);
    EXPECT_EQ(c.dc.get_pixel(5, 2), kBlack);

    c.dc.image().setPixel(7, 7, qRgb(0, 0, 255)); // written by the window itself
    c.dc.polyline(line, 2);
    EXPECT_EQ(c.dc.get_pixel(7, 7), kBlue);
}

TEST(GdiImage, ACopyTakenThroughImageIsNotChangedByLaterDrawing) {
    Canvas c(20, 10);
    const QImage shallow = c.dc.image(); // shares pixels until one side writes
    const Point line[2] = {{0, 2}, {10, 2}};
    c.dc.polyline(line, 2);
    EXPECT_EQ(shallow.pixel(3, 2), qRgb(255, 255, 255));
    EXPECT_EQ(c.dc.get_pixel(3, 2), kBlack);
}

TEST(GdiImage, ImageReplacedThroughImageIsDrawnOnAfterwards) {
    Canvas c(20, 10);
    c.dc.image() = QImage(30, 15, QImage::Format_RGB32);
    c.dc.clear(kWhite);
    EXPECT_EQ(c.dc.width(), 30);
    const Point line[2] = {{0, 12}, {29, 12}};
    c.dc.polyline(line, 2);
    EXPECT_EQ(c.dc.get_pixel(25, 12), kBlack);
}

TEST(GdiImage, DrawImageCopiesAndStretchesARectangle) {
    Canvas c(20, 10);
    QImage src(2, 1, QImage::Format_RGB32);
    src.setPixel(0, 0, qRgb(255, 0, 0));
    src.setPixel(1, 0, qRgb(0, 0, 255));
    c.dc.set_rop2(gdi::Rop2::XorPen);
    c.dc.draw_image(4, 3, 6, 2, src, 0, 0, 2, 1);
    EXPECT_EQ(c.row(3, 3, 10, kRed), ".###....");
    EXPECT_EQ(c.row(4, 3, 10, kBlue), "....###.");
}

TEST(GdiImage, ANullImageDrawsNothingAndReadsNothing) {
    QImage none;
    gdi::DeviceContext dc(none);
    const Point line[2] = {{0, 0}, {5, 5}};
    dc.polyline(line, 2);
    dc.ellipse(0, 0, 4, 4);
    dc.text_out(0, 0, "x");
    dc.clear(kRed);
    EXPECT_EQ(dc.get_pixel(0, 0), -1);
    EXPECT_EQ(dc.width(), 0);
}

} // namespace
