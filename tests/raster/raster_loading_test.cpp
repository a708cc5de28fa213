#include "raster/raster_loading.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "raster_test_support.h"

using raster::Load_A_Lead_Raster;
using raster_test::Recorder;
using raster_test::TempFolder;
using raster_test::Zwi;
using state::RasterTable;

namespace {

// A 4 x 3 paletted image and its world-information file.
void make_raster(const TempFolder &t, const std::string &base, const Zwi &zwi = Zwi{}) {
    raster_test::write_paletted(t.folder() + base + ".tif", 4, 3, {{0, 0, 0}, {255, 0, 0}},
                                [](int x, int) { return static_cast<uint8_t>(x % 2); });
    t.write(base + ".zwi", zwi.text());
}

Zwi placed_at(int32_t west, int32_t south) {
    Zwi z;
    z.west = west;
    z.south = south;
    z.pixel_width = 25;
    z.pixel_height = 25;
    z.columns = 4;
    z.rows = 3;
    z.raster_class = 2;
    z.kind = 7;
    return z;
}

const state::ViewState kNoWindow{}; // no device context: loading paints nothing

} // namespace

TEST(RasterLoading, SingleModeEntersThePlacedTifImageAndRestoresThePointer) {
    TempFolder t;
    make_raster(t, "base", placed_at(100000, 200000));
    // A JPEG beside it loses to the TIFF.
    raster_test::write_rgb(t.folder() + "base.jpg", 2, 2,
                           [](int, int) { return raster_test::Rgb{}; });
    state::RasterTable table;
    Recorder rec;
    Load_A_Lead_Raster(table, t.folder() + "base.zwi", kNoWindow, rec.ui());
    ASSERT_EQ(table.count(), 1);
    const auto &e = table.entry(1);
    EXPECT_EQ(e.file_name, t.folder() + "base.tif");
    EXPECT_EQ(e.west, 100000);
    EXPECT_EQ(e.east, 100100);
    EXPECT_EQ(e.north, 200075);
    EXPECT_EQ(e.raster_class, 2); // single mode keeps the file's item 12
    EXPECT_EQ(e.height_kind, 7);
    EXPECT_EQ(e.display, 1);
    EXPECT_EQ(e.from_list, 0);
    ASSERT_TRUE(e.bitmap && e.bitmap->is_open());
    EXPECT_EQ(e.bitmap->info().width, 4);
    EXPECT_TRUE(rec.messages.empty());
    EXPECT_EQ(rec.pointers, std::vector<int>{2}); // the user's cursor style + 1
}

TEST(RasterLoading, TheImageIsTifElseCmpElseJpgWhetherOrNotItExists) {
    TempFolder t;
    t.write("a.cmp", "x");
    t.write("a.jpg", "x");
    EXPECT_EQ(raster::image_for_world_info(t.folder() + "a.zwi"), t.folder() + "a.cmp");
    t.write("A.TIF", "x"); // names on data discs come in any case
    EXPECT_EQ(raster::image_for_world_info(t.folder() + "a.zwi"), t.folder() + "a.tif");
    EXPECT_EQ(raster::image_for_world_info(t.folder() + "b.zwi"), t.folder() + "b.jpg");
}

TEST(RasterLoading, AnUnreadableCmpImageIsReportedTenTimesThenNotLoaded) {
    TempFolder t;
    t.write("old.cmp", "CMP1 compressed picture that nothing here reads");
    t.write("old.zwi", placed_at(0, 0).text());
    state::RasterTable table;
    Recorder rec;
    Load_A_Lead_Raster(table, t.folder() + "old.zwi", kNoWindow, rec.ui());
    EXPECT_EQ(table.count(), 0);
    const std::string image = t.folder() + "old.cmp";
    ASSERT_EQ(rec.messages.size(), 11u);
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(rec.messages[static_cast<size_t>(k)], "Image Open Error -3 Reading " + image);
    EXPECT_EQ(rec.messages.back(), image + " failed load error -3");
    EXPECT_EQ(rec.beeps, 10);
    EXPECT_EQ(rec.pointers, std::vector<int>{2});
}

TEST(RasterLoading, AMissingImageFallsBackToJpgAndIsReportedNotFound) {
    TempFolder t;
    t.write("gone.zwi", placed_at(0, 0).text());
    state::RasterTable table;
    Recorder rec;
    Load_A_Lead_Raster(table, t.folder() + "gone.zwi", kNoWindow, rec.ui());
    EXPECT_EQ(table.count(), 0);
    ASSERT_FALSE(rec.messages.empty());
    EXPECT_EQ(rec.messages.front(), "Image Open Error -2 Reading " + t.folder() + "gone.jpg");
    EXPECT_EQ(rec.messages.back(), t.folder() + "gone.jpg failed load error -2");
}

