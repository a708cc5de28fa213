// Flashing drawn objects: by reference through the object table, by the unit their group
// starts at, and what a missing table or drawing does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drawing/flash.h"
#include "drawing_test_support.h"
#include "tools/writers/companions.h"
#include "tools/writers/drw_writer.h"

using namespace drawtest;

namespace {

using Points = std::vector<ZT_Point3>;

constexpr gdi::Colour kFlashRgb = drawing::kFlashColour;

class Flash : public ::testing::Test {
  protected:
    // Three groups holding F1 (one of them twice: two records), one group of kind 10
    // holding F2, and a group without a reference.
    void SetUp() override {
        writers::DrwWriter w;
        for (int g = 0; g < 3; ++g) {
            w.begin_group(1, "F1");
            w.polygon(Points{at(10 + 60 * g, 10), at(50 + 60 * g, 10), at(50 + 60 * g, 40)},
                      writers::header({.colour = kBlue, .fill = 44, .reference = "F1"}));
        }
        w.begin_group(10, "FINE");
        w.polygon(Points{at_tenths(20, 60), at_tenths(60, 60), at_tenths(60, 90)},
                  writers::header({.colour = kRed, .reference = "F2"}));
        w.end_mark();
        drw_ = dir_.file("flash.drw");
        ASSERT_TRUE(w.save(drw_));
        rows_ = w.object_rows();
        ASSERT_TRUE(writers::write_object_table(files::with_extension3(drw_, "dbf"), rows_));
        state::DrawingEntry e;
        e.file_name = drw_;
        map_.drawings.add(e);
        // What each pass leaves at the probe point.
        map_.on_events = [this] { seen_.push_back(map_.pixel(probe_x_, probe_y_)); };
    }

    void flash(int32_t drnum, const std::string &ref, int32_t seekto) {
        auto ctx = map_.context();
        drawing::Flash_DRW(ctx, drnum, ref, seekto);
    }
    int32_t first_unit_of(const std::string &ref, int k = 0) const {
        for (const auto &r : rows_)
            if (r.reference == ref && k-- == 0)
                return r.first_unit;
        return 0;
    }

    ScratchDir dir_;
    MapWindow map_;
    std::string drw_;
    std::vector<writers::ObjectTableRow> rows_;
    int probe_x_ = 40, probe_y_ = 20; // inside the first triangle
    std::vector<gdi::Colour> seen_;
};

TEST_F(Flash, EveryGroupOfAReferenceFlashesYellowThenInItsOwnColours) {
    const gdi::Colour blue = map_.options.Drawing_Palette[kBlue];
    flash(1, "F1", 0);
    // Three groups, two passes each (the probe lies in the first), then the events
    // after the last.
    EXPECT_EQ(seen_, (std::vector<gdi::Colour>{kFlashRgb, blue, blue, blue, blue, blue, blue}));
    EXPECT_TRUE(map_.options.Polygon_Filling); // as it was
    EXPECT_EQ(map_.options.Forced_Colour, 0);
}

TEST_F(Flash, EachPassIsShownBeforeItsPauseNotAfter) {
    // The pause comes between the showing and the events: what is seen first is seen for
    // the whole pause.
    std::vector<std::string> steps;
    map_.ui.show_picture = [&] {
        steps.push_back(map_.pixel(probe_x_, probe_y_) == kFlashRgb ? "show highlight" : "show");
    };
    map_.on_events = [&] { steps.push_back("events"); };
    flash(1, "", first_unit_of("F1"));
    EXPECT_EQ(steps, (std::vector<std::string>{"show highlight", "events", "show", "events"}));
}

TEST_F(Flash, AUnitNumberFlashesThatGroupAloneWithoutTheTable) {
    std::filesystem::remove(files::with_extension3(drw_, "dbf"));
    probe_x_ = 100; // inside the second triangle
    flash(1, "", first_unit_of("F1", 1));
    EXPECT_EQ(seen_, (std::vector<gdi::Colour>{kFlashRgb, map_.options.Drawing_Palette[kBlue]}));
    EXPECT_EQ(map_.pixel(40, 20), kWhite); // the first group was not drawn
}

TEST_F(Flash, AGroupInTenthsLeavesTheViewInWholeUnits) {
    flash(1, "F2", 0);
    EXPECT_EQ(seen_.size(), 3u);
    EXPECT_EQ(map_.view.Fine_Units, 0);
    EXPECT_EQ(map_.view.View_Height_Units, kHeight);
}

TEST_F(Flash, WhatCannotBeFoundDrawsNothingAndCreatesNothing) {
    flash(1, "NOSUCH", 0);
    flash(2, "F1", 0); // no such drawing
    std::filesystem::remove(files::with_extension3(drw_, "dbf"));
    flash(1, "F1", 0);
    std::filesystem::remove(drw_);
    flash(1, "", 5);
    EXPECT_EQ(map_.painted(), 0);
    EXPECT_FALSE(std::filesystem::exists(drw_));
    EXPECT_FALSE(std::filesystem::exists(files::with_extension3(drw_, "dbf")));
    EXPECT_EQ(map_.messages.size(), 4u);
}

} // namespace
