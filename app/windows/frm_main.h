// The main frame: one window holding the map (always maximised inside it) and the
// status bar through which every part of the program talks to the user. Its load step
// starts the program in a fixed order - map window, settings, control panel, project -
// and its unload step saves the settings and lets the rasters go.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>
#include <string>

#include "project/session.h"
#include "state/ui_hooks.h"
#include "view/navigation.h"

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class frmDrawing;

namespace app {
class CtrlPanel;
class MapSearches;
} // namespace app

class frmMain : public QMainWindow {
    Q_OBJECT

  public:
    // default_data_folder: where the data are when the settings do not say. The frame
    // holds the program's session (its state and the map's picture) for the whole run.
    explicit frmMain(std::string default_data_folder, QWidget *parent = nullptr);

    // A data folder for this run only (given on the command line): it is shown instead
    // of the one the settings name, which stays as it was.
    void set_run_data_folder(std::string folder) { run_data_folder_ = std::move(folder); }
    ~frmMain() override;

    // The frame's load step: the map window, the settings, the control panel, and the
    // project. May end the program (no project): see ended().
    void Form_Load();

    // Status bar: panel 1 messages (empty: the version banner), panel 2 the name of a
    // raster clicked on, panel 3 the pointer's coordinates (empty: "Grid Ref.").
    void Status_Message(const std::string &text);
    void Status_Raster_Name(const std::string &text);
    void Status_Grid_Ref(const std::string &text);
    std::string status_text(int panel) const;

    // Ends the program: rasters freed, the frame unloaded (settings saved unless it is
    // minimised), then the event loop told to stop with the exit code. Without a project
    // it tells the user which folder lacks it, keeps the stored settings as they were
    // and ends with a failure.
    void end_tavi();
    // A request to terminate (a signal): any message open is closed unanswered and no
    // other is shown, then the frame closes as the user would close it.
    void terminate();
    bool ended() const { return ended_; }
    int exit_code() const { return exit_code_; }

    frmDrawing *map_window() const { return map_; }
    app::CtrlPanel *control_panel() const { return panel_; }
    // The searches of the map's tools and their result windows.
    app::MapSearches *map_searches() const { return searches_.get(); }
    const state::UiHooks &ui() const { return ui_; }
    project::Session &session() { return *session_; }
    project::AppState &state() { return session_->state(); }
    // The message box every part of the program uses (tests answer it themselves).
    void set_message_box(std::function<void(const std::string &)> box);
    // What makes one beep's sound (tests count them). Beeps asked for one after another
    // are sounded apart, so that two are heard as two.
    void set_beep_sound(std::function<void()> sound) { beep_sound_ = std::move(sound); }

    // "TAVI   Version M.m.r", the program's own version.
    static std::string version_banner();
    // "M.m.r", the program's own version.
    static std::string version_number();

  signals:
    // Every text written to a status-bar panel (1 to 3), as written.
    void status_written(int panel, const QString &text);

  protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    // The steps of the load: the map window in the frame, the stored settings (giving the
    // last run's view), and that view shown once the project is in.
    void create_map_window();
    view::StoredView load_settings();
    void show_last_view(const view::StoredView &last_view);
    void Form_Unload();
    // Where the user left the panel; false on a first start (no place kept): the panel
    // then waits for the map and goes where it hides least of it (place_panel_over_map).
    bool place_panel();
    void place_panel_over_map();
    void save_panel_place();
    void beep();
    void cover_screen();
    void write_panel(int panel, const std::string &text);

    std::string default_data_folder_;
    std::string run_data_folder_;
    state::UiHooks ui_; // before the session, which talks through it
    std::unique_ptr<project::Session> session_;
    project::AppState &state_;
    QMdiArea *mdi_ = nullptr;
    QLabel *panels_[3] = {nullptr, nullptr, nullptr};
    frmDrawing *map_ = nullptr;
    QMdiSubWindow *map_sub_ = nullptr;
    app::CtrlPanel *panel_ = nullptr;
    std::unique_ptr<app::MapSearches> searches_;
    bool loaded_ = false;
    bool unloaded_ = false;
    bool loading_project_ = false;
    bool keep_stored_settings_ = false; // the run ends before it had anything worth keeping
    bool terminating_ = false;
    std::function<void()> beep_sound_;
    QElapsedTimer since_start_;
    qint64 next_beep_ms_ = 0; // the earliest moment the next beep may sound
    bool ended_ = false;
    int exit_code_ = 0;
};
