// Starting and ending the viewer with its real windows: the order of the start-up
// steps as the status bar tells them, the values every run starts with, and what the
// end of the run keeps in the settings store.
#include <QGuiApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>

#include <fstream>

#include "view/navigation.h"
#include "windows_test_support.h"

namespace {

using namespace windows_test;

constexpr const char *kLoaded = "All Data Loaded Click Left to Open Control Panel";

class StartUp : public WindowsTest {};

TEST_F(StartUp, StatusBarTellsTheStepsInOrder) {
    start();
    const auto messages = texts(1);
    ASSERT_GE(messages.size(), 4u);
    EXPECT_EQ(messages[0], frmMain::version_banner());
    EXPECT_EQ(messages[1], "data expected from " + data_.folder());
    const auto loading = std::find(messages.begin(), messages.end(), "Please Wait ! Loading Data");
    const auto loaded = std::find(messages.begin(), messages.end(), kLoaded);
    EXPECT_NE(loading, messages.end());
    EXPECT_LT(loading, loaded);
    EXPECT_EQ(frame_->status_text(1), kLoaded);
    EXPECT_EQ(frame_->status_text(3), "Grid Ref.");
}

TEST_F(StartUp, BannerCarriesTheProgramsVersion) {
    EXPECT_TRUE(QRegularExpression("^TAVI   Version \\d+\\.\\d+\\.\\d+$")
                    .match(QString::fromStdString(frmMain::version_banner()))
                    .hasMatch())
        << frmMain::version_banner();
    start();
    frame_->Status_Message("something");
    frame_->Status_Message("");
    EXPECT_EQ(frame_->status_text(1), frmMain::version_banner());
    frame_->Status_Grid_Ref("x");
    frame_->Status_Grid_Ref("");
    EXPECT_EQ(frame_->status_text(3), "Grid Ref.");
}

TEST_F(StartUp, WindowsStandWhereTheyBelong) {
    start();
    EXPECT_FALSE(frame_->ended());
    EXPECT_TRUE(frame_->isVisible());
    auto *sub = qobject_cast<QMdiSubWindow *>(map()->parentWidget());
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->isMaximized());
    app::CtrlPanel *panel = frame_->control_panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->windowTitle(), "TAVI Control Panel");
    // A first start (no place kept) puts the panel over the map where it hides least of
    // it: the empty east of the maximum view, clear of the scale bar and north point.
    const QRect on_map(map()->mapFromGlobal(panel->frameGeometry().topLeft()),
                       panel->frameGeometry().size());
    const state::FurnitureBoxes &b = state().boxes;
    EXPECT_FALSE(
        on_map.intersects(QRect(QPoint(b.bar_left, b.bar_top), QPoint(b.bar_right, b.bar_bottom))));
    EXPECT_FALSE(on_map.intersects(
        QRect(QPoint(b.north_left, b.north_top), QPoint(b.north_right, b.north_bottom))));
    EXPECT_GE(on_map.left(), map()->width() / 2);
    EXPECT_GE(on_map.top(), 0);
    EXPECT_FALSE(state().interaction.Data_Loading);
}

TEST_F(StartUp, EveryRunStartsWithTheSameOverrides) {
    settings::put(state::kProgramTitle, "Startup", "Grid_spacing", "5000");
    settings::put(state::kProgramTitle, "Startup", "Polygon Filling", "1");
    settings::put(state::kProgramTitle, "Startup", "Grid Precision", "1");
    settings::put(state::kProgramTitle, "Startup", "Search Buffer", "300");
    settings::put(state::kProgramTitle, "Display", "Bar Origin X", "240");
    start();
    EXPECT_EQ(state().furniture.Grid_Spacing, 100000);
    EXPECT_EQ(state().furniture.Grid_Precision, 3);
    EXPECT_EQ(state().settings.Polygon_Filling, 0);
    EXPECT_FALSE(state().display.Polygon_Filling);
    EXPECT_EQ(state().settings.Search_Buffer, 10000.0);
    EXPECT_EQ(state().furniture.Bar_Origin_X, 240); // not overridden
}

