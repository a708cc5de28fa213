// The pointer's world position, the coordinate readout in the status bar, and the
// buffer circle that follows the pointer for the point tools.
#include <gtest/gtest.h>

#include "mouse_test_support.h"

namespace {

using namespace mouse_test;

TEST(CoordinateReadout, RawUnitsWithLeadingBlanksAndRawHeight) {
    EXPECT_EQ(coordinate_readout(49750000, 37150000, 1, 0), " 49750000/ 37150000");
    EXPECT_EQ(coordinate_readout(49750000, 37150000, 0, 1234), " 49750000/ 37150000 ^  1234");
    EXPECT_EQ(coordinate_readout(-5, 7, 4, 0), "-5/ 7");
}

TEST(CoordinateReadout, GridReferenceInUnitsAndInMetres) {
    EXPECT_EQ(coordinate_readout(49750000, 37150000, 2, 0), "OS NGR ~ SK  9750000/ 7150000");
    EXPECT_EQ(coordinate_readout(49750000, 37150000, 3, 0), "OS NGR ~ SK  97500/ 71500");
    // Metres are whole metres, the centimetres dropped.
    EXPECT_EQ(coordinate_readout(49750099, 37150099, 3, 0), "OS NGR ~ SK  97500/ 71500");
}

TEST(CoordinateReadout, MetresOutsideTheLetteredSquaresTruncateTowardZero) {
    // No letters, and -150 units is -1 metre, not -2.
    EXPECT_EQ(coordinate_readout(-150, 250, 3, 0), "OS NGR ~  -1/ 2");
}

TEST(CoordinateReadout, HeightInMetresOnlyWhenAboveZero) {
    EXPECT_EQ(coordinate_readout(49750000, 37150000, 3, 1234),
              "OS NGR ~ SK  97500/ 71500 OD  12.34");
    EXPECT_EQ(coordinate_readout(49750000, 37150000, 3, 5), "OS NGR ~ SK  97500/ 71500 OD  .05");
    EXPECT_EQ(coordinate_readout(49750000, 37150000, 3, -300), "OS NGR ~ SK  97500/ 71500");
    EXPECT_EQ(coordinate_readout(49750000, 37150000, 2, 0), "OS NGR ~ SK  9750000/ 7150000");
    EXPECT_EQ(coordinate_readout(1, 2, 1, -300), " 1/ 2");
}

TEST(BufferCircleRadius, HalfTheBufferInPixelsAndNeverBelowOne) {
    EXPECT_EQ(buffer_circle_radius(100.0, 1.0), 50);
    EXPECT_EQ(buffer_circle_radius(10000.0, 0.01), 50);
    // The diameter is rounded first, then halved with the fraction dropped.
    EXPECT_EQ(buffer_circle_radius(7.0, 1.0), 3);
    EXPECT_EQ(buffer_circle_radius(2.5, 1.0), 1);
    // A buffer of one hundredth of a metre at a small scale is still one pixel.
    EXPECT_EQ(buffer_circle_radius(1.0, 0.001), 1);
    EXPECT_EQ(buffer_circle_radius(0.0, 1.0), 1);
}

class WorldPosition : public MouseTest {};

TEST_F(WorldPosition, PixelsRoundToWholeStepsBeforeTheOriginIsAdded) {
    show_view(1000.4, 2000.0, 100); // 4 pixels per unit
    move(kNoButton, 2, 398);        // 0.5 units from the corner each way: to even, 0
    EXPECT_EQ(state_.view.Cursor_World_X, 1000);
    EXPECT_EQ(state_.view.Cursor_World_Y, 2000);
    move(kNoButton, 6, 394); // 1.5 units: 2
    EXPECT_EQ(state_.view.Cursor_World_X, 1002);
    EXPECT_EQ(state_.view.Cursor_World_Y, 2002);
    move(kNoButton, 10, 390); // 2.5 units: 2 again
    EXPECT_EQ(state_.view.Cursor_World_X, 1002);
    EXPECT_EQ(state_.view.Cursor_World_Y, 2002);
    ASSERT_FALSE(grid_refs_.empty());
    EXPECT_EQ(grid_refs_.back(), " 1002/ 2002");
}

TEST_F(WorldPosition, ReadoutFollowsTheGridPrecision) {
    show_view(49749000.0, 37149000.0, 2000); // 0.2 pixels per unit
    state_.furniture.Grid_Precision = 3;
    move(kNoButton, 200, 200);
    EXPECT_EQ(state_.view.Cursor_World_X, 49750000);
    EXPECT_EQ(state_.view.Cursor_World_Y, 37150000);
    EXPECT_EQ(grid_refs_.back(), "OS NGR ~ SK  97500/ 71500");
}

TEST_F(WorldPosition, NoViewScaleIgnoresMovesAndPresses) {
    int searches = 0;
    searches_.Point_Data_Search = [&](int32_t &, int32_t &) { ++searches; };
    state_.interaction.Tool_Code = ToolCode::PointData;
    state_.view.Cursor_World_X = 17;
    move(kNoButton, 100, 100);
    down(kLeftButton, 100, 100);
    EXPECT_EQ(state_.view.Cursor_World_X, 17);
    EXPECT_TRUE(grid_refs_.empty());
    EXPECT_EQ(searches, 0);
}

TEST_F(WorldPosition, BusyPointerIgnoresMoves) {
    show_view(0.0, 0.0, 400);
    pointer_ = state::kPointerBusy;
    move(kNoButton, 100, 100);
    EXPECT_TRUE(grid_refs_.empty());
    EXPECT_EQ(state_.view.Cursor_World_X, 0);
}

class BufferCircle : public MouseTest {
  protected:
    void SetUp() override {
        show_view(0.0, 0.0, 400); // one pixel per unit
        state_.interaction.Tool_Code = ToolCode::PointData;
        state_.interaction.Cursor_Fresh = true;
        state_.settings.Search_Buffer = 100.0; // radius 50 pixels
    }
};

TEST_F(BufferCircle, FollowsThePointerLeavingOneRing) {
    move(kNoButton, 200, 200);
    EXPECT_FALSE(state_.interaction.Cursor_Fresh);
    const int ring = count(kBandOnWhite);
    EXPECT_GT(ring, 200);
    EXPECT_EQ(pixel(250, 200), kBandOnWhite);
    EXPECT_EQ(pixel(200, 150), kBandOnWhite);
    EXPECT_EQ(pixel(200, 200), kWhite);

    move(kNoButton, 300, 200);
    EXPECT_EQ(count(kBandOnWhite), ring);
    EXPECT_EQ(pixel(150, 200), kWhite);
    EXPECT_EQ(pixel(350, 200), kBandOnWhite);
    EXPECT_GT(repaints_, 0);
}

TEST_F(BufferCircle, PlanningToolDrawsItToo) {
    state_.interaction.Tool_Code = ToolCode::Planning;
    move(kNoButton, 200, 200);
    EXPECT_EQ(pixel(250, 200), kBandOnWhite);
}

TEST_F(BufferCircle, OtherToolsDrawNone) {
    state_.interaction.Tool_Code = ToolCode::PolygonStart;
    move(kNoButton, 200, 200);
    EXPECT_EQ(count(kBandOnWhite), 0);
}

TEST_F(BufferCircle, TinyBufferStillShowsOnePixelRing) {
    show_view(0.0, 0.0, 400000); // 0.001 pixels per unit
    state_.settings.Search_Buffer = 1.0;
    move(kNoButton, 200, 200);
    EXPECT_EQ(pixel(200, 200), kWhite);
    const int ring = count(kBandOnWhite);
    EXPECT_GT(ring, 0);
    EXPECT_LE(ring, 8);
    EXPECT_EQ(pixel(201, 200), kBandOnWhite);
}

TEST_F(BufferCircle, ChangedBufferLeavesNoOldRingBehind) {
    move(kNoButton, 200, 200);
    state_.settings.Search_Buffer = 200.0;
    move(kNoButton, 300, 200);
    EXPECT_EQ(pixel(250, 200), kWhite); // the first ring went
    EXPECT_EQ(pixel(400, 200), kBandOnWhite);
}

TEST_F(BufferCircle, EventsLetInDuringTheRingSeeTheMapDrawingPlainly) {
    // Whatever runs while the ring is shown (a redraw, another tool) draws as the map
    // does, and the pen and brush are the map's again.
    std::vector<gdi::Rop2> modes;
    hooks_.ui.process_events = [&] { modes.push_back(dc_.rop2()); };
    const gdi::Pen pen = dc_.pen();
    move(kNoButton, 200, 200);
    ASSERT_FALSE(modes.empty());
    for (const gdi::Rop2 mode : modes)
        EXPECT_EQ(mode, gdi::Rop2::CopyPen);
    EXPECT_EQ(dc_.rop2(), gdi::Rop2::CopyPen);
    EXPECT_TRUE(dc_.pen() == pen);
}

TEST_F(BufferCircle, NotDrawnWhileADrawingIsBeingRead) {
    state_.progress.Drawing_In_Progress = true;
    move(kNoButton, 200, 200);
    EXPECT_EQ(count(kBandOnWhite), 0);
    EXPECT_FALSE(grid_refs_.empty()); // the readout still runs
}

} // namespace
