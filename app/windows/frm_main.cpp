#include "app/windows/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/panel/ctrl_panel.h"
#include "app/results/map_searches.h"
#include "app/shared/app_icon.h"
#include "app/windows/frm_drawing.h"
#include "platform/base/files.h"
#include "platform/base/numbers.h"
#include "platform/base/settings.h"
#include "project/load_data.h"
#include "project/project_file.h"
#include "project/settings.h"
#include "view/furniture.h"
#include "view/navigation.h"
#include "view/redraw.h"
#include "view/window_place.h"

namespace {

constexpr const char *kGridRefPlaceholder = "Grid Ref.";
// Where the control panel was last left: a section of its own in the settings.
constexpr const char *kPanelSection = "Control Panel";

} // namespace

frmMain::frmMain(std::string default_data_folder, QWidget *parent)
    : QMainWindow(parent), default_data_folder_(std::move(default_data_folder)),
      session_(std::make_unique<project::Session>(1, 1, ui_)), state_(session_->state()) {
    setObjectName("frmMain");
    setWindowTitle("TAVI");
    setWindowIcon(app::app_icon());

    mdi_ = new QMdiArea(this);
    mdi_->setObjectName("MDIArea");
    setCentralWidget(mdi_);

    QStatusBar *bar = statusBar();
    bar->setObjectName("StatusBar1");
    for (int i = 0; i < 3; ++i) {
        panels_[i] = new QLabel(this);
        panels_[i]->setObjectName(QString("Panel%1").arg(i + 1));
        panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
    panels_[1]->setMinimumWidth(160);
    panels_[2]->setMinimumWidth(280);
    bar->addWidget(panels_[0], 1);
    bar->addPermanentWidget(panels_[1]);
    bar->addPermanentWidget(panels_[2]);
    panels_[0]->setText(QString::fromStdString(version_banner()));
    panels_[2]->setText(kGridRefPlaceholder);

    ui_.status_message = [this](const std::string &t) { Status_Message(t); };
    ui_.set_pointer = [this](int p) {
        if (map_)
            map_->set_pointer(p);
    };
    ui_.process_events = [] { QCoreApplication::processEvents(); };
    ui_.problem_found = [this](const std::string &p) { state_.problems.push_back(p); };
    beep_sound_ = [] { QApplication::beep(); };
    since_start_.start();
    ui_.beep_sound = [this] { beep(); };
    set_message_box({});

    // Ctrl+G from any of the program's windows: the panel's grid-reference field.
    auto *go_to = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this);
    go_to->setObjectName("GoToShortcut");
    go_to->setContext(Qt::ApplicationShortcut);
    connect(go_to, &QShortcut::activated, this, [this] {
        if (panel_ && loaded_ && !ended_)
            panel_->focus_go_to();
    });
}

void frmMain::beep() {
    // Two beeps sounded at once are heard as one.
    constexpr qint64 kBeepGapMs = 250;
    const qint64 now = since_start_.elapsed();
    const qint64 at = std::max(now, next_beep_ms_);
    next_beep_ms_ = at + kBeepGapMs;
    if (at == now) {
        if (beep_sound_)
            beep_sound_();
        return;
    }
    QTimer::singleShot(at - now, this, [this] {
        if (beep_sound_)
            beep_sound_();
    });
}

void frmMain::set_message_box(std::function<void(const std::string &)> box) {
    if (!box)
        box = [this](const std::string &text) {
            QMessageBox::warning(isVisible() ? this : nullptr, QStringLiteral("TAVI"),
                                 QString::fromStdString(text));
        };
    // Once the program is told to end, no message holds it up.
    ui_.message_box = [this, box = std::move(box)](const std::string &text) {
        if (!terminating_)
            box(text);
    };
}

frmMain::~frmMain() {
    // The windows read the session's state and draw into its picture: they go before
    // it does (the frame's own children would otherwise outlive its members).
    searches_.reset();
    delete panel_;
    delete map_sub_;
}

std::string frmMain::version_number() {
    return std::to_string(TAVI_VERSION_MAJOR) + "." + std::to_string(TAVI_VERSION_MINOR) + "." +
           std::to_string(TAVI_VERSION_PATCH);
}

