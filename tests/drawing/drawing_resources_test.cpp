#include <gtest/gtest.h>

#include "drawing/map_fonts.h"
#include "drawing/patterns.h"
#include "drawing/symbols.h"
#include "platform/gdi_test_util.h"

namespace {

using namespace gdi_test;
using gdi::Brush;
using gdi::Point;

// ---- fill patterns -----------------------------------------------------------------

TEST(PatternBrushes, MonoEntriesCarryTheirBitmapsAndTheRestAreSolid) {
    for (int k = 0; k < drawing::Mono_Pattern_Count; ++k) {
        EXPECT_EQ(drawing::Pattern_Brushes[static_cast<size_t>(k)].style, Brush::Style::Pattern);
        EXPECT_EQ(drawing::Pattern_Brushes[static_cast<size_t>(k)].pattern,
                  drawing::pattern_bits(k));
    }
    for (int k = drawing::Mono_Pattern_Count; k < drawing::Pattern_Count; ++k)
        EXPECT_EQ(drawing::Pattern_Brushes[static_cast<size_t>(k)], Brush::solid(0)) << k;

    EXPECT_EQ(drawing::pattern_bits(2),
              (gdi::PatternBits{0x88, 0x00, 0x22, 0x00, 0x88, 0x00, 0x22, 0x00}));
    EXPECT_EQ(drawing::pattern_bits(16),
              (gdi::PatternBits{0x7E, 0xFF, 0xFF, 0xE7, 0xE7, 0xFF, 0xFF, 0x7E}));
    EXPECT_EQ(drawing::pattern_bits(39),
              (gdi::PatternBits{0x08, 0x14, 0x22, 0x41, 0x82, 0x44, 0x28, 0x10}));
    EXPECT_EQ(drawing::pattern_bits(43),
              (gdi::PatternBits{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(drawing::pattern_bits(0), gdi::PatternBits{});
    EXPECT_EQ(drawing::pattern_bits(1), gdi::PatternBits{});
}

TEST(PatternBrushes, BrushForAnEntryInAColour) {
    const gdi::Colour c = gdi::rgb(12, 34, 56);
    EXPECT_EQ(drawing::pattern_brush(44, c), Brush::solid(c));
    EXPECT_EQ(drawing::pattern_brush(55, c), Brush::solid(c));
    const Brush b = drawing::pattern_brush(7, c);
    EXPECT_EQ(b.style, Brush::Style::Pattern);
    EXPECT_EQ(b.pattern, drawing::pattern_bits(7));
}

TEST(PatternBrushes, EntriesOutsideTheTableAreTakenAsTheNearestEnd) {
    const gdi::Colour c = gdi::rgb(1, 2, 3);
    EXPECT_EQ(drawing::pattern_brush(60, c), drawing::pattern_brush(55, c));
    EXPECT_EQ(drawing::pattern_brush(255, c), drawing::pattern_brush(55, c));
    EXPECT_EQ(drawing::pattern_brush(-3, c), drawing::pattern_brush(0, c));
    EXPECT_EQ(drawing::pattern_bits(1000), drawing::pattern_bits(55));
    EXPECT_EQ(drawing::pattern_bits(-1), drawing::pattern_bits(0));
}

// Fills a box the way polygon filling does: pattern brush, text colour = object colour.
void fill_with(Canvas &c, int entry, gdi::Colour colour) {
    c.dc.select(gdi::Pen::null());
    c.dc.select(drawing::pattern_brush(entry, colour));
    c.dc.set_text_colour(colour);
    const Point box[5] = {{0, 0}, {24, 0}, {24, 16}, {0, 16}, {0, 0}};
    c.dc.polygon(box, 5);
    c.dc.select(Brush::black());
    c.dc.select(gdi::Pen::black());
}

TEST(PatternBrushes, SolidEntriesFillInTheObjectColour) {
    for (int entry : {44, 50, 55, 1}) {
        Canvas c(30, 20);
        fill_with(c, entry, kRed);
        EXPECT_EQ(c.count(kRed), 24 * 16) << entry;
    }
}

TEST(PatternBrushes, PatternFillShowsTheObjectColourOnWhite) {
    Canvas c(30, 20);
    c.dc.set_background_mode(gdi::BackgroundMode::Transparent);
    fill_with(c, 42, kBlue); // F0 on every row: four white, four coloured
    EXPECT_EQ(c.row(5, 0, 15, kWhite), "####....####....");
    EXPECT_EQ(c.row(5, 0, 15, kBlue), "....####....####");

    Canvas d(30, 20);
    fill_with(d, 43, kRed); // FF FF FF FF 00 00 00 00: white top half, colour below
    EXPECT_EQ(d.column(3, 0, 15, kRed), "....####....####");
}

// ---- point symbol ------------------------------------------------------------------

TEST(PointSymbol, SizeThreeIsACircleTwelvePixelsAcross) {
    Canvas c;
    const gdi::Colour col = gdi::rgb(200, 40, 10);
    drawing::Plot_A_Symbol(c.dc, 1, 3, 30, 20, col);
    EXPECT_EQ(c.row(20, 22, 37, col), "..############..");
    EXPECT_EQ(c.column(30, 12, 27, col), "..############..");
    EXPECT_EQ(c.count(col) + c.count(kWhite), 64 * 48) << "one colour, no edge shades";
    EXPECT_EQ(c.dc.get_pixel(24, 14), kWhite) << "round, not square";
}

TEST(PointSymbol, SizeZeroShowsNothing) {
    Canvas c;
    drawing::Plot_A_Symbol(c.dc, 1, 0, 30, 20, kRed);
    EXPECT_EQ(c.count(kWhite), 64 * 48);
}

TEST(PointSymbol, StockPenAndBrushAreSelectedAfterwards) {
    Canvas c;
    drawing::Plot_A_Symbol(c.dc, 1, 2, 10, 10, kRed);
    drawing::Plot_A_Symbol(c.dc, 4, 1, 30, 10, kGreen);
    EXPECT_EQ(c.dc.pen(), gdi::Pen::black());
    EXPECT_EQ(c.dc.brush(), Brush::black());
    EXPECT_EQ(c.dc.text_colour(), kGreen);
    EXPECT_EQ(c.dc.get_pixel(10, 10), kRed);
    EXPECT_EQ(c.dc.get_pixel(30, 10), kGreen);
}

TEST(PointSymbol, FarOffCentresDoNotOverflow) {
    Canvas c;
    drawing::Plot_A_Symbol(c.dc, 1, 32767, INT32_MAX, INT32_MIN, kRed);
    drawing::Plot_A_Symbol(c.dc, 1, -32768, INT32_MIN, INT32_MAX, kRed);
    EXPECT_EQ(c.count(kWhite), 64 * 48);
    drawing::Plot_A_Symbol(c.dc, 1, 32767, 0, 0, kRed); // covers the window
    EXPECT_EQ(c.count(kRed), 64 * 48);
}

// ---- map fonts ---------------------------------------------------------------------

TEST(MapFonts, CreateNotesTheInitialFontAndSelectsTheLabelFont) {
    Canvas c;
    const gdi::Font before{"Courier", -10, 0};
    c.dc.select(before);
    drawing::MapFonts fonts;
    drawing::create_map_fonts(c.dc, fonts);
    EXPECT_EQ(fonts.Initial_Font, before);
    EXPECT_EQ(fonts.Label_Font, (gdi::Font{"Arial", -8, 0}));
    EXPECT_EQ(c.dc.font(), fonts.Label_Font);
    EXPECT_EQ(c.dc.set_background_mode(gdi::BackgroundMode::Opaque),
              gdi::BackgroundMode::Transparent);

    c.dc.select(drawing::grid_label_font());
    c.dc.select(Brush::solid(kRed));
    drawing::release_map_fonts(c.dc, fonts);
    EXPECT_EQ(c.dc.font(), before);
    EXPECT_EQ(c.dc.brush(), Brush::black());
}

TEST(MapFonts, GridLabelsAreEightPointsAtNinetySixDotsPerInch) {
    EXPECT_EQ(drawing::grid_label_font(), (gdi::Font{"Arial", -11, 500}));
    EXPECT_EQ(drawing::map_label_font(), (gdi::Font{"Arial", -8, 0}));
}

} // namespace
