#include "app/windows/frm_drawing.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>

#include <cmath>
#include <optional>
#include <utility>

#include "app/shared/accessible.h"
#include "drawing/data_extent.h"
#include "drawing/flash.h"
#include "platform/surface/pointer_shapes.h"
#include "view/furniture.h"
#include "view/grid_ref.h"
#include "view/navigation.h"
#include "view/redraw.h"
#include "view/transform.h"

namespace {

// How often the picture reaches the screen while it is being drawn.
constexpr int kRefreshMs = 200;
// How long the window's size must hold still before the map is drawn at it.
constexpr int kResizeSettleMs = 80;
// One notch of a mouse wheel, in eighths of a degree.
constexpr int kWheelNotch = 120;
// How long the mark on a place gone to stays.
constexpr int kPlaceMarkMs = 1500;

int button_code(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton:
        return interrogation::kLeftButton;
    case Qt::RightButton:
        return interrogation::kRightButton;
    case Qt::MiddleButton:
        return interrogation::kMiddleButton;
    default:
        return interrogation::kNoButton;
    }
}

int buttons_code(Qt::MouseButtons b) {
    int code = interrogation::kNoButton;
    if (b & Qt::LeftButton)
        code |= interrogation::kLeftButton;
    if (b & Qt::RightButton)
        code |= interrogation::kRightButton;
    if (b & Qt::MiddleButton)
        code |= interrogation::kMiddleButton;
    return code;
}

int shift_code(Qt::KeyboardModifiers m) {
    int code = interrogation::kNoShift;
    if (m & Qt::ShiftModifier)
        code |= interrogation::kShift;
    if (m & Qt::ControlModifier)
        code |= interrogation::kCtrl;
    if (m & Qt::AltModifier)
        code |= interrogation::kAlt;
    return code;
}

} // namespace

frmDrawing::frmDrawing(project::Session &session, QWidget *parent)
    : QWidget(parent), session_(session), state_(session.state()), ui_(session.ui()) {
    setObjectName("frmDrawing");
    setWindowTitle("Map");
    app::describe(this, "Map",
                  "The map of the city: the period maps, the background map and the plotted "
                  "sites in national-grid coordinates, with the grid, scale bar and north "
                  "point. The arrow keys pan, + and - zoom, Home shows it all, Shift+Home "
                  "the drawings; Shift and the arrow keys move the keyboard pointer, and with "
                  "a tool chosen Enter or Space clicks there, Shift+Enter ends a shape; the "
                  "control panel's tools say what a click does.");
    setMouseTracking(true);
    // The picture covers the window; what lies beyond it until the next redraw is
    // painted by paintEvent, so the toolkit need not clear anything first.
    setAttribute(Qt::WA_OpaquePaintEvent);

    resize_redraw_.setSingleShot(true);
    resize_redraw_.setInterval(kResizeSettleMs);
    connect(&resize_redraw_, &QTimer::timeout, this, [this] {
        if (!unloaded_ && !minimised() && !picture_fits())
            Redraw_Everything();
    });
    setFocusPolicy(Qt::StrongFocus);

    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, [this] {
        if (state_.interaction.Refresh_Mode == 1)
            update();
    });
    unmark_.setSingleShot(true);
    unmark_.setInterval(kPlaceMarkMs);
    connect(&unmark_, &QTimer::timeout, this, [this] {
        // A redraw since has wiped the mark with everything else.
        if (std::exchange(mark_redraw_, -1) != redraws_ || unloaded_)
            return;
        view::Draw_Place_Mark(session_.dc(), mark_at_.x(), mark_at_.y());
        update();
    });
    // However the program ends, a waiting pan must not keep it alive.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { end_waits(); });

    mouse_hooks_.ui = ui_;
    mouse_hooks_.pointer = [this] { return pointer_; };
    mouse_hooks_.grid_ref = [this](const std::string &t) {
        if (show_grid_ref)
            show_grid_ref(t);
    };
    mouse_hooks_.raster_name = [this](const std::string &t) {
        if (show_raster_name)
            show_raster_name(t);
    };
    mouse_hooks_.redraw = [this] { Redraw_Everything(); };
    mouse_hooks_.repaint = [this] { update(); };
    mouse_hooks_.refresh_timer = [this](bool on) {
        if (on)
            refresh_.start();
        else
            refresh_.stop();
    };
    mouse_hooks_.open_panel = [this] {
        maximise();
        if (open_panel)
            open_panel();
    };
}

frmDrawing::~frmDrawing() = default;

