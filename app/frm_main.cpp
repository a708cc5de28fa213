#include "app/frm_main.h"

#include "view/navigation.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QStatusBar>

#include <cstdio>

#include "app/ctrl_panel.h"
#include "app/frm_drawing.h"
#include "platform/files.h"
#include "project/load_data.h"
#include "project/project_file.h"
#include "project/settings.h"

namespace {

constexpr const char *kGridRefPlaceholder = "Grid Ref.";
// Start-up values that override the stored settings for every run.
constexpr int32_t kStartGridSpacing = 100000; // 1 km
constexpr int32_t kStartGridPrecision = 3;    // grid references in metres

} // namespace

frmMain::frmMain(project::AppState &state, std::string default_data_folder, QWidget *parent)
    : QMainWindow(parent), state_(state), default_data_folder_(std::move(default_data_folder)) {
    setObjectName("frmMain");
    setWindowTitle("TAVI");

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
}

frmMain::~frmMain() = default;

std::string frmMain::version_banner() {
    return "TAVI 32-Bit   Version " + std::to_string(TAVI_VERSION_MAJOR) + "." +
           std::to_string(TAVI_VERSION_MINOR) + "." + std::to_string(TAVI_VERSION_PATCH);
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
    // The map window first: it prepares the library, its fonts and the banner.
    map_ = new frmDrawing(state_, ui_);
    map_sub_ = mdi_->addSubWindow(map_);
    map_sub_->setObjectName("frmDrawingWindow");
    // The map lives as long as the frame, whatever happens to its window.
    map_sub_->setAttribute(Qt::WA_DeleteOnClose, false);
    map_->show_grid_ref = [this](const std::string &t) { Status_Grid_Ref(t); };
    map_->show_raster_name = [this](const std::string &t) { Status_Raster_Name(t); };
    map_->open_panel = [this] {
        if (panel_) {
            panel_->show();
            panel_->raise();
            panel_->activateWindow();
            panel_->setFocus();
        }
    };
    map_->show_panel = [this] {
        if (panel_ && !ended_)
            panel_->show();
    };
    map_->frame_minimised = [this] { return isMinimized(); };
    map_->Form_Load();

    // The settings, read for the map window at the size it is about to have.
    cover_screen();
    if (layout())
        layout()->activate();
    const int map_height = mdi_->viewport()->height();
    project::Defaults_Load(
        state_.settings, state_.view, state_.furniture, state_.display.Drawing_Palette,
        [this](std::size_t n) { state_.site_points.reserve(n); }, ui_, map_height,
        default_data_folder_);
    state_.display.Polygon_Filling = state_.settings.Polygon_Filling != 0;
    const view::StoredView last_view = view::stored_view(state_.view);

    map_sub_->showMaximized();
    // Showing the map shows the frame holding it.
    showMaximized();
    map_sub_->show();
    QCoreApplication::processEvents();
    if (ended_) // closed as soon as it was shown
        return;

    panel_ = new app::CtrlPanel(
        state_, *map_, ui_, [this] { end_tavi(); }, this);
    panel_->move(mapToGlobal(QPoint(0, 0)));

    // Every run starts with plain polygons and a 1 km grid labelled in metres.
    state_.settings.Polygon_Filling = 0;
    state_.display.Polygon_Filling = false;
    state_.furniture.Grid_Spacing = kStartGridSpacing;
    state_.furniture.Grid_Precision = kStartGridPrecision;

    map_sub_->show();
    loading_project_ = true;
    panel_->LoadData();
    loading_project_ = false;
    if (ended_)
        return;

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
    if (ended_)
        return;
    ui_.message(told);

    // After the panel's own start value: a run starts with a 100 m buffer.
    state_.settings.Search_Buffer = state::kStartSearchBuffer;
    panel_->show();
    loaded_ = true;
}

void frmMain::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    // A minimised frame keeps the stored settings as they were.
    if (!isMinimized()) {
        project::Defaults_Save(state_.settings, state_.view, state_.furniture,
                               state_.display.Drawing_Palette, ui_);
    }
    state_.rasters.clear();
    if (map_)
        map_->Form_Unload();
}

void frmMain::end_tavi() {
    if (ended_)
        return;
    const std::string project =
        files::join_path(state_.settings.Data_Folder, project::kProjectFileName);
    const bool no_project = loading_project_ && !files::exists(project);
    state_.rasters.clear();
    Form_Unload();
    ended_ = true;
    exit_code_ = no_project ? 1 : 0;
    if (no_project)
        std::fprintf(stderr,
                     "tavi: there is no project file %s (the data folder is the setting "
                     "\"CD Drive\" of section \"Startup\")\n",
                     project.c_str());
    if (panel_)
        panel_->hide();
    close();
    QCoreApplication::exit(exit_code_);
}

void frmMain::closeEvent(QCloseEvent *event) {
    Form_Unload();
    if (panel_)
        panel_->hide();
    // Closed while still loading: the load step stops where it is.
    ended_ = true;
    event->accept();
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
