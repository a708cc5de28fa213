// Loading the project from the data folder: a copy of the sample project, and a folder
// without a project.
#include "panel_test_support.h"

#include <filesystem>

#include "platform/surface/pointer_shapes.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using paneltest::Harness;

class LoadData : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path sample = fs::path(TAVI_BUILD_DIR) / "share/tavi/data";
        ASSERT_TRUE(fs::exists(sample / "tavi.zpj")) << "sample project missing: " << sample;
        fs::copy(sample, data_.path(), fs::copy_options::recursive);
        h.state.settings.Data_Folder = data_.folder();
    }

    testing_support::TempFolder data_;
    Harness h;
};

// What the load asks of the map, the pointer changes aside.
std::vector<std::string> map_calls(const std::vector<std::string> &log) {
    std::vector<std::string> calls;
    for (const auto &c : log)
        if (c != "events" && c.rfind("pointer ", 0) != 0)
            calls.push_back(c);
    return calls;
}

TEST_F(LoadData, RegistersTheSampleDrawingsAndTellsTheUserHowToGoOn) {
    h.panel().LoadData();

    ASSERT_EQ(h.state.drawings.count(), 9);
    EXPECT_EQ(fs::path(h.state.drawings.entry(1).file_name).filename(), "prehistoric.drw");
    EXPECT_EQ(fs::path(h.state.drawings.entry(9).file_name).filename(), "modern_streets.drw");
    EXPECT_FALSE(h.state.interaction.Data_Loading);
    ASSERT_FALSE(h.messages.empty());
    EXPECT_EQ(h.messages.front(), "Please Wait ! Loading Data");
    EXPECT_EQ(h.messages.back(), "All Data Loaded Click Left to Open Control Panel");
    // The opening registers what the project lists; the first redraw draws it all.
    EXPECT_EQ(map_calls(h.log), (std::vector<std::string>{"zoomext", "Redraw", "maximise"}));
    ASSERT_EQ(h.state.rasters.count(), 2);
    EXPECT_EQ(fs::path(h.state.rasters.entry(1).file_name).stem(), "background");
    EXPECT_EQ(fs::path(h.state.rasters.entry(2).file_name).stem(), "elevation");
    EXPECT_TRUE(h.boxes.empty());
    EXPECT_EQ(h.panel().cursor().shape(), pointers::pointer_shape(paneltest::kCursorStyle + 1));
    // Reading the drawings' indexes shows the busy pointer on the map, then the idle one.
    const auto last_pointer = std::find_if(h.log.rbegin(), h.log.rend(), [](const std::string &c) {
        return c.rfind("pointer ", 0) == 0;
    });
    ASSERT_NE(last_pointer, h.log.rend());
    EXPECT_EQ(*last_pointer, paneltest::kIdlePointer);
}

TEST_F(LoadData, TheSwitchesShowWhatStartUpLeftInForce) {
    // The panel is made before start-up turns filling off: after the load its box must
    // say what the map does.
    h.state.settings.Polygon_Filling = 1;
    h.panel();
    h.state.settings.Polygon_Filling = 0;
    h.state.display.Polygon_Filling = false;
    h.panel().LoadData();
    EXPECT_FALSE(h.control<QCheckBox>("fillpoly")->isChecked());
    EXPECT_FALSE(h.control<QCheckBox>("Check2")->isChecked());
}

TEST_F(LoadData, TheBackgroundSwitchShowsTheLoadedBackground) {
    auto *box = h.control<QCheckBox>("LOADrasta");
    ASSERT_FALSE(box->isChecked());
    h.panel().LoadData();
    ASSERT_GE(h.state.rasters.count(), 1);
    ASSERT_EQ(h.state.rasters.entry(1).display, 1);
    EXPECT_TRUE(box->isChecked());

    const int redraws = h.count("Redraw");
    h.click(box);
    EXPECT_EQ(h.state.rasters.entry(1).display, 0);
    EXPECT_EQ(h.count("Redraw"), redraws + 1);
}

TEST_F(LoadData, TheToolbarRefusesWorkUntilTheLoadIsOver) {
    h.panel();
    int clicks = 0;
    h.on_events = [&] {
        if (clicks++ == 0)
            h.click_toolbar("CtrlZoomin");
    };
    h.panel().LoadData();
    ASSERT_GT(clicks, 0) << "the load never let window events run";
    EXPECT_EQ(h.count("Zoom 0.5"), 0);
    EXPECT_EQ(std::count(h.messages.begin(), h.messages.end(), "Please wait Data Loading"), 1);

    // Once loaded, the same button works.
    h.on_events = nullptr;
    h.click_toolbar("CtrlZoomin");
    EXPECT_EQ(h.count("Zoom 0.5"), 1);
}

TEST_F(LoadData, ThePeriodGridShowsTheLoadedDrawings) {
    // Changes made before the load belong to drawings that are registered afresh.
    h.add_drawings(8);
    h.next_colour = gdi::rgb(255, 0, 0);
    h.grid()->setCurrentCell(1, 0);
    QTest::keyClick(h.grid(), Qt::Key_Space);
    h.double_click_cell(app::PeriodGrid::kColourColumn, 5);
    ASSERT_FALSE(h.grid()->ticked(2));
    ASSERT_EQ(h.grid()->colour(5), gdi::rgb(255, 0, 0));

    h.panel().LoadData();
    ASSERT_EQ(h.state.drawings.count(), 9);
    for (int row = 1; row <= 8; ++row) {
        EXPECT_TRUE(h.grid()->ticked(row)) << row;
        EXPECT_EQ(h.grid()->colour(row), gdi::rgb(255, 255, 255)) << row;
    }

    // The last row is the eighth drawing; the ninth has no row.
    h.grid()->setCurrentCell(7, 0);
    QTest::keyClick(h.grid(), Qt::Key_Space);
    EXPECT_FALSE(h.state.drawings.entry(8).active);
    EXPECT_TRUE(h.state.drawings.entry(9).active);
}

TEST(LoadDataWithoutProject, EndsTheProgramWithoutLoadingAnything) {
    testing_support::TempFolder empty;
    Harness h;
    h.state.settings.Data_Folder = empty.folder();
    h.add_drawings(2); // left from nothing: the table is not touched either

    h.panel().LoadData();
    EXPECT_EQ(h.ended, 1);
    EXPECT_EQ(h.state.drawings.count(), 2);
    EXPECT_EQ(map_calls(h.log), std::vector<std::string>{"zoomext"});
    EXPECT_TRUE(h.messages.empty());
    EXPECT_TRUE(h.boxes.empty()); // the folder is there, only the project is missing
    // The program is ending: the toolbar goes on refusing work.
    EXPECT_TRUE(h.state.interaction.Data_Loading);
}

} // namespace
