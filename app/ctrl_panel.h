// The control panel: the tool window beside the map from which the user picks what the
// mouse does in the map, switches the period maps and their colours, sets the search
// buffer, refreshes the display and leaves the program. It also loads the project at
// start-up. Every action ends in a call into the map window or the shared state; the
// panel keeps nothing of its own beyond its controls.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/map_window_api.h"
#include "project/app_state.h"
#include "state/ui_hooks.h"

class QAction;
class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QToolBar;

namespace app {

class PeriodGrid;

// Modal questions, replaceable so that tests (and scripted runs) answer them.
// The input box returns the text typed, or nothing when the user cancelled.
using InputBox = std::function<std::optional<std::string>(
    const std::string &title, const std::string &prompt, const std::string &proposal)>;
// The colour dialog starts from current (RGB, red in the low byte) and returns the
// colour chosen, or nothing when the user cancelled.
using ColourPicker = std::function<std::optional<int32_t>(int32_t current)>;
// A message with an OK button.
using MessageBox = std::function<void(const std::string &text)>;

class CtrlPanel : public QWidget {
  public:
    CtrlPanel(project::AppState &state, app::MapWindowApi &map, const state::UiHooks &ui,
              std::function<void()> end_tavi, QWidget *parent = nullptr);
    ~CtrlPanel() override;

    // Loads the project of the data folder: rasters and drawings in the order the
    // project lists them, then the grid, and tells the user how to open the panel.
    // Ends the program through end_tavi when there is no project file.
    void LoadData();

    // A toolbar button pressed, by its key. Keys that name no button still put the
    // map's idle pointer back.
    void Toolbar1_ButtonClick(const std::string &key);

    // The search-buffer button's caption from the buffer in force.
    void show_search_buffer();

    void set_input_box(InputBox box) { input_box_ = std::move(box); }
    void set_colour_picker(ColourPicker picker) { colour_picker_ = std::move(picker); }
    void set_message_box(MessageBox box) { message_box_ = std::move(box); }

  protected:
    void changeEvent(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

  private:
    void build_toolbar();
    void build_switches();
    void build_buttons();

    void help(const char *text);
    void vaSpread1_ButtonClicked(int column, int row);
    void vaSpread1_DblClick(int column, int row);
    void Check2_Click();
    void fillpoly_Click();
    void LOADrasta_Click();
    void SetBuf_Click();
    void show_problems();
    // Brings the title bar back onto the screen when it lies beyond it.
    void keep_title_bar_on_screen();
    // Ticks, colours and the background switch as the loaded project has them.
    void sync_with_project();
    void end();

    project::AppState &state_;
    app::MapWindowApi &map_;
    state::UiHooks ui_; // a copy: the caller's hooks may be a temporary
    std::function<void()> end_tavi_;
    InputBox input_box_;
    ColourPicker colour_picker_;
    MessageBox message_box_;

    QToolBar *Toolbar1_ = nullptr;
    QPlainTextEdit *Text2_ = nullptr;
    PeriodGrid *vaSpread1_ = nullptr;
    QCheckBox *Check2_ = nullptr;
    QCheckBox *fillpoly_ = nullptr;
    QCheckBox *LOADrasta_ = nullptr;
    QPushButton *SetBuf_ = nullptr;
    QPushButton *Command2_ = nullptr;
    QPushButton *Command3_ = nullptr;
    QPushButton *Problems_ = nullptr;
};

} // namespace app
