#include "project/session.h"

#include <cmath>
#include <utility>

#include "project/load_data.h"
#include "raster/raster_loading.h"
#include "raster/raster_painting.h"
#include "sites/site_lookups.h"
#include "state/furniture_settings.h"
#include "view/navigation.h"
#include "view/transform.h"
#include "zent32i_binding.h"

namespace project {

namespace {

// Every run starts with a grid line every kilometre, labelled in whole metres.
constexpr int32_t kStartGridSpacing = 100000;
constexpr int32_t kStartGridPrecision = 3;

// A view south-west of the national grid, where no drawing has anything to draw.
constexpr double kBesideTheGrid = -1e6;
constexpr int32_t kBesideTheGridHeight = 100;

// The map window's pointer style until the settings say otherwise: pointer 2, the cross.
constexpr int32_t kStartCursorStyle = 1;

} // namespace

const state::UiHooks &quiet_hooks() {
    static const state::UiHooks quiet;
    return quiet;
}

void start_of_run(AppState &state) {
    state.settings.Polygon_Filling = 0;
    state.display.Polygon_Filling = false;
    state.furniture.Grid_Spacing = kStartGridSpacing;
    state.furniture.Grid_Precision = kStartGridPrecision;
}

Session::Session(int width, int height, const state::UiHooks &ui, std::string program_folder)
    : ui_(&ui), image_(width, height, QImage::Format_RGB32),
      dc_(image_), ctx_{state_.view, state_.drawings, state_.display, ui, dc_, {}, {}, 0, nullptr} {
    state_.program_folder = std::move(program_folder);
    image_.fill(gdi::to_qrgb(view::kMapBackground));
    // Once per process is enough; every program that shows a project comes through here.
    zt::ZT_Ini_Zent32dll();
    zt::ZT_Init_Zent_Palette(state_.display.Drawing_Palette.data());
    auto &ia = state_.interaction;
    ia.Cursor_Style = kStartCursorStyle;
    ia.Refresh_Mode = 1;
    state_.view.Zoom_Limits_On = true;
    state_.navigation.Tool_Pointer = ia.Cursor_Style + 1;
    drawing::create_map_fonts(dc_, fonts_);
    ctx_.initial_font = &fonts_.Initial_Font;
}

Session::~Session() {
    drawing::release_map_fonts(dc_, fonts_);
}

void Session::resize_picture(int width, int height, double device_pixel_ratio) {
    QImage &img = dc_.image();
    if (dc_.width() == width && dc_.height() == height &&
        img.devicePixelRatio() == device_pixel_ratio)
        return;
    img = QImage(static_cast<int>(std::lround(width * device_pixel_ratio)),
                 static_cast<int>(std::lround(height * device_pixel_ratio)), QImage::Format_RGB32);
    img.setDevicePixelRatio(device_pixel_ratio);
    img.fill(gdi::to_qrgb(view::kMapBackground));
}

drawing::DisplayContext &Session::display_context() {
    ctx_.data_folder = state_.settings.Data_Folder;
    ctx_.program_folder = state_.program_folder;
    ctx_.cursor_style = state_.interaction.Cursor_Style;
    return ctx_;
}

raster::RasterUi Session::raster_ui() const {
    raster::RasterUi r;
    r.hooks = *ui_;
    r.beep = [this] { ui_->beep(); };
    r.cursor_style = state_.interaction.Cursor_Style;
    return r;
}

view::RedrawContext Session::redraw_context(bool minimised) {
    return view::RedrawContext{
        display_context(),
        state_.furniture,
        state_.boxes,
        &state_.points,
        [this] { raster::Paint_Rasters(state_.rasters, state_.view, raster_ui()); },
        dc_.width(),
        dc_.height(),
        minimised,
        view::kMapBackground};
}

void Session::redraw(bool minimised) {
    view::RedrawContext rc = redraw_context(minimised);
    view::Redraw_Everything(rc);
}

QImage Session::render_view(const state::ViewState &view, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(gdi::to_qrgb(view::kMapBackground));
    const state::ViewState kept = state_.view;
    {
        gdi::DeviceContext dc(image);
        drawing::MapFonts fonts;
        drawing::create_map_fonts(dc, fonts);
        state_.view = state::ViewState{};
        state_.view.View_X_Min = view.View_X_Min;
        state_.view.View_Y_Min = view.View_Y_Min;
        state_.view.View_Height_Units = view.View_Height_Units;
        state_.view.Zoom_Limits_On = kept.Zoom_Limits_On;
        const state::UiHooks &quiet = quiet_hooks();
        drawing::DisplayContext ctx{state_.view,
                                    state_.drawings,
                                    state_.display,
                                    quiet,
                                    dc,
                                    state_.settings.Data_Folder,
                                    state_.program_folder,
                                    state_.interaction.Cursor_Style,
                                    &fonts.Initial_Font};
        state::FurnitureSettings furniture = state_.furniture;
        furniture.Grid_On = 0;
        furniture.Scale_Bar_On = 0;
        state::FurnitureBoxes boxes;
        raster::RasterUi raster_quiet;
        raster_quiet.cursor_style = state_.interaction.Cursor_Style;
        raster_quiet.pause = [](int) {}; // no one is looking at this picture being drawn
        view::RedrawContext rc{
            ctx,
            furniture,
            boxes,
            &state_.points,
            [&] { raster::Paint_Rasters(state_.rasters, state_.view, raster_quiet); },
            width,
            height,
            false,
            view::kMapBackground};
        view::Redraw_Everything(rc);
        drawing::release_map_fonts(dc, fonts);
        dc.image(); // ends the context's painting before the picture is handed out
    }
    state_.view = kept;
    state::Set_Library_View(state_.view);
    return image;
}

void Session::set_maximum_view() {
    view::set_maximum_view(state_.view);
}

void Session::load_raster(const std::string &path) {
    raster::Load_A_Lead_Raster(state_.rasters, path, state_.view, raster_ui());
}

bool Session::load_project(const std::function<void()> &after_raster) {
    return Load_Project_Files(display_context(), state_.settings.Data_Folder,
                              [&](const std::string &path) {
                                  load_raster(path);
                                  if (after_raster)
                                      after_raster();
                              });
}

std::optional<sites::PlotResult> Session::plot_sites() {
    const sites::LinkedData linked = sites::linked_data(state_.drawings);
    if (!sites::database_present(state_.drawings, *ui_))
        return std::nullopt;
    return sites::Plot_Excavation_Points(state_.points, linked.path, sites::kSiteTable, state_.view,
                                         &dc_, state_.interaction.Point_Colour, *ui_);
}

bool Session::open(const std::string &data_folder, Purpose purpose) {
    start_of_run(state_);
    state_.settings.Data_Folder = data_folder;
    if (!data_folder.empty() && data_folder.back() != '/')
        state_.settings.Data_Folder += '/';
    if (purpose == Purpose::Show) {
        // As the viewer starts: the maximum view drawn, then the project registered and
        // drawn over it.
        set_maximum_view();
        redraw();
    } else {
        state::ViewState &v = state_.view;
        v.View_X_Min = kBesideTheGrid;
        v.View_Y_Min = kBesideTheGrid;
        v.View_Height_Units = kBesideTheGridHeight;
        view::Prepare_View(v, dc_, dc_.width(), dc_.height());
    }
    return load_project();
}

} // namespace project
