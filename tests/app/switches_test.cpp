// The display switches, the search buffer and the two command buttons.
#include "panel_test_support.h"

#include "state/raster_table.h"

namespace {

using paneltest::Harness;

TEST(DisplaySwitches, ThickLinesSwitchEveryDrawingAndDropTheOutlineSetting) {
    Harness h;
    h.add_drawings(3);
    h.state.settings.Polygon_Outline = 1;
    auto *box = h.control<QCheckBox>("Check2");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), "Use thick lines");

    h.click(box);
    for (int n = 1; n <= 3; ++n)
        EXPECT_TRUE(h.state.drawings.entry(n).thick) << n;
    EXPECT_EQ(h.state.settings.Polygon_Outline, 0);
    EXPECT_EQ(h.count("Redraw"), 1);

    h.click(box);
    for (int n = 1; n <= 3; ++n)
        EXPECT_FALSE(h.state.drawings.entry(n).thick) << n;
    EXPECT_EQ(h.count("Redraw"), 2);
}

TEST(DisplaySwitches, FillingReachesBothTheSettingAndTheDrawingPass) {
    Harness h;
    h.state.settings.Polygon_Filling = 0;
    h.state.display.Polygon_Filling = false;
    auto *box = h.control<QCheckBox>("fillpoly");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), "Show Polygons Filled");
    EXPECT_FALSE(box->isChecked()); // as the loaded setting says

    h.click(box);
    EXPECT_EQ(h.state.settings.Polygon_Filling, 1);
    EXPECT_TRUE(h.state.display.Polygon_Filling);
    h.click(box);
    EXPECT_EQ(h.state.settings.Polygon_Filling, 0);
    EXPECT_FALSE(h.state.display.Polygon_Filling);
    EXPECT_EQ(h.count("Redraw"), 2);
}

TEST(DisplaySwitches, BackgroundMapSwitchesTheFirstRasterOnly) {
    Harness h;
    state::RasterEntry first, second;
    first.display = 0;
    second.display = 1;
    h.state.rasters.add(first);
    h.state.rasters.add(second);
    auto *box = h.control<QCheckBox>("LOADrasta");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), "Background Map");

    h.click(box);
    EXPECT_EQ(h.state.rasters.entry(1).display, 1);
    EXPECT_EQ(h.count("Redraw"), 1);
    h.click(box);
    EXPECT_EQ(h.state.rasters.entry(1).display, 0);
    EXPECT_EQ(h.state.rasters.entry(2).display, 1);
    EXPECT_EQ(h.count("Redraw"), 2);
}

TEST(DisplaySwitches, BackgroundMapWithoutARasterHasNothingToDo) {
    Harness h;
    h.click(h.control<QCheckBox>("LOADrasta"));
    EXPECT_EQ(h.state.rasters.count(), 0);
    EXPECT_TRUE(h.log.empty());
}

struct BufferCase {
    const char *name;
    std::optional<std::string> answer;
    double buffer;
    const char *caption;
};

const BufferCase kBufferCases[] = {
    {"HalfAMetreIsRaisedToOne", "0.5", 100.0, "Set Search Buffer  1 metres wide"},
    {"TwoHundredFiftyIsCutToOneHundred", "250", 10000.0, "Set Search Buffer  100 metres wide"},
    {"FractionsKeepTheirCentimetres", "12.3", 1230.0, "Set Search Buffer  12 metres wide"},
    {"InRange", "25", 2500.0, "Set Search Buffer  25 metres wide"},
    {"LeadingNumberOfAText", " 40 m", 4000.0, "Set Search Buffer  40 metres wide"},
    // Cancelled or empty leaves the buffer (10 m at the panel's start) as it was.
    {"Cancelled", std::nullopt, 1000.0, "Set Search Buffer  10 metres wide"},
    {"Empty", "  ", 1000.0, "Set Search Buffer  10 metres wide"},
    {"NotANumber", "wide", 100.0, "Set Search Buffer  1 metres wide"},
    {"Negative", "-20", 100.0, "Set Search Buffer  1 metres wide"},
    {"Huge", "1E300", 10000.0, "Set Search Buffer  100 metres wide"},
};

class SearchBuffer : public ::testing::TestWithParam<BufferCase> {};

TEST_P(SearchBuffer, AnswerGivesBufferAndCaption) {
    const BufferCase &c = GetParam();
    Harness h;
    auto *button = h.control<QPushButton>("SetBuf");
    h.next_answer = c.answer;
    h.click(button);

    ASSERT_EQ(h.input_questions.size(), 1u);
    EXPECT_EQ(h.input_questions[0].prompt, "Enter New Search Buffer Size in metres");
    EXPECT_EQ(h.input_questions[0].proposal, " 10");
    EXPECT_DOUBLE_EQ(h.state.settings.Search_Buffer, c.buffer);
    EXPECT_EQ(button->text().toStdString(), c.caption);
    EXPECT_TRUE(h.log.empty()); // the buffer is for the next search, nothing is redrawn
}

INSTANTIATE_TEST_SUITE_P(Panel, SearchBuffer, ::testing::ValuesIn(kBufferCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(SearchBufferStart, ThePanelStartsAtTenMetresWhateverWasStored) {
    Harness h;
    h.state.settings.Search_Buffer = 4200.0;
    auto *button = h.control<QPushButton>("SetBuf");
    EXPECT_DOUBLE_EQ(h.state.settings.Search_Buffer, 1000.0);
    EXPECT_EQ(button->text().toStdString(), "Set Search Buffer  10 metres wide");

    // The next question proposes what the last answer set.
    h.next_answer = "12.3";
    h.click(button);
    h.next_answer = std::nullopt;
    h.click(button);
    ASSERT_EQ(h.input_questions.size(), 2u);
    EXPECT_EQ(h.input_questions[1].proposal, " 12.3");
}

TEST(Commands, RefreshRedrawsAndExitEndsTheProgram) {
    Harness h;
    auto *refresh = h.control<QPushButton>("Command2");
    auto *exit = h.control<QPushButton>("Command3");
    EXPECT_EQ(refresh->text().toStdString(), "Refresh Display");
    EXPECT_EQ(exit->text().toStdString(), "Exit TAVI");

    h.click(refresh);
    EXPECT_EQ(h.log, std::vector<std::string>{"Redraw"});
    EXPECT_EQ(h.ended, 0);
    h.click(exit);
    EXPECT_EQ(h.ended, 1);
    EXPECT_EQ(h.log, std::vector<std::string>{"Redraw"});
}

TEST(Window, IsAToolWindowNamedForThePanel) {
    Harness h;
    EXPECT_EQ(h.panel().windowTitle().toStdString(), "TAVI Control Panel");
    EXPECT_EQ(h.panel().windowType(), Qt::Tool);
}

} // namespace