std::string frmMain::version_banner() {
    return "TAVI   Version " + version_number();
}

void frmMain::write_panel(int panel, const std::string &text) {
    const QString q = QString::fromStdString(text);
    panels_[panel - 1]->setText(q);
    emit status_written(panel, q);
}

void frmMain::Status_Message(const std::string &text) {
    write_panel(1, text.empty() ? version_banner() : text);
}

void frmMain::Status_Raster_Name(const std::string &text) {
    write_panel(2, text);
}

void frmMain::Status_Grid_Ref(const std::string &text) {
    write_panel(3, text.empty() ? kGridRefPlaceholder : text);
}

std::string frmMain::status_text(int panel) const {
    if (panel < 1 || panel > 3)
        return {};
    return panels_[panel - 1]->text().toStdString();
}

void frmMain::cover_screen() {
    // Without a window manager to maximise it, the frame covers the screen's free area
    // itself.
    if (const QScreen *screen = QGuiApplication::primaryScreen(); screen && !isVisible())
        setGeometry(screen->availableGeometry());
}

void frmMain::Form_Load() {
    create_map_window();
    const view::StoredView last_view = load_settings();

    map_sub_->showMaximized();
    // Showing the map shows the frame holding it.
    showMaximized();
    map_sub_->show();
    QCoreApplication::processEvents();
    if (ended_) // closed as soon as it was shown
        return;

    panel_ = new app::CtrlPanel(
        *map_, ui_, [this] { end_tavi(); }, this);
    // Esc in the panel hands the keys back to the map.
    panel_->return_to_map = [this] {
        activateWindow();
        map_->setFocus(Qt::OtherFocusReason);
    };
    // The toolbar's keys work over the map as well as in the panel.
    if (const auto *tools = panel_->findChild<QToolBar *>("Toolbar1"))
        addActions(tools->actions());
    const bool placed = place_panel();
    searches_ = std::make_unique<app::MapSearches>(*map_, map_->searches(), ui_, *panel_, this);

    // Every run starts with plain polygons and a 1 km grid labelled in metres.
    project::start_of_run(state_);

    map_sub_->show();
    loading_project_ = true;
    panel_->LoadData();
    loading_project_ = false;
    if (ended_)
        return;
    show_last_view(last_view);
    if (ended_)
        return;

    // After the panel's own start value: a run starts with a 100 m buffer, and the
    // panel's button says so.
    state_.settings.Search_Buffer = state::kStartSearchBuffer;
    panel_->show_search_buffer();
    if (!placed)
        place_panel_over_map();
    panel_->show();
    loaded_ = true;
}

void frmMain::create_map_window() {
    // The session has prepared the library and the map fonts; the window adds its greys
    // and the banner.
    map_ = new frmDrawing(*session_);
    map_sub_ = mdi_->addSubWindow(map_);
    map_sub_->setObjectName("frmDrawingWindow");
    // Always maximised, the map's window has no frame and so no minimise or close
    // buttons that it could not honour.
    map_sub_->setWindowFlags(Qt::SubWindow | Qt::FramelessWindowHint);
    map_sub_->installEventFilter(this);
    // The map lives as long as the frame, whatever happens to its window.
    map_sub_->setAttribute(Qt::WA_DeleteOnClose, false);
    map_->show_grid_ref = [this](const std::string &t) { Status_Grid_Ref(t); };
    map_->show_raster_name = [this](const std::string &t) { Status_Raster_Name(t); };
    // A click on the map brings the panel up beside it; the keys stay with the map,
    // which the click gave them to.
    map_->open_panel = [this] {
        if (panel_) {
            panel_->show();
            panel_->raise();
        }
    };
    map_->tool_changed = [this] {
        if (panel_)
            panel_->show_active_tool();
    };
    // Not while the project loads: the panel appears once, where it belongs.
    map_->show_panel = [this] {
        if (panel_ && loaded_ && !ended_)
            panel_->show();
    };
    map_->frame_minimised = [this] { return isMinimized(); };
    map_->Form_Load();
}