TEST_F(StartUp, AnEmptyStoreShowsTheProjectInTheMaximumView) {
    // The default view of an empty store lies far north of the project.
    start();
    EXPECT_EQ(state().view.View_X_Min, view::kMaxViewOriginX);
    EXPECT_EQ(state().view.View_Y_Min, view::kMaxViewOriginY);
    EXPECT_EQ(state().view.View_Height_Units, view::kMaxViewHeight);
    EXPECT_GT(state().drawings.count(), 0);
    EXPECT_GT(state().rasters.count(), 0);
    const QImage picture = map()->picture();
    EXPECT_EQ(picture.size(), map()->size());
    EXPECT_GT(coloured_pixels(picture), 2000);
    EXPECT_EQ(map()->pointer(), state().interaction.Cursor_Style + 1);
}

TEST_F(StartUp, TheLastRunsViewComesBackOverTheProject) {
    settings::put(state::kProgramTitle, "Startup", "Origin_X", "49500000");
    settings::put(state::kProgramTitle, "Startup", "Origin_Y", "36900000");
    settings::put(state::kProgramTitle, "Startup", "WorldHeight", "40000");
    start();
    EXPECT_EQ(state().view.View_X_Min, 49500000);
    EXPECT_EQ(state().view.View_Y_Min, 36900000);
    EXPECT_EQ(state().view.View_Height_Units, 40000);
    EXPECT_GT(coloured_pixels(map()->picture()), 2000);
}

TEST_F(StartUp, MissingProjectIsExplainedEndsTheRunWithAFailureAndSavesNothing) {
    settings::put(state::kProgramTitle, "Startup", "WorldHeight", "40000");
    fs::remove(data_.path() / "tavi.zpj");
    start();
    EXPECT_TRUE(frame_->ended());
    EXPECT_EQ(frame_->exit_code(), 1);
    EXPECT_FALSE(frame_->isVisible());
    EXPECT_EQ(state().rasters.count(), 0);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].find(data_.folder()), std::string::npos) << boxes_[0];
    EXPECT_NE(boxes_[0].find("tavi.zpj"), std::string::npos) << boxes_[0];
    EXPECT_EQ(stored("Startup", "WorldHeight"), "40000");
}

TEST_F(StartUp, AScaleBarStoredOutsideTheMapIsBroughtBackInside) {
    // -45 is what a window not yet laid out gave for "no stored place" (0).
    for (const char *stored_y : {"-45", "0"}) {
        SCOPED_TRACE(stored_y);
        settings::put(state::kProgramTitle, "Display", "Bar Origin Y", stored_y);
        start();
        const auto &b = state().boxes;
        EXPECT_GE(b.bar_top, 0);
        EXPECT_LE(b.bar_bottom, map()->height());
        const int place = map()->height() - 75;
        EXPECT_EQ(state().furniture.Bar_Origin_Y, place);
        frame_->close(); // the place kept is inside the map
        EXPECT_EQ(stored("Display", "Bar Origin Y"), std::to_string(place));
        stop();
    }
}

TEST_F(StartUp, TheSearchBufferButtonNamesTheBufferInForce) {
    start();
    EXPECT_EQ(state().settings.Search_Buffer, 10000.0);
    auto *button = frame_->control_panel()->findChild<QPushButton *>("SetBuf");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text().toStdString(), "Set Search Buffer  100 metres wide");
}

TEST_F(StartUp, ThePanelComesBackWhereItWasLeftAndNeverOffTheScreen) {
    start();
    app::CtrlPanel *panel = frame_->control_panel();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    panel->move(screen.topLeft() + QPoint(140, 90));
    frame_->close();
    EXPECT_EQ(stored("Control Panel", "Left"), std::to_string(screen.left() + 140));
    EXPECT_EQ(stored("Control Panel", "Top"), std::to_string(screen.top() + 90));
    start();
    EXPECT_EQ(frame_->control_panel()->frameGeometry().topLeft(),
              screen.topLeft() + QPoint(140, 90));

    // A place off every screen (another monitor, gone) gives the frame's corner, and a
    // title bar above the screen is brought down onto it.
    settings::put(state::kProgramTitle, "Control Panel", "Left", "-5000");
    settings::put(state::kProgramTitle, "Control Panel", "Top", "-5000");
    start();
    panel = frame_->control_panel();
    EXPECT_EQ(panel->pos(), frame_->mapToGlobal(QPoint(0, 0)));
    panel->move(screen.left() + 50, screen.top() - 200);
    EXPECT_GE(panel->frameGeometry().top(), screen.top());
}