void frmDrawing::Form_Load() {
    Very_light_Grey = gdi::rgb(240, 240, 240);
    Light_Grey = gdi::rgb(225, 225, 225);
    Dark_Grey = gdi::rgb(180, 180, 180);
    ui_.message("");
    refresh_.start();
    loaded_ = true;
}

void frmDrawing::Form_Unload() {
    if (unloaded_)
        return;
    refresh_.stop();
    unloaded_ = true;
    end_waits();
}

void frmDrawing::end_waits() {
    ending_ = true;
}

void frmDrawing::restored() {
    if (missed_redraw_)
        Redraw_Everything();
}

QMdiSubWindow *frmDrawing::sub_window() const {
    return qobject_cast<QMdiSubWindow *>(parentWidget());
}

bool frmDrawing::minimised() const {
    if (frame_minimised && frame_minimised())
        return true;
    const QMdiSubWindow *sub = sub_window();
    return window()->isMinimized() || (sub && sub->isMinimized());
}

const QImage &frmDrawing::picture() {
    return session_.picture();
}

bool frmDrawing::picture_fits() {
    const QImage &img = session_.picture();
    return img.deviceIndependentSize().toSize() == size() &&
           img.devicePixelRatio() == devicePixelRatioF();
}

void frmDrawing::Redraw_Everything() {
    if (unloaded_)
        return;
    if (flashing_) {
        redraw_after_flash_ = true;
        return;
    }
    const bool is_minimised = minimised();
    // The picture takes the window's size here, at the redraw after a resize.
    if (!is_minimised && !size().isEmpty())
        session_.resize_picture(width(), height(), devicePixelRatioF());
    missed_redraw_ = is_minimised;
    // Every redraw sets the zoom box idle as it starts; one armed while it draws (the
    // redraw lets events in) stays armed.
    state_.navigation.Zoom_Window_State = state::NavigationState::Idle;
    // Whatever a rubber band left set, the map itself is drawn plainly.
    session_.dc().set_rop2(gdi::Rop2::CopyPen);
    ++redraws_;
    session_.redraw(is_minimised);
    // The redraw wiped the buffer circle off the picture: the next one has nothing to
    // remove first.
    state_.interaction.Cursor_Fresh = true;
    // A view that left the keyboard's pointer behind brings it to its centre.
    interrogation::keep_keyboard_pointer_in_view(state_.view, keyboard_pointer_);
    update();
}

void frmDrawing::Zoom(double zoomby) {
    view::Zoom(
        state_.view, state_.navigation, zoomby, [this] { Redraw_Everything(); }, ui_);
}

void frmDrawing::zoomext() {
    view::zoomext(
        state_.view, [this] { Redraw_Everything(); }, ui_);
}

void frmDrawing::ZoomWindow() {
    view::ZoomWindow(state_.navigation);
}

void frmDrawing::Pan() {
    state::UiHooks hooks = ui_;
    hooks.process_events = [this] {
        // Sleeps until something happens: the drag's own mouse events, the picture
        // timer, or the end of the program.
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (ending_)
            state_.navigation.Pan_State = state::NavigationState::Idle;
    };
    if (ending_)
        return;
    view::Pan(state_.navigation, hooks);
}

void frmDrawing::Draw_Grid(int flag) {
    view::Draw_Grid(state_.view, state_.furniture, state_.boxes, session_.dc(), ui_, flag);
    update();
}

void frmDrawing::set_pointer(int pointer) {
    pointer_ = pointer;
    setCursor(pointers::pointer_shape(pointer));
}

void frmDrawing::Flash_DRW(int32_t drnum, const std::string &ref, int32_t seekto) {
    // One flash at a time: a click let in while one runs is not a second flash.
    if (unloaded_ || minimised() || flashing_)
        return;
    // Each pass is shown as soon as it is drawn, not at the next tick of the timer nor
    // after the pause that keeps it on the screen.
    state::UiHooks hooks = ui_;
    hooks.show_picture = [this] { repaint(); };
    hooks.process_events = [this] {
        repaint();
        QCoreApplication::processEvents();
    };
    const drawing::DisplayContext &base = session_.display_context();
    drawing::DisplayContext ctx =
        session_.display_context(base.view, base.dc, hooks, base.initial_font);
    session_.dc().set_rop2(gdi::Rop2::CopyPen);
    // The flash lets events in; a redraw they ask for (a double click that zooms) waits
    // until the flash has put the colours and the filling back.
    flashing_ = true;
    drawing::Flash_DRW(ctx, drnum, ref, seekto);
    flashing_ = false;
    if (std::exchange(redraw_after_flash_, false))
        Redraw_Everything();
    update();
}

