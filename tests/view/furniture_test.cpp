#include "view/furniture.h"

#include <limits>

#include <gtest/gtest.h>

#include "platform/surface/gdi.h"
#include "state/ui_hooks.h"
#include "view/transform.h"
#include "view_test_support.h"

using state::FurnitureBoxes;
using state::FurnitureSettings;
using state::ViewState;
using view_test::kBarFill;
using view_test::kBlue;
using view_test::kRed;
using view_test::kWhite;

TEST(GridStep, SetSpacingStandsWhileItGivesAtMostFiftyLines) {
    EXPECT_EQ(view::grid_step(50'000, 1000), 1000);
    EXPECT_EQ(view::grid_step(49'000, 1000), 1000);
}

TEST(GridStep, TooFineSpacingIsReplacedByARoundedFiftieth) {
    EXPECT_EQ(view::grid_step(878'800, 1000), 17'500);    // 17,576 cut to hundreds
    EXPECT_EQ(view::grid_step(5'000, 1), 100);            // exactly 100 stays
    EXPECT_EQ(view::grid_step(5'050, 1), 100);            // 101 cut to 100
    EXPECT_EQ(view::grid_step(4'900, 1), 10);             // below 100 becomes 10
    EXPECT_EQ(view::grid_step(60'012'345, 1), 1'200'000); // large: cut to thousands
    EXPECT_EQ(view::grid_step(49'999'900, 1), 999'900);   // just below: hundreds
}

TEST(GridStep, StepIsNeverZeroNegativeOrOutOfRange) {
    EXPECT_EQ(view::grid_step(100, 0), 10);
    EXPECT_EQ(view::grid_step(0, 0), 10);
    EXPECT_GE(view::grid_step(50'000, -1000), 10);
    EXPECT_GE(view::grid_step(0, -5), 10);
    const int32_t huge = view::grid_step(std::numeric_limits<double>::infinity(), 1000);
    EXPECT_GT(huge, 0);
    EXPECT_EQ(huge % 1000, 0);
    EXPECT_GT(view::grid_step(1e300, 1), 0);
}

TEST(GridLabel, CoordinateTextWithSignBlankAndOmittedCharacters) {
    int32_t omit = 0;
    EXPECT_EQ(view::grid_label(37'150'000, 1, omit), " 37150000");
    EXPECT_EQ(view::grid_label(-500, 1, omit), "-500");
    EXPECT_EQ(omit, 0);

    omit = 3;
    EXPECT_EQ(view::grid_label(37'150'000, 1, omit), "150000");
    EXPECT_EQ(view::grid_label(5, 1, omit), " 5"); // not longer than the count: kept

    omit = -2; // nonsense from the settings store drops nothing
    EXPECT_EQ(view::grid_label(1000, 1, omit), " 1000");
}

TEST(GridLabel, PrecisionThreeLabelsInMetresAndSetsOmitCharsForGood) {
    int32_t omit = 0;
    EXPECT_EQ(view::grid_label(37'150'000, 3, omit), "71500");
    EXPECT_EQ(omit, 2);
    EXPECT_EQ(view::grid_label(-37'150'099, 3, omit), "71500");  // truncated toward zero
    EXPECT_EQ(view::grid_label(37'150'000, 1, omit), "7150000"); // the 2 stays
}

TEST(ScaleBarChoice, TableBoundaries) {
    struct Case {
        int32_t m, length;
        const char *label;
        int divisions;
    };
    for (const Case &c :
         {Case{0, 25, "25 cms.", 5}, Case{100, 25, "25 cms.", 5}, Case{101, 50, "50 cms.", 5},
          Case{1'000, 100, "100 cms.", 10}, Case{1'001, 500, "5 m.", 5},
          Case{5'001, 2'000, "20 m.", 10}, Case{25'000, 5'000, "50 m.", 5},
          Case{27'500, 10'000, "100 m.", 10}, Case{25'001, 10'000, "100 m.", 10},
          Case{250'000, 50'000, "500 m.", 5}, Case{1'000'000, 100'000, "1 km.", 10},
          Case{2'500'000, 500'000, "5 km.", 5}, Case{10'000'000, 1'000'000, "10 km.", 10},
          Case{25'000'000, 5'000'000, "50 km.", 5}, Case{100'000'000, 10'000'000, "100 km.", 10},
          Case{250'000'000, 50'000'000, "500 km.", 10},
          Case{250'000'001, 100'000'000, "1000 km.", 10},
          Case{std::numeric_limits<int32_t>::max(), 100'000'000, "1000 km.", 10}}) {
        const view::ScaleBarChoice b = view::choose_scale_bar(c.m);
        EXPECT_EQ(b.length, c.length) << c.m;
        EXPECT_EQ(b.label, c.label) << c.m;
        EXPECT_EQ(b.divisions, c.divisions) << c.m;
    }
}

namespace {

// A prepared view of 600 x 400 pixels, with settings whose parts a test switches on.
class Furniture : public view_test::PaintingTest {
  protected:
    void SetUp() override {
        PaintingTest::SetUp();
        settings.Grid_On = 0;
        settings.Scale_Bar_On = 0;
        settings.North_Point_On = 0;
    }

    void prepare(double x_min, double y_min, int32_t height) {
        v.View_X_Min = x_min;
        v.View_Y_Min = y_min;
        v.View_Height_Units = height;
        dc().select(gdi::Pen::null()); // keep the window border out of the picture
        view::Prepare_View(v, dc(), 600, 400);
        dc().select(gdi::Pen::black());
    }

    void draw() { view::Draw_Grid(v, settings, boxes, dc(), hooks, 0); }

    // Red pixels of row y that lie off the easting lines every `every` pixels.
    int red_between_columns(int y, int every) {
        int n = 0;
        for (int x = 0; x < 600; ++x)
            if (x % every != 0 && dc().get_pixel(x, y) == kRed)
                ++n;
        return n;
    }

    state::ViewState v;
    state::FurnitureSettings settings;
    state::FurnitureBoxes boxes;
    state::UiHooks hooks;
};

} // namespace

TEST(FurnitureDefaults, SettingsStartAtTheStoreDefaults) {
    const state::FurnitureSettings s;
    EXPECT_EQ(s.Grid_On, 1);
    EXPECT_EQ(s.Grid_Spacing, 1000);
    EXPECT_EQ(s.Grid_Labels, 1);
    EXPECT_EQ(s.Grid_Precision, 1);
    EXPECT_EQ(s.Omit_Chars, 0);
    EXPECT_EQ(s.Scale_Bar_On, 1);
    EXPECT_EQ(s.Scale_Bar_Style, 1);
    EXPECT_EQ(s.Bar_Origin_X, 75);
    EXPECT_EQ(s.Bar_Origin_Y, 75);
    EXPECT_EQ(s.North_Point_On, 1);
    EXPECT_EQ(s.Scale_Floating, 0);
}

TEST_F(Furniture, GridLinesThroughZeroAreSolidBlueOthersRedDotted) {
    prepare(-75.0, -50.0, 100); // lines at 0 only, crossing at pixel (300, 200)
    settings.Grid_On = 1;
    settings.Grid_Labels = 0;
    draw();
    EXPECT_EQ(count(kBlue, 0, 200, 599, 200), 600); // northing 0, solid across
    // Easting 0, solid up the window; a line leaves out its last pixel, here the top one.
    EXPECT_EQ(count(kBlue, 300, 1, 300, 399), 399);
    EXPECT_EQ(count(kRed, 0, 0, 599, 399), 0);

    reset(600, 400);
    prepare(1000.0 - 75.0, 1000.0 - 50.0, 100); // the same picture around (1000, 1000)
    draw();
    const int red = count(kRed, 0, 200, 599, 200);
    EXPECT_GT(red, 150); // dotted: many pixels but not all
    EXPECT_LT(red, 600);
    EXPECT_EQ(count(kBlue, 0, 0, 599, 399), 0);
}

TEST_F(Furniture, GridSpacingFollowsTheSettingUpToFiftyLines) {
    // 50,000 units in 400 pixels: lines every 1000 units are every 8 pixels.
    prepare(49'200'000.0, 37'150'000.0, 50'000);
    settings.Grid_On = 1;
    settings.Grid_Labels = 0;
    draw();
    EXPECT_GT(red_between_columns(200, 8), 0);
    EXPECT_GT(red_between_columns(8, 8), 0);
    EXPECT_EQ(red_between_columns(204, 8), 0);
    EXPECT_EQ(red_between_columns(197, 8), 0);
}

TEST_F(Furniture, LabelsSitAboveTheLineToTheRightOfItsEnd) {
    prepare(-75.0, -50.0, 100);
    settings.Grid_On = 1;
    settings.Grid_Labels = 1;
    draw();
    // The northing label " 0" stands on (1, 199); nothing of it lies below the line.
    EXPECT_GT(count(kBlue, 1, 185, 40, 199), 0);
    EXPECT_EQ(count(kBlue, 0, 201, 40, 215), 0);
    // The easting label stands on (301, 399) to the right of the line.
    EXPECT_GT(count(kBlue, 301, 385, 340, 399), 0);
    EXPECT_EQ(count(kBlue, 260, 385, 299, 399), 0);
}

TEST_F(Furniture, NoLabelsWhenTheyAreOffAndPrecisionThreeSetsOmitChars) {
    prepare(-75.0, -50.0, 100);
    settings.Grid_On = 1;
    settings.Grid_Labels = 0;
    settings.Grid_Precision = 3;
    draw();
    EXPECT_EQ(count(kBlue, 1, 185, 40, 199), 0);
    EXPECT_EQ(settings.Omit_Chars, 0); // set only when a label is written

    settings.Grid_Labels = 1;
    draw();
    EXPECT_EQ(settings.Omit_Chars, 2);
}

TEST_F(Furniture, GridLoopStaysBoundedWhateverTheSpacingAndView) {
    // However odd the spacing and the view, the step the grid walks gives a few hundred
    // lines across the view at most (the smallest step, 10 units, may pass the most
    // lines allowed in a small view), and drawing them ends.
    settings.Grid_On = 1;
    settings.Grid_Labels = 1;
    const struct {
        double x_min, y_min;
        int32_t height;
    } views[] = {{49'200'000.0, 36'552'000.0, 878'800},
                 {-1e9, -1e9, 2'000'000'000},
                 {2.1e9, 2.1e9, 2'000'000'000}, // lines beyond the coordinate range
                 {1e15, -1e15, 1'000}};
    for (int32_t spacing : {0, -1000, 1, std::numeric_limits<int32_t>::min()}) {
        settings.Grid_Spacing = spacing;
        for (const auto &v : views) {
            SCOPED_TRACE(spacing);
            const int32_t step = view::grid_step(v.height, spacing);
            EXPECT_GE(step, 10);
            EXPECT_LE(v.height / step, 10 * view::kMaxGridLines);
            prepare(v.x_min, v.y_min, v.height);
            draw();
        }
    }
}

TEST_F(Furniture, ScaleBarBoxAndAlternateDivisions) {
    prepare(0.0, 0.0, 100); // 4 pixels per unit: the 25-unit bar is 100 pixels
    settings.Scale_Bar_On = 1;
    settings.Scale_Bar_Style = 1;
    draw();
    EXPECT_EQ(boxes.bar_left, 76);
    EXPECT_EQ(boxes.bar_top, 68);
    EXPECT_EQ(boxes.bar_right, 176);
    EXPECT_EQ(boxes.bar_bottom, 76);
    EXPECT_DOUBLE_EQ(boxes.bar_rel_x, 76.0 / 600.0);
    EXPECT_DOUBLE_EQ(boxes.bar_rel_y, 76.0 / 400.0);
    // Outline in the blue pen; divisions of 20 pixels, the first, third and fifth filled.
    EXPECT_EQ(dc().get_pixel(106, 76), kBlue);
    EXPECT_EQ(dc().get_pixel(106, 68), kBlue);
    EXPECT_EQ(dc().get_pixel(76, 72), kBlue);
    EXPECT_EQ(dc().get_pixel(86, 72), kBarFill);
    EXPECT_EQ(dc().get_pixel(106, 72), kWhite);
    EXPECT_EQ(dc().get_pixel(126, 72), kBarFill);
    EXPECT_EQ(dc().get_pixel(146, 72), kWhite);
    EXPECT_EQ(dc().get_pixel(166, 72), kBarFill);
    EXPECT_EQ(dc().get_pixel(186, 72), kWhite);
    // "0" left of the bar and the label to its right, both in blue above the bar's top.
    EXPECT_GT(count(kBlue, 68, 52, 76, 66), 0);
    EXPECT_GT(count(kBlue, 184, 52, 240, 66), 0);
    EXPECT_EQ(count(kBlue, 184, 69, 240, 80), 0);
}

TEST_F(Furniture, ScaleBarStyles) {
    settings.Scale_Bar_On = 1;

    settings.Scale_Bar_Style = 0; // wedge rising to the right
    prepare(0.0, 0.0, 100);
    draw();
    EXPECT_EQ(dc().get_pixel(170, 72), kBarFill);
    EXPECT_EQ(dc().get_pixel(82, 71), kWhite);

    reset(600, 400);
    settings.Scale_Bar_Style = 2; // saw-tooth in every division
    prepare(0.0, 0.0, 100);
    draw();
    EXPECT_EQ(dc().get_pixel(96, 72), kBlue);     // division boundary
    EXPECT_EQ(dc().get_pixel(93, 74), kBarFill);  // inside a tooth
    EXPECT_EQ(dc().get_pixel(113, 74), kBarFill); // every division has one
    EXPECT_EQ(dc().get_pixel(79, 70), kWhite);    // above the tooth's slope

    reset(600, 400);
    settings.Scale_Bar_Style = 3; // ticks: odd divisions outlined with a middle line
    prepare(0.0, 0.0, 100);
    draw();
    EXPECT_EQ(dc().get_pixel(86, 72), kBlue);
    EXPECT_EQ(dc().get_pixel(106, 72), kWhite);
    EXPECT_EQ(dc().get_pixel(126, 72), kBlue);
    EXPECT_EQ(count(kBarFill, 76, 68, 176, 76), 0);

    reset(600, 400);
    settings.Scale_Bar_Style = 7; // unknown: outline only
    prepare(0.0, 0.0, 100);
    draw();
    EXPECT_EQ(dc().get_pixel(76, 72), kBlue);
    EXPECT_EQ(count(kBarFill, 76, 68, 176, 76), 0);
    EXPECT_EQ(count(kBlue, 77, 69, 175, 75), 0);
}

TEST_F(Furniture, ScaleBarLengthComesFromTheSmallerExtent) {
    settings.Scale_Bar_On = 1;
    prepare(0.0, 0.0, 27'500); // width 41,250: the 100 m bar
    draw();
    EXPECT_EQ(boxes.bar_right - boxes.bar_left, 145); // 10,000 x 400 / 27,500

    reset(400, 600);
    v = state::ViewState{};
    v.View_Height_Units = 37'500;
    view::Prepare_View(v, dc(), 400, 600); // width 25,000 is the smaller: the 50 m bar
    draw();
    EXPECT_EQ(boxes.bar_right - boxes.bar_left, 80); // 5,000 x 600 / 37,500
}

TEST_F(Furniture, ScaleBarBelowTheWindowMovesBackInside) {
    settings.Scale_Bar_On = 1;
    settings.Bar_Origin_Y = 500;
    prepare(0.0, 0.0, 100);
    draw();
    EXPECT_EQ(boxes.bar_bottom, 380);
    EXPECT_EQ(dc().get_pixel(86, 376), kBarFill);
}

TEST_F(Furniture, NorthPointDrawnWithTheScaleBar) {
    settings.Scale_Bar_On = 1;
    settings.North_Point_On = 1;
    prepare(0.0, 0.0, 100);
    draw();
    EXPECT_EQ(boxes.north_left, 55);
    EXPECT_EQ(boxes.north_top, 45);
    EXPECT_EQ(boxes.north_right, 67);
    EXPECT_EQ(boxes.north_bottom, 95);
    EXPECT_EQ(dc().get_pixel(58, 60), kBarFill); // right half of the head
    EXPECT_EQ(dc().get_pixel(52, 60), kBarFill); // left half
    EXPECT_EQ(dc().get_pixel(58, 70), kWhite);   // the notch between the barbs
    EXPECT_EQ(dc().get_pixel(55, 90), kBlue);    // shaft
    EXPECT_EQ(dc().get_pixel(55, 50), kBlue);
    EXPECT_EQ(dc().get_pixel(67, 82), kBlue); // barb tip on the outline
    EXPECT_EQ(dc().get_pixel(55, 97), kWhite);
}

TEST_F(Furniture, NoNorthPointWithoutTheScaleBar) {
    settings.Scale_Bar_On = 0;
    settings.North_Point_On = 1;
    prepare(0.0, 0.0, 100);
    draw();
    EXPECT_EQ(count(kBlue, 40, 40, 70, 100), 0);
    EXPECT_EQ(count(kBarFill, 40, 40, 70, 100), 0);
    EXPECT_EQ(boxes.north_bottom, 0);
    EXPECT_EQ(boxes.bar_right, 0);
}

TEST_F(Furniture, DrawGridLetsPendingEventsRunOnceAndLeavesTheLabelFontSelected) {
    int events = 0;
    hooks.process_events = [&] { ++events; };
    prepare(0.0, 0.0, 100);
    draw();
    EXPECT_EQ(events, 1);
    EXPECT_EQ(dc().font(), (gdi::Font{"Arial", -11, 500}));
    EXPECT_EQ(dc().pen(), gdi::Pen::black());
}
