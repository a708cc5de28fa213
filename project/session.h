// One way for every program to open a project: the session owns the application state,
// the picture the map is drawn into with its device context and map fonts, and hands out
// the display and redraw contexts over them. It starts the graphics library once, gives
// the state the values every run starts with, and opens a data folder as the viewer
// does: the maximum view, the project's rasters and drawings, and (when asked) the site
// list plotted. The map window shows its picture; tavi-render saves it; tavi-search
// reads the state the load leaves; tests and benchmarks open projects the same way.
#pragma once

#include <QImage>

#include <functional>
#include <optional>
#include <string>

#include "drawing/display.h"
#include "drawing/map_fonts.h"
#include "platform/surface/gdi.h"
#include "project/app_state.h"
#include "raster/raster_ui.h"
#include "sites/point_plot.h"
#include "state/ui_hooks.h"
#include "view/redraw.h"

namespace project {

// Hooks that say nothing and let no events run: for programs without windows.
const state::UiHooks &quiet_hooks();

// The values every run starts with, whatever the stored settings say: plain (unfilled)
// polygons, a 1 km grid, grid references in whole metres.
void start_of_run(AppState &state);

class Session {
  public:
    // A session drawing into a picture of width x height pixels and talking to the user
    // through ui, which must outlive it (the windows fill its hooks in later).
    // program_folder is the running program's folder, ending with a separator.
    Session(int width, int height, const state::UiHooks &ui = quiet_hooks(),
            std::string program_folder = {});
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    AppState &state() { return state_; }
    const AppState &state() const { return state_; }
    const state::UiHooks &ui() const { return *ui_; }

    // The picture as drawn so far. Reading it ends the device context's painting; the
    // next drawing call takes it up again.
    const QImage &picture() { return dc_.image(); }
    // The picture at another size in logical pixels, blank (the next redraw fills it).
    // With a device pixel ratio above 1 (a HiDPI screen) it holds that many times more
    // pixels each way, and lines, text and symbols are drawn at the finer resolution,
    // while every position the map works out stays in logical pixels.
    void resize_picture(int width, int height, double device_pixel_ratio = 1.0);
    gdi::DeviceContext &dc() { return dc_; }

    // The drawing pass's context, carrying the data folder and pointer style in force.
    drawing::DisplayContext &display_context();
    // What raster loading and painting ask of the windows.
    raster::RasterUi raster_ui() const;
    // A full redraw's context: the rasters painted through raster_ui(), the plotted site
    // points, the furniture.
    view::RedrawContext redraw_context(bool minimised = false);
    // The full redraw into the picture.
    void redraw(bool minimised = false);

    // Another view of the map drawn by the same full redraw into a picture of its own of
    // width x height pixels: the view's View_X_Min, View_Y_Min and View_Height_Units,
    // with the session's drawings, rasters and plotted site points, but no grid, scale
    // bar or north point (whoever shows the picture draws them at its own scale). Nothing
    // is said to the user and no events run meanwhile. The session's picture and view are
    // left as they were, and the graphics library, whose view is the whole process's, is
    // handed the session's view back: the map window's mouse tools rely on it between
    // redraws.
    QImage render_view(const state::ViewState &view, int width, int height);

    // The maximum view (the whole project), not yet drawn.
    void set_maximum_view();
    // Loads one raster through its world-information file (or a raster list).
    void load_raster(const std::string &path);
    // The project of the data folder in force: rasters and drawings in the order the
    // project lists them, each raster through load_raster and then after_raster (the
    // map window shows it). False, loading nothing, when there is no project file.
    bool load_project(const std::function<void()> &after_raster = {});
    // The project's site list plotted as the control panel's plot switch plots it, in
    // the swatch's colour (Point_Colour), drawn into the picture where it is in view.
    // Nothing, with the hooks' message and beeps, when the project names no site
    // database that is there; dao::Error when the database cannot be read.
    std::optional<sites::PlotResult> plot_sites();

    // What a program without windows does to open a project: the values a run starts
    // with, the data folder (a separator is added when missing), the maximum view drawn,
    // then the project loaded over it. Opened to be searched, not shown, the project is
    // loaded under a view beside the grid, so that its drawings are registered and read
    // but nothing is drawn. False when the folder holds no project file.
    enum class Purpose { Show, Search };
    bool open(const std::string &data_folder, Purpose purpose = Purpose::Show);

  private:
    AppState state_;
    const state::UiHooks *ui_;
    QImage image_;
    gdi::DeviceContext dc_;
    drawing::MapFonts fonts_;
    drawing::DisplayContext ctx_;
};

} // namespace project