QRect frmDrawing::screen_area() const {
    if (!isVisible())
        return {};
    return QRect(mapToGlobal(QPoint(0, 0)), size());
}

void frmDrawing::mark_place(int32_t x, int32_t y) {
    if (unloaded_ || minimised())
        return;
    // One mark at a time: an earlier one still drawn goes first.
    if (mark_redraw_ == redraws_)
        view::Draw_Place_Mark(session_.dc(), mark_at_.x(), mark_at_.y());
    int32_t px = 0, py = 0;
    view::world_to_pixel(state_.view, x, y, px, py);
    mark_at_ = QPoint(px, py);
    mark_redraw_ = redraws_;
    view::Draw_Place_Mark(session_.dc(), px, py);
    // The keyboard's pointer goes to the place gone to, ready to click there.
    keyboard_pointer_ = interrogation::KeyboardPointer{true, x, y};
    update();
    unmark_.start();
}

void frmDrawing::keyboard_pointer_to_centre() {
    if (state_.view.View_Scale <= 0.0)
        return;
    interrogation::centre_keyboard_pointer(state_.view, keyboard_pointer_);
    update();
}

void frmDrawing::zoom_to_data() {
    if (!navigation_idle())
        return;
    const std::optional<drawing::WorldExtent> data =
        drawing::drawings_extent(state_.drawings, session_.drawing_cache());
    if (!data) {
        ui_.message("The project's drawings have no extent to zoom to");
        return;
    }
    state_.interaction.Refresh_Mode = 1;
    view::Zoom_To_Extent(state_.view, data->x_min, data->y_min, data->x_max, data->y_max,
                         [this] { Redraw_Everything(); });
    keyboard_pointer_to_centre();
    set_pointer(state_.interaction.Cursor_Style + 1);
}

std::string frmDrawing::pointer_grid_reference() const {
    return view::grid_reference(state_.view.Cursor_World_X, state_.view.Cursor_World_Y);
}

void frmDrawing::copy_grid_reference() {
    const std::string ref = pointer_grid_reference();
    QGuiApplication::clipboard()->setText(QString::fromStdString(ref));
    ui_.message("Grid reference " + ref + " copied");
}

void frmDrawing::maximise() {
    if (QMdiSubWindow *sub = sub_window())
        sub->showMaximized();
}

interrogation::MapMouse frmDrawing::mouse() {
    interrogation::MouseState parts{state_.view,     state_.navigation, state_.interaction,
                                    state_.settings, state_.furniture,  state_.boxes,
                                    state_.rasters,  state_.progress};
    return interrogation::MapMouse{parts, drag_, session_.dc(), mouse_hooks_, searches_};
}

void frmDrawing::paintEvent(QPaintEvent *event) {
    const QImage &img = session_.picture();
    QPainter p(this);
    // A picture drawn at the screen's device pixel ratio lands pixel for pixel; moved to
    // a screen of another ratio, the window is drawn again for it.
    p.drawImage(0, 0, img);
    if (loaded_ && !unloaded_ && img.devicePixelRatio() != devicePixelRatioF() &&
        !resize_redraw_.isActive())
        resize_redraw_.start();
    // Until the next redraw gives the picture the window's new size.
    const QRect drawn(QPoint(0, 0), img.deviceIndependentSize().toSize());
    const QRegion beyond = QRegion(event->rect()).subtracted(QRegion(drawn));
    for (const QRect &r : beyond)
        p.fillRect(r, QColor::fromRgb(gdi::to_qrgb(view::kMapBackground)));
    if (hasFocus())
        paint_focus(p);
}

