// A control panel on a fresh application state, beside a map window that only records
// what it is asked to do, in order, together with the status texts and the moments the
// panel lets window events run.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/panel/ctrl_panel.h"
#include "app/panel/period_grid.h"
#include "app/windows/map_window_api.h"
#include "drawing/display.h"
#include "platform/surface/gdi.h"
#include "project/session.h"
#include "raster/raster_loading.h"
#include "view/navigation.h"
#include "view/transform.h"

namespace paneltest {

class RecordingMap : public app::MapWindowApi {
  public:
    RecordingMap(project::Session &session, std::vector<std::string> &log)
        : session_(session), log_(log) {}

    void Redraw_Everything() override { log_.push_back("Redraw"); }
    void Zoom(double zoomby) override {
        std::ostringstream s;
        s << "Zoom " << zoomby;
        log_.push_back(s.str());
    }
    // The drawings registered by a load are drawn at once, so the view must be real.
    void zoomext() override {
        log_.push_back("zoomext");
        session_.set_maximum_view();
        const QImage &picture = session_.picture();
        view::Prepare_View(session_.state().view, session_.dc(), picture.width(), picture.height());
    }
    void ZoomWindow() override { log_.push_back("ZoomWindow"); }
    void Pan() override {
        log_.push_back("Pan");
        if (during_pan)
            during_pan();
    }
    void Draw_Grid(int flag) override { log_.push_back("Draw_Grid " + std::to_string(flag)); }
    void set_pointer(int pointer) override { log_.push_back("pointer " + std::to_string(pointer)); }
    project::Session &session() override { return session_; }
    void maximise() override { log_.push_back("maximise"); }
    void show_picture() override { log_.push_back("show_picture"); }
    void Flash_DRW(int32_t drnum, const std::string &ref, int32_t seekto) override {
        log_.push_back("Flash_DRW " + std::to_string(drnum) + " " + ref + " " +
                       std::to_string(seekto));
    }

    std::function<void()> during_pan;

  private:
    project::Session &session_;
    std::vector<std::string> &log_;
};

// The user's pointer choice in these tests; its idle pointer (7) is no other pointer
// the panel sets.
constexpr int kCursorStyle = 6;
inline const std::string kIdlePointer = "pointer 7";

class Harness {
  public:
    Harness() : session(400, 300, ui), state(session.state()), map(session, log) {
        state.interaction.Cursor_Style = kCursorStyle;
        ui.status_message = [this](const std::string &m) { messages.push_back(m); };
        ui.process_events = [this] {
            log.push_back("events");
            if (on_events)
                on_events();
        };
    }

    // The panel is made on demand, so that a test can prepare the state it starts from.
    app::CtrlPanel &panel() {
        if (!panel_) {
            panel_ = std::make_unique<app::CtrlPanel>(map, ui, [this] { ++ended; });
            panel_->set_colour_picker([this](int32_t current) -> std::optional<int32_t> {
                picker_starts.push_back(current);
                return next_colour;
            });
            panel_->set_input_box(
                [this](const std::string &title, const std::string &prompt,
                       const std::string &proposal) -> std::optional<std::string> {
                    input_questions.push_back({title, prompt, proposal});
                    return next_answer;
                });
            panel_->set_message_box([this](const std::string &m) { boxes.push_back(m); });
            panel_->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(panel_.get()));
        }
        return *panel_;
    }
    std::unique_ptr<app::CtrlPanel> take_panel() { return std::move(panel_); }

    template <class T> T *control(const char *name) {
        T *w = panel().findChild<T *>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QWidget *toolbar_button(const char *key) {
        auto *bar = control<QToolBar>("Toolbar1");
        QAction *action = panel().findChild<QAction *>(key);
        EXPECT_NE(action, nullptr) << key;
        return bar != nullptr && action != nullptr ? bar->widgetForAction(action) : nullptr;
    }
    void click(QWidget *w) {
        ASSERT_NE(w, nullptr);
        QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
    }
    void click_toolbar(const char *key) { click(toolbar_button(key)); }
    // A double click as the window system delivers it: press, release, then the
    // double-click press and its release.
    void double_click_cell(int column, int row) {
        app::PeriodGrid *g = grid();
        const QPoint at = g->visualItemRect(g->item(row - 1, column - 1)).center();
        QTest::mousePress(g->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, at);
    }
    std::string help_text() {
        return control<QPlainTextEdit>("Text2")->toPlainText().toStdString();
    }
    app::PeriodGrid *grid() { return control<app::PeriodGrid>("vaSpread1"); }

    void add_drawings(int n) {
        for (int i = 1; i <= n; ++i) {
            state::DrawingEntry e;
            e.file_name = "/nowhere/drawing" + std::to_string(i) + ".drw";
            state.drawings.add(e);
        }
    }
    int count(const std::string &call) const {
        return static_cast<int>(std::count(log.begin(), log.end(), call));
    }

    std::vector<std::string> log;
    std::vector<std::string> messages;
    std::vector<std::string> boxes;
    state::UiHooks ui;
    project::Session session; // a real one: the panel loads projects through it
    project::AppState &state;
    RecordingMap map;
    std::function<void()> on_events;
    int ended = 0;

    std::optional<int32_t> next_colour;
    std::vector<int32_t> picker_starts;
    struct Question {
        std::string title, prompt, proposal;
    };
    std::optional<std::string> next_answer;
    std::vector<Question> input_questions;

  private:
    std::unique_ptr<app::CtrlPanel> panel_;
};

} // namespace paneltest