view::StoredView frmMain::load_settings() {
    // The settings, read for the map window at the size it is about to have. Should the
    // window not be laid out yet, the first redraw brings the scale bar into the map.
    cover_screen();
    if (layout())
        layout()->activate();
    const int map_height = mdi_->viewport()->height();
    project::Defaults_Load(
        state_.settings, state_.view, state_.furniture, state_.display.Drawing_Palette,
        [this](std::size_t n) {
            state_.points.points.reserve(n);
            state_.points.coordinates.reserve(n);
        },
        ui_, map_height, default_data_folder_);
    state_.display.Polygon_Filling = state_.settings.Polygon_Filling != 0;
    if (!run_data_folder_.empty()) {
        // The settings never store this folder: "CD Drive" is written by brevo alone.
        state_.settings.Data_Folder = run_data_folder_;
        if (state_.settings.Data_Folder.back() != '/')
            state_.settings.Data_Folder += '/';
        ui_.message("data expected from " + state_.settings.Data_Folder);
    }
    return view::stored_view(state_.view);
}

void frmMain::show_last_view(const view::StoredView &last_view) {
    // The project is loaded at the maximum view; the user then gets back the view of the
    // last run, unless the store held none worth showing. The redraw also puts the
    // background map under everything, as every later redraw does.
    const double aspect =
        map_->height() > 0 ? static_cast<double>(map_->width()) / map_->height() : 0.0;
    if (view::worth_restoring(last_view, aspect)) {
        state_.view.View_X_Min = last_view.x_min;
        state_.view.View_Y_Min = last_view.y_min;
        state_.view.View_Height_Units = last_view.height;
    }
    // The load's last word tells the user how to go on: it stays in the status bar.
    const std::string told = status_text(1);
    map_->Redraw_Everything();
    if (!ended_)
        ui_.message(told);
}

bool frmMain::place_panel() {
    // The panel takes its size before it is placed: a window sized only when it is first
    // shown is placed by its inside, not by its frame, and would come back a title bar
    // higher at every start.
    panel_->adjustSize();
    // Where the user last left it when that is on a screen now, else at the frame's
    // top-left corner; on a first start (once the map is drawn) where it hides least of
    // the map. The panel itself keeps its title bar reachable once it is shown.
    panel_->move(mapToGlobal(QPoint(0, 0)));
    settings::Store store(state::kProgramTitle);
    const std::string left = store.get(kPanelSection, "Left", "");
    const std::string top = store.get(kPanelSection, "Top", "");
    if (!num::is_numeric(left) || !num::is_numeric(top))
        return false;
    const QPoint stored(num::nearest_clamped(num::Val(left)), num::nearest_clamped(num::Val(top)));
    if (QGuiApplication::screenAt(stored) != nullptr)
        panel_->move(stored);
    return true;
}

void frmMain::place_panel_over_map() {
    // The maximum view has the city to one side and empty grid to the other: the panel
    // goes over the emptiest part, never over the scale bar or the north point.
    constexpr int kClearance = 8;
    const state::FurnitureBoxes &b = state_.boxes;
    view::PlaceWanted wanted;
    wanted.area = QRect(QPoint(0, 0), map_->size());
    // Until the panel has been shown its frame is unknown: the frame's own is the guess.
    wanted.size = panel_->frameGeometry().size();
    if (wanted.size == panel_->size())
        wanted.size += frameGeometry().size() - size();
    wanted.keep_clear = {
        QRect(QPoint(b.bar_left, b.bar_top), QPoint(b.bar_right, b.bar_bottom))
            .adjusted(-kClearance, -kClearance, kClearance, kClearance),
        QRect(QPoint(b.north_left, b.north_top), QPoint(b.north_right, b.north_bottom))
            .adjusted(-kClearance, -kClearance, kClearance, kClearance)};
    wanted.picture = &map_->picture();
    wanted.empty = {gdi::to_qrgb(view::kMapBackground), gdi::to_qrgb(view::kGridLineColour),
                    gdi::to_qrgb(view::kGridAxisColour)};
    // The picture has the screen's pixels, the window's sizes are in the toolkit's; on a
    // scaled screen the place is found in the picture's and brought back.
    const double ratio = wanted.picture->devicePixelRatio();
    const auto in_picture = [ratio](const QRect &r) {
        return QRect(QPoint(num::nearest(r.left() * ratio), num::nearest(r.top() * ratio)),
                     QSize(num::nearest(r.width() * ratio), num::nearest(r.height() * ratio)));
    };
    wanted.area = in_picture(wanted.area);
    wanted.size = in_picture(QRect(QPoint(0, 0), wanted.size)).size();
    for (QRect &r : wanted.keep_clear)
        r = in_picture(r);
    const QPoint at = view::least_hidden_place(wanted);
    panel_->move(
        map_->mapToGlobal(QPoint(num::nearest(at.x() / ratio), num::nearest(at.y() / ratio))));
}

