// The viewer's real windows, built as the program builds them, on a copy of the sample
// project and a settings store of their own; the texts written to the status bar are
// recorded in order.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/panel/ctrl_panel.h"
#include "app/windows/frm_drawing.h"
#include "app/windows/frm_main.h"
#include "interrogation/mouse_tools.h"
#include "platform/base/settings.h"
#include "project/app_state.h"
#include "project/settings.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "view/transform.h"

namespace windows_test {

namespace fs = std::filesystem;

inline const fs::path kBuild = TAVI_BUILD_DIR;
inline const fs::path kSampleData = kBuild / "share" / "tavi" / "data";

using testing_support::ScopedEnv;

// Pixels of the picture that are neither white nor grey: drawn map colours.
inline long coloured_pixels(const QImage &image) {
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    long n = 0;
    for (int y = 0; y < img.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
            if (std::max({r, g, b}) - std::min({r, g, b}) > 24)
                ++n;
        }
    }
    return n;
}

class WindowsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "windows_tests";
        static char *argv[] = {name, nullptr};
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        if (QApplication::instance() == nullptr)
            new QApplication(argc, argv); // lives for the rest of the program
    }

    WindowsTest() : config_env_("XDG_CONFIG_HOME", config_.path().string()) {
        std::error_code ec;
        fs::copy(kSampleData, data_.path(), fs::copy_options::recursive, ec);
        EXPECT_FALSE(ec) << "the sample project is built into " << kSampleData;
    }

    ~WindowsTest() override { stop(); }

    // The program's start: a fresh state and frame, then the frame's load step.
    void start() {
        stop();
        frame_ = std::make_unique<frmMain>(data_.folder());
        // Messages are recorded, not shown: a test has no one to press OK.
        frame_->set_message_box([this](const std::string &t) { boxes_.push_back(t); });
        QObject::connect(frame_.get(), &frmMain::status_written,
                         [this](int panel, const QString &text) {
                             written_.emplace_back(panel, text.toStdString());
                         });
        frame_->Form_Load();
        QApplication::processEvents();
    }

    // The frame and the state go; the settings store stays for the next start.
    void stop() {
        frame_.reset();
        written_.clear();
        boxes_.clear();
    }

    frmDrawing *map() { return frame_->map_window(); }
    project::AppState &state() { return frame_->state(); }

    // Texts written to a status-bar panel, in order.
    std::vector<std::string> texts(int panel) const {
        std::vector<std::string> out;
        for (const auto &[p, t] : written_)
            if (p == panel)
                out.push_back(t);
        return out;
    }

    // The world point the map shows at a pixel of the map window.
    std::pair<int32_t, int32_t> world_at(QPoint p) {
        state::ViewState v = state().view;
        view::pixel_to_world(v, p.x(), p.y());
        return {v.Cursor_World_X, v.Cursor_World_Y};
    }

    // A left-button drag over the map, with the moves a hand makes.
    void drag(QPoint from, QPoint to) {
        QTest::mousePress(map(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(map(), from);
        QTest::mouseMove(map(), (from + to) / 2);
        QTest::mouseMove(map(), to);
        QTest::mouseRelease(map(), Qt::LeftButton, Qt::NoModifier, to);
    }

    // The pointer moving over the map with no button held.
    void hover(QPoint p) {
        QMouseEvent e(QEvent::MouseMove, QPointF(p), QPointF(map()->mapToGlobal(p)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(map(), &e);
    }

    static std::string stored(const char *section, const char *key) {
        return settings::get(state::kProgramTitle, section, key, "<none>");
    }

    testing_support::TempFolder config_;
    testing_support::TempFolder data_;
    ScopedEnv config_env_;
    std::unique_ptr<frmMain> frame_;
    std::vector<std::pair<int, std::string>> written_;
    std::vector<std::string> boxes_;
};

} // namespace windows_test
