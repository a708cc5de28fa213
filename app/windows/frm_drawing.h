// The map window: always maximised inside the main frame, it keeps the map in a
// picture of its own size that every drawing goes into, shows that picture on screen,
// and turns the mouse into the tools of the interrogation module. Navigation and the
// full redraw asked for by the control panel land here too.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>

#include "app/windows/map_window_api.h"
#include "interrogation/keyboard_pointer.h"
#include "interrogation/mouse_tools.h"
#include "project/session.h"
#include "state/ui_hooks.h"

class QMdiSubWindow;

class frmDrawing : public QWidget, public app::MapWindowApi {
  public:
    // The map shows the session's picture and draws through its state, contexts and hooks
    // (the status texts, pointer and events of the frame), which outlive the map.
    explicit frmDrawing(project::Session &session, QWidget *parent = nullptr);
    ~frmDrawing() override;

    // The map window's load (the session has started the library and made the map
    // fonts): the greys, the version banner, and the timer that shows the picture.
    void Form_Load();
    // The end of the run: the window may close.
    void Form_Unload();
    // The program is ending: a pan still waiting for its drag gives up.
    void end_waits();
    // The frame came back from being minimised: a redraw missed meanwhile is made now.
    void restored();

    // app::MapWindowApi
    void Redraw_Everything() override;
    void Zoom(double zoomby) override;
    void zoomext() override;
    void ZoomWindow() override;
    void Pan() override;
    void Draw_Grid(int flag) override;
    void set_pointer(int pointer) override;
    project::Session &session() override { return session_; }
    void maximise() override;
    void Flash_DRW(int32_t drnum, const std::string &ref, int32_t seekto) override;
    void show_picture() override { update(); }
    QRect screen_area() const override;
    void mark_place(int32_t x, int32_t y) override;
    void keyboard_pointer_to_centre() override;

    // The view that frames the project's drawings (Shift+Home, the map's menu); says so
    // when the drawings have no extent to frame.
    void zoom_to_data();
    // The keyboard's pointer: where Enter, Space and Shift+Enter click.
    const interrogation::KeyboardPointer &keyboard_pointer() const { return keyboard_pointer_; }

    // The grid reference of the last place the pointer was over the map, as copied.
    std::string pointer_grid_reference() const;
    // Puts it on the clipboard and says so (Ctrl+C over the map, its context menu).
    void copy_grid_reference();

    // The pointer number the map shows now.
    int pointer() const { return pointer_; }
    // The map as drawn so far (what the screen shows at the next refresh).
    const QImage &picture();
    // The searches the point tools start; empty until they are written.
    interrogation::Searches &searches() { return searches_; }
    bool refresh_timer_running() const { return refresh_.isActive(); }

    // What the map asks of the frame around it.
    std::function<void(const std::string &)> show_grid_ref;    // status-bar panel 3
    std::function<void(const std::string &)> show_raster_name; // status-bar panel 2
    std::function<void()> open_panel;                          // the control panel's focus
    std::function<void()> show_panel;                          // the control panel shown again
    std::function<bool()> frame_minimised;
    // The map tool may have changed (chosen, ended by a search, dropped).
    std::function<void()> tool_changed;

    // Colours of the map window, red in the low byte.
    gdi::Colour Very_light_Grey = 0;
    gdi::Colour Light_Grey = 0;
    gdi::Colour Dark_Grey = 0;

  protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

  private:
    QMdiSubWindow *sub_window() const;
    bool minimised() const;
    // The picture has the window's size and the screen's device pixel ratio.
    bool picture_fits();
    interrogation::MapMouse mouse();
    // No load, drawing or drag is under way: the wheel and the keys may move the map.
    bool navigation_idle() const;
    // The keys that move the keyboard's pointer and click with it; false for other keys.
    bool keyboard_pointer_key(QKeyEvent *event);
    // Tells tool_changed when the tool is no longer the one given.
    void after_tool_event(state::ToolCode before);
    // The focus frame and the keyboard's pointer, over the picture on the screen only.
    void paint_focus(QPainter &p);

    project::Session &session_; // the picture, Map_DC drawing into it, the state
    project::AppState &state_;
    const state::UiHooks &ui_;
    QTimer refresh_;
    QTimer resize_redraw_; // restarted by every resize; the map is drawn when it fires
    interrogation::DragRecord drag_;
    interrogation::Searches searches_;
    interrogation::MapWindowHooks mouse_hooks_;
    int pointer_ = state::kPointerDefault;
    bool loaded_ = false;
    bool unloaded_ = false;
    bool ending_ = false;
    bool maximise_queued_ = false;
    bool missed_redraw_ = false;         // a redraw came while minimised and drew nothing
    bool after_double_click_ = false;    // the next release ends a double click
    bool right_press_was_tools_ = false; // the menu the right button brings is not the map's
    interrogation::KeyboardPointer keyboard_pointer_;
    bool flashing_ = false;           // a drawn object is being flashed
    bool redraw_after_flash_ = false; // a redraw asked for meanwhile
    int wheel_eighths_ = 0;           // wheel turns not yet a whole notch
    int redraws_ = 0;                 // full redraws so far: a mark outlives none
    QTimer unmark_;                   // takes the place mark away again
    QPoint mark_at_;                  // where the mark is drawn
    int mark_redraw_ = -1;            // the redraw the mark was drawn over; -1: no mark
};