void frmMain::save_panel_place() {
    if (panel_ == nullptr)
        return;
    const QPoint at = panel_->frameGeometry().topLeft();
    settings::Store store(state::kProgramTitle);
    store.put(kPanelSection, "Left", num::CStr(at.x()));
    store.put(kPanelSection, "Top", num::CStr(at.y()));
    store.sync();
}

void frmMain::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    // A minimised frame keeps the stored settings as they were; so does a run that ends
    // before its project was there to look at.
    if (!isMinimized() && !keep_stored_settings_) {
        save_panel_place();
        if (!project::Defaults_Save(state_.settings, state_.view, state_.furniture,
                                    state_.display.Drawing_Palette, ui_))
            ui_.box("The settings of this run could not be written to " +
                    settings::file_of(state::kProgramTitle).string() +
                    ". The next start will show the map as the last saved settings had it.");
    }
    state_.rasters.clear();
    if (map_)
        map_->Form_Unload();
}

void frmMain::end_tavi() {
    if (ended_)
        return;
    const std::string folder = state_.settings.Data_Folder;
    const std::string project = project::project_file_of(folder);
    const bool no_project = loading_project_ && !files::exists(project);
    if (no_project) {
        exit_code_ = 1;
        keep_stored_settings_ = true;
        std::fprintf(stderr,
                     "tavi: there is no project file %s (the data folder is the setting "
                     "\"CD Drive\" of section \"Startup\")\n",
                     project.c_str());
        // A folder that cannot be reached was already met by the disc prompt.
        std::error_code ec;
        if (std::filesystem::is_directory(files::resolve(folder), ec))
            ui_.box("TAVI cannot start: the data folder " + folder + " holds no project file \"" +
                    std::filesystem::path(project).filename().string() +
                    "\". The data folder is the setting \"CD Drive\" of section \"Startup\", "
                    "written by brevo when it is run from the data disc.");
    }
    if (ended_) // closed while the message was open
        return;
    state_.rasters.clear();
    Form_Unload();
    ended_ = true;
    if (panel_)
        panel_->hide();
    close();
    QCoreApplication::exit(exit_code_);
}

void frmMain::terminate() {
    terminating_ = true;
    // A message waiting for its OK (the disc prompt, a failure) would hold the run up.
    while (QWidget *modal = QApplication::activeModalWidget()) {
        modal->close();
        if (QApplication::activeModalWidget() == modal)
            break; // it would not close; the frame goes anyway
    }
    close();
}

void frmMain::closeEvent(QCloseEvent *event) {
    Form_Unload();
    if (panel_)
        panel_->hide();
    // Closed while still loading: the load step stops where it is.
    ended_ = true;
    event->accept();
}

bool frmMain::eventFilter(QObject *watched, QEvent *event) {
    // However the map's window came to be minimised, it comes back maximised and drawn.
    if (watched == map_sub_ && event->type() == QEvent::WindowStateChange && !unloaded_) {
        const auto *change = static_cast<QWindowStateChangeEvent *>(event);
        if ((change->oldState() & Qt::WindowMinimized) && !map_sub_->isMinimized())
            QMetaObject::invokeMethod(
                map_,
                [this] {
                    map_->maximise();
                    map_->Redraw_Everything();
                },
                Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    if (!loaded_ || unloaded_)
        return;
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !isMinimized() &&
        !isMaximized())
        showMaximized();
    if (event->type() == QEvent::WindowStateChange && !isMinimized() && map_) {
        const auto *change = static_cast<QWindowStateChangeEvent *>(event);
        if (change->oldState() & Qt::WindowMinimized)
            QMetaObject::invokeMethod(
                map_, [this] { map_->restored(); }, Qt::QueuedConnection);
    }
}
