// The list of drawn objects taken from the drawings' indexes.
#include <gtest/gtest.h>

#include <fstream>

#include "drawing/object_list.h"
#include "drawing_test_support.h"
#include "tools/writers/companions.h"

using drawing::IndexRecord;
using drawtest::ScratchDir;

namespace {

IndexRecord record(int16_t kind, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const char *name,
                   int32_t unit = 7, int16_t value = 3) {
    IndexRecord r;
    r.kind = kind;
    r.x_min = x0, r.y_min = y0, r.x_max = x1, r.y_max = y1;
    r.first_unit = unit;
    r.group_value = value;
    r.name = drawing::text12(name);
    return r;
}

} // namespace

TEST(ObjectList, CentresAndSizesInWholeUnitsSkippingWhatTheListShowsNot) {
    ScratchDir dir;
    const std::string drw = dir.file("sites.drw");
    ASSERT_TRUE(writers::write_index(
        dir.path() / "sites.zix",
        {record(1, 0, 0, 10, 10, "256 LAYERS"),            // the first record: never listed
         record(1, 1000, 500, 2001, 900, "RE0012", 41, 9), // centre 1500, width 1001
         record(10, 1000, 2000, 2000, 4000, "FINE"),       // tenths: centre 150, width 100
         record(0, 3000, 3000, 3101, 3200, "KIND 0"),      // drawn, so listed, in whole units
         record(1, 5, 5, 9, 9, "   ")},
        false));
    // A torn last record is not listed either.
    std::ofstream(dir.path() / "sites.zix", std::ios::app | std::ios::binary) << "torn";
    state::DrawingTable table;
    state::DrawingEntry e;
    e.file_name = "  " + drw + " ";
    table.add(e);
    table.add(e);

    const auto rows = drawing::list_objects(table, 2);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, "RE0012      ");
    EXPECT_EQ(rows[0].centre_x, 1500);
    EXPECT_EQ(rows[0].centre_y, 700);
    EXPECT_EQ(rows[0].width, 1001);
    EXPECT_EQ(rows[0].height, 400);
    EXPECT_EQ(rows[0].first_unit, 41);
    EXPECT_EQ(rows[0].group_value, 9);
    EXPECT_EQ(rows[0].drawing, 2);
    EXPECT_EQ(rows[1].centre_x, 150);
    EXPECT_EQ(rows[1].width, 100);
    EXPECT_EQ(rows[1].height, 200);
    EXPECT_EQ(rows[2].centre_x, 3050);
    EXPECT_EQ(rows[2].centre_y, 3100);
    EXPECT_EQ(rows[2].width, 101);
    EXPECT_EQ(drawing::site_codes(rows), std::vector<std::string>{"RE0012"});

    EXPECT_TRUE(drawing::list_objects(table, 3).empty()); // no such drawing
    table.entry(1).file_name = dir.file("absent.drw");
    EXPECT_TRUE(drawing::list_objects(table, 1).empty());
}