TEST(RasterLoading, AMissingOrShortWorldInfoFileSkipsTheRasterWithAMessage) {
    TempFolder t;
    make_raster(t, "short");
    t.write("short.zwi", "\"only\",1,2,3\n");
    state::RasterTable table;
    Recorder rec;
    Load_A_Lead_Raster(table, t.folder() + "short.zwi", kNoWindow, rec.ui());
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(rec.messages, std::vector<std::string>{
                                "World info missing or incomplete: " + t.folder() + "short.zwi"});
    EXPECT_EQ(rec.pointers, std::vector<int>{2});

    // The image is there but its world-information file is not (only in a list, where
    // the image is named first).
    make_raster(t, "lost");
    std::filesystem::remove(t.path() / "lost.zwi");
    make_raster(t, "kept", placed_at(0, 0));
    t.write("two.rls", "lost.tif\nkept.tif\n");
    Recorder rec2;
    Load_A_Lead_Raster(table, t.folder() + "two.rls", kNoWindow, rec2.ui());
    ASSERT_EQ(table.count(), 1);
    EXPECT_EQ(table.entry(1).file_name, t.folder() + "kept.tif");
    EXPECT_EQ(rec2.messages[1], "World info missing or incomplete: " + t.folder() + "lost.zwi");
}

TEST(RasterLoading, TheSameSingleRasterTwiceIsRefusedButAListLoadsWhatItNames) {
    TempFolder t;
    make_raster(t, "base", placed_at(0, 0));
    state::RasterTable table;
    Recorder rec;
    Load_A_Lead_Raster(table, t.folder() + "base.zwi", kNoWindow, rec.ui());
    Load_A_Lead_Raster(table, t.folder() + "base.zwi", kNoWindow, rec.ui());
    EXPECT_EQ(table.count(), 1);
    EXPECT_EQ(rec.messages,
              std::vector<std::string>{"Raster " + t.folder() + "base.tif allready  loaded !!"});

    t.write("again.rls", "base.tif,base.tif");
    Load_A_Lead_Raster(table, t.folder() + "again.rls", kNoWindow, rec.ui());
    EXPECT_EQ(table.count(), 3);
}

TEST(RasterLoading, ListModeLoadsEachNamedImageAndGoesOnPastFailures) {
    TempFolder t;
    std::filesystem::create_directory(t.path() / "tiles");
    Zwi a = placed_at(0, 0);
    a.raster_class = 0;
    make_raster(t, "tiles/a", a);
    raster_test::write_int16(t.folder() + "tiles/b.tif", 2, 2, [](int, int) { return int16_t{1}; });
    t.write("tiles/b.zwi", placed_at(100, 0).text());
    // A list named like a world-information file is still a list.
    const std::string list =
        t.write("maps.rls.zwi", " tiles\\a.tif \n\n tiles/missing.tif, tiles/b.tif\n");
    state::RasterTable table;
    Recorder rec;
    Load_A_Lead_Raster(table, list, kNoWindow, rec.ui());

    ASSERT_EQ(table.count(), 2);
    const std::string dir = t.folder();
    EXPECT_EQ(rec.messages,
              (std::vector<std::string>{
                  "Loading: " + dir + "tiles\\a.tif", "Loading: " + dir + "tiles/missing.tif",
                  dir + "tiles/missing.tif failed to load! loaderror -2",
                  "Loading: " + dir + "tiles/b.tif", "Raster list loaded: " + list}));
    EXPECT_EQ(rec.beeps, 0);
    const auto &first = table.entry(1);
    EXPECT_EQ(first.file_name, dir + "tiles\\a.tif");
    EXPECT_EQ(first.from_list, 1);
    EXPECT_EQ(first.display, 1);
    // Item 12 comes from the image: 8 bits for the paletted one, 16 for the heights.
    EXPECT_EQ(first.raster_class, 8);
    EXPECT_EQ(table.entry(2).raster_class, 16);
    EXPECT_EQ(table.entry(2).west, 100);
    EXPECT_EQ(rec.pointers, std::vector<int>{2});
}

TEST(RasterLoading, AMissingListIsReportedAndLoadsNothing) {
    TempFolder t;
    state::RasterTable table;
    Recorder rec;
    Load_A_Lead_Raster(table, t.folder() + "none.RLS", kNoWindow, rec.ui());
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(rec.messages,
              std::vector<std::string>{"Raster list missing: " + t.folder() + "none.RLS"});
}

TEST(RasterLoading, TheTableIsBoundedAndRefusesRastersBeyondIt) {
    EXPECT_EQ(state::RasterTable().capacity(), state::RasterTable::kMaxRasters);
    TempFolder t;
    for (const char *name : {"r1", "r2", "r3", "r4"})
        make_raster(t, name, placed_at(0, 0));
    state::RasterTable table(2);
    Recorder rec;
    Load_A_Lead_Raster(table, t.folder() + "r1.zwi", kNoWindow, rec.ui());
    Load_A_Lead_Raster(table, t.folder() + "r2.zwi", kNoWindow, rec.ui());
    Load_A_Lead_Raster(table, t.folder() + "r3.zwi", kNoWindow, rec.ui());
    EXPECT_EQ(table.count(), 2);
    EXPECT_EQ(rec.messages,
              std::vector<std::string>{"Raster table full: " + t.folder() + "r3.tif not loaded"});

    state::RasterTable one(1);
    t.write("all.rls", "r3.tif\nr4.tif\n");
    Recorder rec2;
    Load_A_Lead_Raster(one, t.folder() + "all.rls", kNoWindow, rec2.ui());
    EXPECT_EQ(one.count(), 1);
    EXPECT_EQ(one.entry(1).file_name, t.folder() + "r3.tif");
    EXPECT_EQ(rec2.messages[2], "Raster table full: " + t.folder() + "r4.tif not loaded");
    EXPECT_EQ(rec2.messages.back(), "Raster list loaded: " + t.folder() + "all.rls");
}
