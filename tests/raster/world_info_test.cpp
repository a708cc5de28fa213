#include "raster/world_info.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/base/files.h"
#include "raster_test_support.h"

using raster::parse_world_info;
using raster::WorldInfoError;

TEST(WorldInfo, ReadsAllSixteenItemsAndPlacesTheImage) {
    const auto r = parse_world_info("\"Town plan, 1850\"\n"
                                    "100000\n200000\n25\n25\n400\n300\n"
                                    "1.5\n-250.25\n4000\n-7\n8\n9\n10\n1234\n20\n");
    ASSERT_TRUE(r.info.has_value());
    const auto &w = *r.info;
    EXPECT_EQ(w.description, "Town plan, 1850"); // a quoted item keeps its comma
    EXPECT_EQ(w.west, 100000);
    EXPECT_EQ(w.south, 200000);
    EXPECT_FLOAT_EQ(w.pixel_width, 25.0f);
    EXPECT_FLOAT_EQ(w.pixel_height, 25.0f);
    EXPECT_EQ(w.columns, 400);
    EXPECT_EQ(w.rows, 300);
    EXPECT_EQ(w.east, 110000);
    EXPECT_EQ(w.north, 207500);
    EXPECT_FLOAT_EQ(w.value_8, 1.5f);
    EXPECT_FLOAT_EQ(w.lowest_height, -250.25f);
    EXPECT_FLOAT_EQ(w.highest_height, 4000.0f);
    EXPECT_EQ(w.value_11, -7);
    EXPECT_EQ(w.raster_class, 8);
    EXPECT_EQ(w.value_13, 9);
    EXPECT_EQ(w.value_14, 10);
    EXPECT_EQ(w.value_15, 1234);
    EXPECT_EQ(w.height_kind, 20);
}

TEST(WorldInfo, ItemsMayShareLinesAndBlankLinesAndExtraItemsChangeNothing) {
    const std::string one_line = "plan,10,20,2.5,0.5,3,5,0,0,0,0,0,0,0,0,13";
    const auto a = parse_world_info(one_line);
    const auto b = parse_world_info("plan\r\n\r\n10,20\r\n2.5 , 0.5\r\n3,5\r\n"
                                    "0,0,0,0,0,0,0,0,13\r\nextra,99\r\n");
    ASSERT_TRUE(a.info && b.info);
    for (const auto *w : {&*a.info, &*b.info}) {
        EXPECT_EQ(w->description, "plan");
        EXPECT_EQ(w->east, 18);  // 10 + 3 x 2.5 = 17.5, halves go to the even neighbour
        EXPECT_EQ(w->north, 22); // 20 + 5 x 0.5 = 22.5
        EXPECT_EQ(w->height_kind, 13);
    }
    // An empty item reads as 0 for a number.
    const auto c = parse_world_info("plan,10,20,1,1,3,5,,,,,,,,,");
    ASSERT_TRUE(c.info);
    EXPECT_EQ(c.info->height_kind, 0);
    EXPECT_EQ(c.info->east, 13);
}

TEST(WorldInfo, AShortOrMissingFileIsIncompleteAndSaysWhich) {
    EXPECT_EQ(parse_world_info("").error, WorldInfoError::Incomplete);
    const auto fifteen = parse_world_info("plan,10,20,1,1,3,5,0,0,0,0,0,0,0,0");
    EXPECT_FALSE(fifteen.info);
    EXPECT_EQ(fifteen.error, WorldInfoError::Incomplete);

    raster_test::TempFolder t;
    const std::string missing = t.folder() + "nothing.zwi";
    const auto r = raster::read_world_info(missing);
    EXPECT_FALSE(r.info);
    EXPECT_EQ(raster::world_info_message(r.error, missing),
              "World info missing or incomplete: " + missing);

    // A device or a pipe in a world file's place is not read at all (/dev/zero would be
    // read until memory ran out, a pipe would block for ever); nor is a file far too
    // large to be a world file.
    const std::string zero = t.folder() + "zero.zwi";
    std::filesystem::create_symlink("/dev/zero", zero);
    const std::string pipe = t.folder() + "pipe.zwi";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string huge = t.folder() + "huge.zwi";
    {
        std::ofstream out(huge);
        out << "plan,10,20,1,1,3,5,0,0,0,0,0,0,0,0,0\n";
    }
    std::filesystem::resize_file(huge, files::kTextFileLimit + 1);
    for (const std::string &name : {zero, pipe, huge})
        EXPECT_EQ(raster::read_world_info(name).error, WorldInfoError::Incomplete) << name;
}

TEST(WorldInfo, ValuesThatCannotPlaceAnImageMakeItUnusable) {
    const auto with = [](const std::string &w, const std::string &s, const std::string &pw,
                         const std::string &ph, const std::string &cols, const std::string &rows,
                         const std::string &item12) {
        return parse_world_info("d," + w + "," + s + "," + pw + "," + ph + "," + cols + "," + rows +
                                ",0,0,0,0," + item12 + ",0,0,0,20");
    };
    EXPECT_TRUE(with("0", "0", "1", "1", "4", "4", "8").info);
    EXPECT_EQ(with("0", "0", "0", "1", "4", "4", "8").error, WorldInfoError::Unusable);
    EXPECT_EQ(with("0", "0", "1", "-2", "4", "4", "8").error, WorldInfoError::Unusable);
    EXPECT_EQ(with("0", "0", "1", "1", "0", "4", "8").error, WorldInfoError::Unusable);
    EXPECT_EQ(with("abc", "0", "1", "1", "4", "4", "8").error, WorldInfoError::Unusable);
    EXPECT_EQ(with("0", "0", "1", "1", "4", "4", "300").error, WorldInfoError::Unusable);
    EXPECT_EQ(with("3000000000", "0", "1", "1", "4", "4", "8").error, WorldInfoError::Unusable);
    // An east edge beyond the grid's 32-bit range.
    EXPECT_EQ(with("2147483000", "0", "10", "1", "400", "4", "8").error, WorldInfoError::Unusable);
    EXPECT_EQ(raster::world_info_message(WorldInfoError::Unusable, "a.zwi"),
              "World info not usable: a.zwi");
}

TEST(WorldInfo, TheDescriptionIsCutTo512Characters) {
    const std::string longer(600, 'x');
    const auto r = parse_world_info(longer + ",0,0,1,1,1,1,0,0,0,0,0,0,0,0,0");
    ASSERT_TRUE(r.info);
    EXPECT_EQ(r.info->description, std::string(512, 'x'));
}