void frmDrawing::paint_focus(QPainter &p) {
    // Drawn on the screen, never into the picture: the rubber bands drawn there by
    // exclusive-or must find the picture as they left it.
    const QColor highlight = palette().color(QPalette::Highlight);
    p.setPen(QPen(highlight, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    if (!keyboard_pointer_.placed || state_.view.View_Scale <= 0.0)
        return;
    const interrogation::PixelPoint at =
        interrogation::keyboard_pointer_pixel(state_.view, keyboard_pointer_);
    const QPointF c(std::floor(at.x) + 0.5, std::floor(at.y) + 0.5);
    constexpr double kArm = 12.0, kGap = 3.0;
    const QLineF arms[] = {{c.x() - kArm, c.y(), c.x() - kGap, c.y()},
                           {c.x() + kGap, c.y(), c.x() + kArm, c.y()},
                           {c.x(), c.y() - kArm, c.x(), c.y() - kGap},
                           {c.x(), c.y() + kGap, c.x(), c.y() + kArm}};
    // Black on a white edge: seen on any map.
    p.setPen(QPen(Qt::white, 3));
    p.drawLines(arms, 4);
    p.setPen(QPen(Qt::black, 1));
    p.drawLines(arms, 4);
}

void frmDrawing::focusInEvent(QFocusEvent *event) {
    QWidget::focusInEvent(event);
    interrogation::keep_keyboard_pointer_in_view(state_.view, keyboard_pointer_);
    update();
}

void frmDrawing::focusOutEvent(QFocusEvent *event) {
    QWidget::focusOutEvent(event);
    update();
}

void frmDrawing::after_tool_event(state::ToolCode before) {
    if (state_.interaction.Tool_Code != before && tool_changed)
        tool_changed();
}

void frmDrawing::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    if (!loaded_ || unloaded_)
        return;
    // A drag of the frame's edge sends a burst of sizes: the map is drawn once, at the
    // size the burst ends with.
    resize_redraw_.start();
    if (maximise_queued_)
        return;
    // Always maximised, with the control panel beside it. Done once the resize is over,
    // not from inside it.
    maximise_queued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            maximise_queued_ = false;
            if (unloaded_)
                return;
            maximise();
            if (show_panel)
                show_panel();
        },
        Qt::QueuedConnection);
}

void frmDrawing::closeEvent(QCloseEvent *event) {
    // The map lives as long as the frame; only the end of the run closes it.
    if (unloaded_)
        event->accept();
    else
        event->ignore();
}

void frmDrawing::mousePressEvent(QMouseEvent *event) {
    // The map takes the keys once clicked, whatever the click does.
    setFocus(Qt::MouseFocusReason);
    const state::ToolCode before = state_.interaction.Tool_Code;
    // A right press that a tool takes (it ends a shape) brings no menu after it, even
    // when the tool has put itself down by the time the menu would open.
    if (event->button() == Qt::RightButton)
        right_press_was_tools_ = before != state::ToolCode::None || !navigation_idle();
    auto m = mouse();
    interrogation::Form_MouseDown(m, button_code(event->button()), shift_code(event->modifiers()),
                                  event->position().x(), event->position().y());
    after_tool_event(before);
}

void frmDrawing::mouseDoubleClickEvent(QMouseEvent *event) {
    // The toolkit sends the second press of a double click as a double click of its own.
    // It is not a second press: the tools act once per click, so a search or a digitised
    // vertex is not made twice, and the release after it is no second click either.
    after_double_click_ = true;
    event->accept();
}

void frmDrawing::mouseMoveEvent(QMouseEvent *event) {
    auto m = mouse();
    interrogation::Form_MouseMove(m, buttons_code(event->buttons()), shift_code(event->modifiers()),
                                  event->position().x(), event->position().y());
}

void frmDrawing::mouseReleaseEvent(QMouseEvent *event) {
    auto m = mouse();
    const double x = event->position().x();
    const double y = event->position().y();
    const int shift = shift_code(event->modifiers());
    interrogation::Form_MouseUp(m, button_code(event->button()), shift, x, y);
    // The drags end on the first move without the button; the release is that move, so
    // a drag ends where the button comes up, not when the pointer next stirs.
    const auto &nav = state_.navigation;
    if (nav.Pan_State == state::NavigationState::Dragging ||
        nav.Zoom_Window_State == state::NavigationState::Dragging ||
        state_.interaction.Scale_Bar_Dragging)
        interrogation::Form_MouseMove(m, buttons_code(event->buttons()), shift, x, y);
    const bool second_of_double = std::exchange(after_double_click_, false);
    if (event->button() == Qt::LeftButton && !second_of_double)
        interrogation::Form_Click(m);
}

bool frmDrawing::navigation_idle() const {
    const auto &ia = state_.interaction;
    const auto &nav = state_.navigation;
    return !ia.Data_Loading && !state_.progress.Drawing_In_Progress &&
           nav.Pan_State == state::NavigationState::Idle &&
           nav.Zoom_Window_State != state::NavigationState::Dragging && !ia.Scale_Bar_Dragging;
}

void frmDrawing::wheelEvent(QWheelEvent *event) {
    event->accept();
    if (!navigation_idle() || state_.view.View_Scale == 0.0)
        return;
    wheel_eighths_ += event->angleDelta().y();
    const int notches = wheel_eighths_ / kWheelNotch;
    if (notches == 0)
        return;
    wheel_eighths_ -= notches * kWheelNotch;
    // Away from the user zooms in: each notch halves the view about the pointer.
    state::ViewState probe = state_.view;
    if (!view::pixel_to_world(probe, event->position().x(), event->position().y()))
        return;
    view::Zoom_About(
        state_.view, state_.navigation, std::pow(0.5, notches), probe.Cursor_World_X,
        probe.Cursor_World_Y, [this] { Redraw_Everything(); }, ui_);
}

