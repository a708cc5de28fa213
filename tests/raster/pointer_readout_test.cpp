#include "raster/pointer_readout.h"

#include <gtest/gtest.h>

#include <memory>

#include "raster_test_support.h"

using raster::Height_Readout;
using raster::LayerReading;
using raster_test::TempFolder;
using state::RasterEntry;
using state::RasterTable;

namespace {

// An entry of columns x rows cells of 10 units from (west, south), with the given class
// and kind of heights, over an already written image (or none).
state::RasterEntry placed(int32_t west, int32_t south, int32_t columns, int32_t rows,
                          uint8_t raster_class, uint8_t kind, const std::string &image = {}) {
    state::RasterEntry e;
    e.west = west;
    e.south = south;
    e.pixel_width = 10;
    e.pixel_height = 10;
    e.columns = columns;
    e.rows = rows;
    e.east = west + 10 * columns;
    e.north = south + 10 * rows;
    e.raster_class = raster_class;
    e.height_kind = kind;
    e.file_name = image;
    if (!image.empty()) {
        e.bitmap = std::make_shared<rasterlib::Image>();
        EXPECT_EQ(e.bitmap->open(image), rasterlib::kSuccess) << image;
    }
    return e;
}

} // namespace

TEST(RasterCell, RowsCountDownFromTheNorthernEdgeAndColumnsFromTheWest) {
    const state::RasterEntry e = placed(1000, 2000, 5, 4, 8, 20);
    EXPECT_EQ(raster::Raster_Cell(e, 1001, 2001).row, 3);
    EXPECT_EQ(raster::Raster_Cell(e, 1001, 2001).column, 0);
    EXPECT_EQ(raster::Raster_Cell(e, 1015, 2035).row, 0);
    EXPECT_EQ(raster::Raster_Cell(e, 1015, 2035).column, 1);
    EXPECT_EQ(raster::Raster_Cell(e, 1049, 2020).row, 1); // a cell edge belongs to the cell above
    EXPECT_EQ(raster::Raster_Cell(e, 1049, 2020).column, 4);
}

TEST(HeightReadout, AnElevationGridGivesItsCellValueExceptTheNoDataValue) {
    TempFolder t;
    const std::string dem = t.folder() + "dem.tif";
    // Row 0 (north): 1250, 32727; row 1: -40, 7.
    const int16_t cells[2][2] = {{1250, 32727}, {-40, 7}};
    raster_test::write_int16(dem, 2, 2, [&](int x, int y) { return cells[y][x]; });
    state::RasterTable table;
    table.add(placed(0, 0, 2, 2, 16, state::kElevationGrid, dem));

    EXPECT_EQ(Height_Readout(table, 5, 15).height, 1250);
    EXPECT_EQ(Height_Readout(table, 15, 15).height, 0); // no data
    EXPECT_EQ(Height_Readout(table, 5, 5).height, -40); // stored; the readout shows only > 0
    EXPECT_EQ(Height_Readout(table, 15, 5).height, 7);
    EXPECT_TRUE(Height_Readout(table, 15, 5).messages.empty());
    // Edges are outside, and so is everything beyond them.
    EXPECT_EQ(Height_Readout(table, 0, 5).height, 0);
    EXPECT_EQ(Height_Readout(table, 5, 20).height, 0);
}

TEST(HeightReadout, EightBitHeightsScaleBetweenTheLowestAndHighestHeight) {
    state::RasterEntry e;
    e.lowest_height = 1000;
    e.highest_height = 3550;
    EXPECT_EQ(raster::Byte_Height(e, 0), 1000);
    EXPECT_EQ(raster::Byte_Height(e, 100), 2000);
    EXPECT_EQ(raster::Byte_Height(e, 254), 3540);
    EXPECT_EQ(raster::Byte_Height(e, 255), 0); // no value

    TempFolder t;
    const std::string grey = t.folder() + "h.tif";
    raster_test::write_grey(grey, 2, 1,
                            [](int x, int) { return static_cast<uint8_t>(x ? 255 : 51); });
    state::RasterTable table;
    state::RasterEntry h = placed(0, 0, 2, 1, 8, 0, grey);
    h.lowest_height = 0;
    h.highest_height = 500;
    table.add(h);
    EXPECT_EQ(Height_Readout(table, 5, 5).height, 100);
    EXPECT_EQ(Height_Readout(table, 15, 5).height, 0);
}

TEST(HeightReadout, OnlyRastersOfClassEightOrMoreAreReadAndTheFirstFoundWins) {
    TempFolder t;
    const std::string a = t.folder() + "a.tif", b = t.folder() + "b.tif";
    raster_test::write_int16(a, 1, 1, [](int, int) { return int16_t{111}; });
    raster_test::write_int16(b, 1, 1, [](int, int) { return int16_t{222}; });
    state::RasterTable table;
    table.add(placed(0, 0, 1, 1, 7, state::kElevationGrid, a)); // a map: passed over
    table.add(placed(0, 0, 1, 1, 16, state::kElevationGrid, b));
    table.add(placed(0, 0, 1, 1, 16, state::kElevationGrid, a));
    EXPECT_EQ(Height_Readout(table, 5, 5).height, 222);
}