TEST_F(StartUp, SkippedAndDamagedFilesAreCountedAndListedAndTheRestLoads) {
    // The project lists a drawing that is not there and one whose index is torn.
    std::ofstream(data_.path() / "tavi.zpj", std::ios::app) << "\r\nlost_period.drw\r\n";
    std::ofstream(data_.path() / "roman_colonia.zix", std::ios::app) << "torn";
    start();
    EXPECT_FALSE(frame_->ended());
    EXPECT_GT(state().drawings.count(), 8);
    EXPECT_FALSE(fs::exists(data_.path() / "lost_period.drw")) << "nothing is created";
    ASSERT_EQ(state().problems.size(), 2u);
    EXPECT_EQ(frame_->status_text(1),
              "All Data Loaded, 2 files skipped or damaged (see Problems) Click Left to Open "
              "Control Panel");
    auto *problems = frame_->control_panel()->findChild<QPushButton *>("Problems");
    ASSERT_NE(problems, nullptr);
    EXPECT_TRUE(problems->isVisible());
    app::CtrlPanel *panel = frame_->control_panel();
    std::vector<std::string> shown;
    panel->set_message_box([&](const std::string &t) { shown.push_back(t); });
    QTest::mouseClick(problems, Qt::LeftButton);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("lost_period.drw"), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find("roman_colonia.zix"), std::string::npos) << shown[0];
}

TEST_F(StartUp, AFolderGivenForTheRunIsShownAndTheStoredOneKept) {
    settings::put(state::kSettingsApplication, "Startup", "CD Drive", "/media/disc/data/");
    stop();
    frame_ = std::make_unique<frmMain>("/nonexistent/");
    frame_->set_message_box([this](const std::string &t) { boxes_.push_back(t); });
    frame_->set_run_data_folder(data_.path().string()); // without its separator
    frame_->Form_Load();
    EXPECT_FALSE(frame_->ended());
    EXPECT_EQ(state().settings.Data_Folder, data_.folder());
    EXPECT_GT(state().drawings.count(), 0);
    frame_->close();
    EXPECT_EQ(settings::get(state::kSettingsApplication, "Startup", "CD Drive", ""),
              "/media/disc/data/");
}

class EndOfRun : public WindowsTest {};

TEST_F(EndOfRun, ClosingTheFrameKeepsTheViewAndFurniture) {
    start();
    map()->Zoom(0.5);
    const auto v = state().view;
    state().furniture.Bar_Origin_X = 321;
    frame_->close();
    EXPECT_EQ(stored("Startup", "WorldHeight"), std::to_string(v.View_Height_Units));
    EXPECT_EQ(stored("Startup", "Origin_X"), std::to_string(static_cast<int64_t>(v.View_X_Min)));
    EXPECT_EQ(stored("Startup", "Origin_Y"), std::to_string(static_cast<int64_t>(v.View_Y_Min)));
    EXPECT_EQ(stored("Startup", "Grid_spacing"), "100000");
    EXPECT_EQ(stored("Display", "Bar Origin X"), "321");
    EXPECT_NE(stored("Colours", " 255"), "<none>");
    EXPECT_EQ(state().rasters.count(), 0); // the rasters went with the frame

    // The next run reads them back: the scale bar stands where it was left.
    start();
    EXPECT_EQ(state().furniture.Bar_Origin_X, 321);
    EXPECT_EQ(state().boxes.bar_left, 322);
}

TEST_F(EndOfRun, SettingsThatCannotBeWrittenAreReportedOnce) {
    start();
    // The configuration folder is a file: nothing can be made under it, whoever runs.
    ScopedEnv blocked("XDG_CONFIG_HOME", config_.write("blocked", "x"));
    frame_->close();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].find("could not be written"), std::string::npos) << boxes_[0];
}

TEST_F(EndOfRun, MinimisedFrameLeavesTheStoreAlone) {
    start();
    settings::put(state::kProgramTitle, "Startup", "WorldHeight", "12345");
    frame_->showMinimized();
    frame_->close();
    EXPECT_EQ(stored("Startup", "WorldHeight"), "12345");
    EXPECT_EQ(stored("Colours", " 255"), "<none>");
}

TEST_F(EndOfRun, ExitButtonSavesAndEndsWithSuccess) {
    start();
    frame_->end_tavi();
    EXPECT_TRUE(frame_->ended());
    EXPECT_EQ(frame_->exit_code(), 0);
    EXPECT_EQ(stored("Startup", "WorldHeight"), std::to_string(view::kMaxViewHeight));
    EXPECT_FALSE(frame_->isVisible());
}

} // namespace