void frmDrawing::contextMenuEvent(QContextMenuEvent *event) {
    // The right button belongs to the tools while one is chosen (it ends a shape) and
    // stops a long drawing; only an idle map has a menu.
    const bool tools =
        event->reason() == QContextMenuEvent::Mouse && std::exchange(right_press_was_tools_, false);
    if (tools || state_.interaction.Tool_Code != state::ToolCode::None || !navigation_idle()) {
        event->ignore();
        return;
    }
    if (event->reason() == QContextMenuEvent::Mouse) {
        state::ViewState probe = state_.view;
        if (view::pixel_to_world(probe, event->pos().x(), event->pos().y())) {
            state_.view.Cursor_World_X = probe.Cursor_World_X;
            state_.view.Cursor_World_Y = probe.Cursor_World_Y;
        }
    }
    QMenu menu(this);
    menu.setObjectName("MapMenu");
    QAction *copy =
        menu.addAction("Copy Grid Reference " + QString::fromStdString(pointer_grid_reference()));
    copy->setObjectName("CopyGridReference");
    copy->setShortcut(QKeySequence::Copy);
    connect(copy, &QAction::triggered, this, [this] { copy_grid_reference(); });
    QAction *data = menu.addAction("Zoom to the Data");
    data->setObjectName("ZoomToData");
    data->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Home));
    connect(data, &QAction::triggered, this, [this] { zoom_to_data(); });
    menu.exec(event->globalPos());
    event->accept();
}

void frmDrawing::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::Copy)) {
        copy_grid_reference();
        event->accept();
        return;
    }
    if (!navigation_idle()) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (keyboard_pointer_key(event)) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Home && event->modifiers() == Qt::ShiftModifier) {
        zoom_to_data();
        event->accept();
        return;
    }
    const auto redraw = [this] { Redraw_Everything(); };
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        Zoom(0.5);
        break;
    case Qt::Key_Minus:
        Zoom(2);
        break;
    case Qt::Key_Left:
        view::Pan_By(state_.view, -0.25, 0.0, redraw);
        break;
    case Qt::Key_Right:
        view::Pan_By(state_.view, 0.25, 0.0, redraw);
        break;
    case Qt::Key_Up:
        view::Pan_By(state_.view, 0.0, 0.25, redraw);
        break;
    case Qt::Key_Down:
        view::Pan_By(state_.view, 0.0, -0.25, redraw);
        break;
    case Qt::Key_Home:
        zoomext();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    set_pointer(state_.interaction.Cursor_Style + 1);
    event->accept();
}

bool frmDrawing::keyboard_pointer_key(QKeyEvent *event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    int dx = 0, dy = 0;
    switch (key) {
    case Qt::Key_Left:
        dx = -1;
        break;
    case Qt::Key_Right:
        dx = 1;
        break;
    case Qt::Key_Up:
        dy = 1;
        break;
    case Qt::Key_Down:
        dy = -1;
        break;
    default:
        break;
    }
    if (dx != 0 || dy != 0) {
        // Shift moves it by a twentieth of the view, Ctrl+Shift by a pixel; the arrows
        // alone pan the map.
        if (mods != Qt::ShiftModifier && mods != (Qt::ShiftModifier | Qt::ControlModifier))
            return false;
        interrogation::move_keyboard_pointer(state_.view, keyboard_pointer_, dx, dy,
                                             mods & Qt::ControlModifier);
        auto m = mouse();
        interrogation::keyboard_pointer_moved(m, keyboard_pointer_);
        update();
        return true;
    }
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (!enter && key != Qt::Key_Space)
        return false;
    // A click belongs to the tool chosen; without one there is nothing to click for.
    const state::ToolCode before = state_.interaction.Tool_Code;
    if (before == state::ToolCode::None)
        return false;
    int button = interrogation::kLeftButton;
    if (enter && mods == Qt::ShiftModifier)
        button = interrogation::kRightButton;
    else if (mods != Qt::NoModifier)
        return false;
    if (!interrogation::keep_keyboard_pointer_in_view(state_.view, keyboard_pointer_))
        return false;
    auto m = mouse();
    interrogation::keyboard_click(m, keyboard_pointer_, button);
    after_tool_event(before);
    update();
    return true;
}
