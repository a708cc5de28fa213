// Presses that start the current tool's search, the right-button stop of a long
// drawing, clicks that name the raster underneath, and the height readout over rasters.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "mouse_test_support.h"
#include "raster/raster_test_support.h"

namespace {

using namespace mouse_test;

struct PolygonCall {
    int32_t sx, sy, wx, wy, button, shape;
};

class ToolPress : public MouseTest {
  protected:
    void SetUp() override {
        show_view(1000.0, 2000.0, 400); // one pixel per unit
        searches_.Point_Data_Search = [this](int32_t &x, int32_t &y) {
            point_data_.emplace_back(x, y);
        };
        searches_.Planning_Search_Object = [this](int32_t &x, int32_t &y) {
            planning_.emplace_back(x, y);
        };
        searches_.Interrogate_By_Drawn_polygon = [this](int32_t &sx, int32_t &sy, int32_t &wx,
                                                        int32_t &wy, int32_t &b, int32_t &shape) {
            polygon_.push_back({sx, sy, wx, wy, b, shape});
        };
    }
    std::vector<std::pair<int32_t, int32_t>> point_data_, planning_;
    std::vector<PolygonCall> polygon_;
};

TEST_F(ToolPress, PointToolsSearchAtTheWorldPointWithEitherButton) {
    state_.interaction.Tool_Code = ToolCode::PointData;
    down(kLeftButton, 100, 100);
    state_.interaction.Tool_Code = ToolCode::Planning;
    down(kRightButton, 40, 350);
    ASSERT_EQ(point_data_.size(), 1u);
    EXPECT_EQ(point_data_[0], std::make_pair(1100, 2300));
    ASSERT_EQ(planning_.size(), 1u);
    EXPECT_EQ(planning_[0], std::make_pair(1040, 2050));
}

TEST_F(ToolPress, PolygonToolsGetScreenAndWorldPointButtonAndShape) {
    for (ToolCode tool :
         {ToolCode::PolygonStart, ToolCode::Polygon, ToolCode::PolylineStart, ToolCode::Polyline}) {
        state_.interaction.Tool_Code = tool;
        state_.interaction.Search_Shape = tool < ToolCode::PolylineStart ? 1 : 2;
        down(kRightButton, 100.6, 99.4);
    }
    ASSERT_EQ(polygon_.size(), 4u);
    const PolygonCall &c = polygon_[0];
    EXPECT_EQ(c.sx, 101);
    EXPECT_EQ(c.sy, 99);
    EXPECT_EQ(c.wx, 1101);
    EXPECT_EQ(c.wy, 2301);
    EXPECT_EQ(c.button, kRightButton);
    EXPECT_EQ(c.shape, 1);
    EXPECT_EQ(polygon_[3].shape, 2);
}

TEST_F(ToolPress, NothingStartsWithoutAToolForTheMiddleButtonOrWhileLoading) {
    state_.interaction.Tool_Code = ToolCode::None;
    down(kLeftButton, 100, 100);
    state_.interaction.Tool_Code = ToolCode::PointData;
    down(kMiddleButton, 100, 100);
    state_.interaction.Tool_Code = static_cast<ToolCode>(4); // no tool has this code
    down(kLeftButton, 100, 100);
    state_.interaction.Tool_Code = ToolCode::PointData;
    state_.interaction.Data_Loading = true;
    state_.view.Cursor_World_X = 7;
    down(kLeftButton, 100, 100);
    EXPECT_TRUE(point_data_.empty());
    EXPECT_TRUE(planning_.empty());
    EXPECT_TRUE(polygon_.empty());
    EXPECT_EQ(state_.view.Cursor_World_X, 7); // a press while loading is not even located
}

TEST_F(ToolPress, UnwrittenSearchesAreSafeToStart) {
    searches_ = Searches{};
    for (ToolCode tool : {ToolCode::PointData, ToolCode::PolygonStart, ToolCode::Polygon,
                          ToolCode::PolylineStart, ToolCode::Polyline, ToolCode::Planning}) {
        state_.interaction.Tool_Code = tool;
        down(kLeftButton, 100, 100);
    }
    EXPECT_EQ(state_.interaction.Tool_Code, ToolCode::Planning);
}

TEST(ChooseTool, EachToolbarKeyArmsItsToolAndSetsOnlyWhatThatToolReads) {
    struct Case {
        const char *key;
        std::optional<ToolCode> tool; // none: the key chooses no tool and changes nothing
        bool site_list;               // the site-list points are plotted before it is used
        int32_t shape;                // Search_Shape afterwards
        bool fresh;                   // Cursor_Fresh afterwards
    };
    const Case cases[] = {
        {"MousePntSrch", ToolCode::Planning, false, 0, true},
        {"PointDataSearch", ToolCode::PointData, true, 0, true},
        {"PointPolySearch", ToolCode::PolygonStart, true, 1, false},
        {"PointLineSearch", ToolCode::PolylineStart, true, 2, false},
        // Navigation and the searches by name leave the tool as it was; keys match exactly.
        {"CtrlZoomin", std::nullopt, false, 0, false},
        {"ctrlSearch", std::nullopt, false, 0, false},
        {"pointDataSearch", std::nullopt, false, 0, false},
        {"", std::nullopt, false, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        state::InteractionState ia; // in the middle of drawing a polygon
        ia.Tool_Code = ToolCode::Polygon;
        EXPECT_EQ(tool_for_key(c.key), c.tool);
        if (c.tool) {
            EXPECT_EQ(searches_site_list(*c.tool), c.site_list);
        }
        EXPECT_EQ(choose_tool(ia, c.key), c.tool.has_value());
        EXPECT_EQ(std::tuple(ia.Tool_Code, ia.Search_Shape, ia.Cursor_Fresh),
                  std::tuple(c.tool.value_or(ToolCode::Polygon), c.shape, c.fresh));
    }
}

class ButtonRelease : public MouseTest {};

TEST_F(ButtonRelease, RightButtonStopsALongDrawingAndLeftDoesNot) {
    up(kRightButton, 10, 10);
    EXPECT_TRUE(state_.progress.Abort_Drawing);
    up(kLeftButton, 10, 10);
    EXPECT_FALSE(state_.progress.Abort_Drawing);
}

// Rasters placed on the grid with real images behind them.
class OverRasters : public MouseTest {
  protected:
    void SetUp() override { show_view(0.0, 0.0, 400); }

    // An elevation grid of 4 x 4 cells of 100 units with its south-west corner at
    // (0, 0); the cell of row r, column c holds heights(c, r).
    void add_elevation_grid(const std::function<int16_t(int, int)> &heights,
                            const std::string &name = "dem.tif") {
        const std::string path = (folder_.path() / name).string();
        raster_test::write_int16(path, 4, 4, heights);
        state::RasterEntry e;
        e.west = 0;
        e.south = 0;
        e.pixel_width = 100.0f;
        e.pixel_height = 100.0f;
        e.columns = 4;
        e.rows = 4;
        e.east = 400;
        e.north = 400;
        e.raster_class = 16;
        e.height_kind = state::kElevationGrid;
        e.file_name = path;
        e.bitmap = std::make_shared<rasterlib::Image>();
        ASSERT_EQ(e.bitmap->open(path), rasterlib::kSuccess);
        ASSERT_GT(state_.rasters.add(std::move(e)), 0);
    }

    state::RasterEntry &add_placed(const std::string &file_name, int32_t west, int32_t south,
                                   int32_t east, int32_t north) {
        state::RasterEntry e;
        e.west = west;
        e.south = south;
        e.east = east;
        e.north = north;
        e.file_name = file_name;
        const int n = state_.rasters.add(std::move(e));
        return state_.rasters.entry(n);
    }

    raster_test::TempFolder folder_;
};

TEST_F(OverRasters, ElevationHeightsAndTheNoDataValue) {
    // Row 0 is the northern edge: world y 300..400.
    add_elevation_grid([](int c, int r) -> int16_t { return r == 0 && c == 0 ? 32727 : 1234; });
    move(kNoButton, 50, 50); // world (50, 350): row 0, column 0
    EXPECT_EQ(state_.interaction.Current_Height, 0);
    move(kNoButton, 150, 50); // column 1
    EXPECT_EQ(state_.interaction.Current_Height, 1234);
    move(kNoButton, 50, 50);
    EXPECT_EQ(state_.interaction.Current_Height, 0);
    EXPECT_TRUE(messages_.empty()); // an elevation grid writes no text
}

TEST_F(OverRasters, ReadoutShowsTheHeightUnderThePointerNow) {
    add_elevation_grid([](int, int) -> int16_t { return 1234; });
    state_.furniture.Grid_Precision = 1;
    move(kNoButton, 50, 350); // world (50, 50), over the grid
    EXPECT_EQ(grid_refs_.back(), " 50/ 50 ^  1234");
    move(kNoButton, 500, 350); // beyond the raster: no height, not the last one
    EXPECT_EQ(grid_refs_.back(), " 500/ 50");
    EXPECT_EQ(state_.interaction.Current_Height, 0);
}

TEST_F(OverRasters, NoReadoutWithoutRasters) {
    state_.interaction.Current_Height = 55;
    move(kNoButton, 50, 50);
    EXPECT_EQ(state_.interaction.Current_Height, 55);
}

TEST_F(OverRasters, ClickNamesTheLastRasterUnderThePointer) {
    add_placed("  /data/maps/Base Map.tif ", 0, 0, 400, 400);
    state::RasterEntry &top = add_placed("/data/maps/detail.jpg", 100, 100, 200, 200);
    move(kNoButton, 150, 250); // world (150, 150), inside both
    click();
    ASSERT_EQ(raster_names_.size(), 1u);
    EXPECT_EQ(raster_names_[0], "detail.jpg");
    EXPECT_EQ(top.file_name, "/data/maps/detail.jpg");
    EXPECT_EQ(panel_opened_, 1);

    move(kNoButton, 50, 350); // world (50, 50): only the base map
    click();
    EXPECT_EQ(raster_names_.back(), "Base Map.tif");
    EXPECT_EQ(state_.rasters.entry(1).file_name, "/data/maps/Base Map.tif"); // trimmed in place
}

TEST_F(OverRasters, ClickOnAnEdgeOrOutsideNamesNothingButStillOpensThePanel) {
    add_placed("/data/base.tif", 0, 0, 400, 400);
    move(kNoButton, 0, 200); // world x 0: on the west edge
    click();
    move(kNoButton, 500, 200);
    click();
    EXPECT_TRUE(raster_names_.empty());
    EXPECT_EQ(panel_opened_, 2);
}

TEST_F(OverRasters, BusyMapIgnoresClicks) {
    add_placed("/data/base.tif", 0, 0, 400, 400);
    move(kNoButton, 100, 200);
    pointer_ = state::kPointerBusy;
    click();
    EXPECT_TRUE(raster_names_.empty());
    EXPECT_EQ(panel_opened_, 0);
}

} // namespace