TEST(HeightReadout, ASurfaceModelPassedOverSaysSoAndTheSearchGoesOn) {
    TempFolder t;
    const std::string dem = t.folder() + "dem.tif";
    raster_test::write_int16(dem, 4, 4, [](int, int) { return int16_t{900}; });
    state::RasterTable table;
    table.add(placed(100, 100, 2, 2, 8, state::kSurfaceModel));
    table.add(placed(0, 0, 4, 4, 16, state::kElevationGrid, dem));
    const auto r = Height_Readout(table, 5, 5);
    EXPECT_EQ(r.height, 900);
    EXPECT_EQ(r.messages, std::vector<std::string>{raster::kBeyondSurfaceModel});
    // Outside everything: the message still, and no height.
    const auto outside = Height_Readout(table, 500, 500);
    EXPECT_EQ(outside.height, 0);
    EXPECT_EQ(outside.messages, std::vector<std::string>{raster::kBeyondSurfaceModel});
}

TEST(HeightReadout, ASurfaceModelWithoutLayersReportsNoSurface) {
    state::RasterTable table;
    table.add(placed(0, 0, 2, 2, 8, state::kSurfaceModel));
    const auto r = Height_Readout(table, 5, 5);
    EXPECT_EQ(r.height, 0);
    EXPECT_EQ(r.messages, std::vector<std::string>{" No Surface @ "});
}

TEST(HeightReadout, ASurfaceModelsLayersGiveTheSurfaceAndDepthsBelowIt) {
    const auto text = raster::Surface_Text({
        LayerReading{" Topsoil ", 10.0f, 0.0f, 100},
        LayerReading{"Clay", 10.0f, 0.0f, 110},
        LayerReading{"Gravel", 10.0f, 0.0f, 255},
        LayerReading{"Rock", 1.0f, -5.0f, std::nullopt},
        LayerReading{"Fill", 10.0f, 0.0f, 90},
    });
    EXPECT_EQ(text.height, 1000);
    EXPECT_EQ(text.text, "Topsoil Surface @ 1000 Depth to: Clay  100 Depth to: Gravel Not Defined "
                         " Depth to: Rock Not Defined  Depth to: Fill -100");
    const auto none =
        raster::Surface_Text({LayerReading{"Topsoil", 1, 0, 255}, LayerReading{"Clay", 2, 0, 10}});
    EXPECT_EQ(none.height, 0);
    EXPECT_EQ(none.text, "Topsoil No Surface @  Depth to: Clay  20");

    // Loaded layers are read at the model's cell.
    TempFolder t;
    const std::string top = t.folder() + "top.tif", clay = t.folder() + "clay.tif";
    raster_test::write_grey(top, 2, 1,
                            [](int x, int) { return static_cast<uint8_t>(x ? 50 : 40); });
    raster_test::write_grey(clay, 2, 1,
                            [](int x, int) { return static_cast<uint8_t>(x ? 45 : 255); });
    state::RasterEntry model = placed(0, 0, 2, 1, 8, state::kSurfaceModel);
    for (const auto &[path, label] : {std::pair{top, "Top"}, std::pair{clay, "Clay"}}) {
        auto image = std::make_shared<rasterlib::Image>();
        ASSERT_EQ(image->open(path), rasterlib::kSuccess);
        model.layers.push_back(state::HeightLayer{image, 100.0f, 50.0f, label});
    }
    model.layer_count = 2;
    state::RasterTable table;
    table.add(model);
    const auto r = Height_Readout(table, 15, 5);
    EXPECT_EQ(r.height, 5050);
    EXPECT_EQ(r.messages, std::vector<std::string>{"Top Surface @ 5050 Depth to: Clay -500"});
    EXPECT_EQ(Height_Readout(table, 5, 5).messages,
              std::vector<std::string>{"Top Surface @ 4050 Depth to: Clay Not Defined "});
}

TEST(RasterName, TheLastLoadedRasterUnderTheClickNamesItselfWithoutItsFolder) {
    state::RasterTable table;
    table.add(placed(0, 0, 10, 10, 0, 0, ""));
    table.entry(1).file_name = "  D:\\maps\\base.tif ";
    table.add(placed(50, 50, 10, 10, 0, 0, ""));
    table.entry(2).file_name = "/data/tiles/top.tif";

    EXPECT_EQ(raster::Raster_Name_At(table, 10, 10), "base.tif");
    EXPECT_EQ(table.entry(1).file_name, "D:\\maps\\base.tif"); // trimmed in the table
    EXPECT_EQ(raster::Raster_Name_At(table, 60, 60), "top.tif");
    EXPECT_EQ(raster::Raster_Name_At(table, 0, 10), std::nullopt); // on the edge
    EXPECT_EQ(raster::Raster_Name_At(table, 200, 10), std::nullopt);
}
