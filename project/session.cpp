#include "project/session.h"

#include <cmath>
#include <utility>

#include "platform/base/files.h"
#include "project/load_data.h"
#include "raster/raster_loading.h"
#include "raster/raster_painting.h"
#include "state/furniture_settings.h"
#include "view/navigation.h"
#include "view/transform.h"
#include "zent32i_binding.h"

namespace project {

namespace {

// Every run starts with a grid line every kilometre, labelled in whole metres.
constexpr int32_t kStartGridSpacing = 100000;
constexpr int32_t kStartGridPrecision = 3;

// The map window's pointer style until the settings say otherwise: pointer 2, the cross.
constexpr int32_t kStartCursorStyle = 1;

// Rasters are registered with a view that has no window: loading then paints nothing,
// and the first redraw paints them with everything else.
const state::ViewState kNoWindow{};

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
    : ui_(&ui), image_(width, height, QImage::Format_RGB32), dc_(image_) {
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

drawing::DisplayContext Session::display_context(state::ViewState &view, gdi::DeviceContext &dc,
                                                 const state::UiHooks &ui, const gdi::Font *font) {
    return drawing::DisplayContext{view,
                                   state_.drawings,
                                   state_.display,
                                   state_.progress,
                                   cache_,
                                   stamps_,
                                   ui,
                                   dc,
                                   state_.interaction.Cursor_Style,
                                   font};
}

drawing::DisplayContext &Session::display_context() {
    if (!ctx_)
        ctx_.emplace(display_context(state_.view, dc_, *ui_, &fonts_.Initial_Font));
    ctx_->cursor_style = state_.interaction.Cursor_Style;
    return *ctx_;
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

QImage Session::render_view(const state::ViewState &asked, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(gdi::to_qrgb(view::kMapBackground));
    {
        gdi::DeviceContext dc(image);
        drawing::MapFonts fonts;
        drawing::create_map_fonts(dc, fonts);
        state::ViewState view;
        view.View_X_Min = asked.View_X_Min;
        view.View_Y_Min = asked.View_Y_Min;
        view.View_Height_Units = asked.View_Height_Units;
        view.Zoom_Limits_On = state_.view.Zoom_Limits_On;
        drawing::DisplayContext ctx = display_context(view, dc, quiet_hooks(), &fonts.Initial_Font);
        state::FurnitureSettings furniture = state_.furniture;
        furniture.Grid_On = 0;
        furniture.Scale_Bar_On = 0;
        state::FurnitureBoxes boxes;
        raster::RasterUi raster_quiet;
        raster_quiet.cursor_style = state_.interaction.Cursor_Style;
        raster_quiet.pause = [](int) {}; // no one is looking at this picture being drawn
        view::RedrawContext rc{ctx,
                               furniture,
                               boxes,
                               &state_.points,
                               [&] { raster::Paint_Rasters(state_.rasters, view, raster_quiet); },
                               width,
                               height,
                               false,
                               view::kMapBackground};
        view::Redraw_Everything(rc);
        drawing::release_map_fonts(dc, fonts);
        dc.image(); // ends the context's painting before the picture is handed out
    }
    return image;
}

void Session::set_maximum_view() {
    view::set_maximum_view(state_.view);
}

std::optional<sites::PlotResult> Session::plot_sites() {
    const sites::LinkedData linked = sites::linked_data(state_.drawings);
    if (!sites::database_present(state_.drawings, *ui_))
        return std::nullopt;
    return sites::Plot_Excavation_Points(state_.points, linked.path, sites::kSiteTable, state_.view,
                                         &dc_, state_.interaction.Point_Colour, *ui_);
}

void Session::step(const OpenSteps &steps, const std::string &what) const {
    if (steps.step)
        steps.step(what);
}

void Session::fill_lists(const OpenSteps &steps) {
    if (!steps.object_list && !steps.site_lists)
        return;
    step(steps, "Listing the drawn objects");
    for (int n = 1; n <= state_.drawings.count(); ++n) {
        std::vector<drawing::ObjectRow> rows = drawing::list_objects(state_.drawings, n);
        lists_.objects.insert(lists_.objects.end(), std::make_move_iterator(rows.begin()),
                              std::make_move_iterator(rows.end()));
    }
    lists_.site_codes = drawing::site_codes(lists_.objects);
    if (!steps.site_lists)
        return;
    // A site database that cannot be read leaves its list empty; the status bar says why
    // and the rest of the project is there to be looked at.
    step(steps, "Reading the site list");
    try {
        lists_.site_marks = sites::mark_sites(lists_.site_codes, state_.drawings, *ui_);
    } catch (const dao::Error &e) {
        ui_->message(e.what());
    }
    ui_->events();
    step(steps, "Reading the RAZ references");
    try {
        lists_.raz_references = sites::raz_references(state_.drawings, *ui_);
    } catch (const dao::Error &e) {
        ui_->message(e.what());
    }
}

bool Session::open(const std::string &data_folder, const OpenSteps &steps) {
    start_of_run(state_);
    state_.settings.Data_Folder = data_folder;
    if (!data_folder.empty() && data_folder.back() != '/')
        state_.settings.Data_Folder += '/';
    lists_ = ProjectLists{};
    set_maximum_view();
    step(steps, "Reading the project " + project_file_of(state_.settings.Data_Folder));
    const bool loaded = Load_Project_Files(
        state_.drawings, state_.settings.Data_Folder, state_.program_folder, *ui_,
        [&](const std::string &path) {
            step(steps, "Loading the raster " + path);
            raster::Load_A_Lead_Raster(state_.rasters, path, kNoWindow, raster_ui());
        });
    if (loaded)
        fill_lists(steps);
    return loaded;
}

} // namespace project
