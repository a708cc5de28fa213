// One way for every program to open a project: the session owns the project's state,
// the caches of what has been read from its files, and the picture the map is drawn into
// with its device context and map fonts. It starts the graphics library once, gives the
// state the values every run starts with, and opens a data folder in one sequence - the
// project list, the rasters, the drawings, and when asked the object list and the site
// lists - registering what the project lists without drawing it: the first redraw draws.
// The map window shows its picture; tavi-render saves it; tavi-search, tavi-convert and
// tavi-serve read what the opening leaves; tests and benchmarks open projects the same
// way.
#pragma once

#include <QImage>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "drawing/display.h"
#include "drawing/drawing_cache.h"
#include "drawing/map_fonts.h"
#include "drawing/object_list.h"
#include "drawing/symbols.h"
#include "platform/surface/gdi.h"
#include "project/app_state.h"
#include "raster/raster_ui.h"
#include "sites/point_plot.h"
#include "sites/site_lookups.h"
#include "state/ui_hooks.h"
#include "view/redraw.h"

namespace project {

// Hooks that say nothing and let no events run: for programs without windows.
const state::UiHooks &quiet_hooks();

// The values every run starts with, whatever the stored settings say: plain (unfilled)
// polygons, a 1 km grid, grid references in whole metres.
void start_of_run(AppState &state);

// What an opening does beyond registering the project's files. The viewer asks for the
// lists its control panel shows; a program that only draws or searches asks for none.
struct OpenSteps {
    // Every drawing's named objects (the object list), and the site codes among them.
    bool object_list = false;
    // The site codes marked against the site list, and the RAZ references (read from
    // the site database; needs the object list).
    bool site_lists = false;
    // Told, as each step starts, what it does (the viewer's status bar).
    std::function<void(const std::string &)> step;
};

// What the optional steps found.
struct ProjectLists {
    std::vector<drawing::ObjectRow> objects; // drawing by drawing, in index order
    std::vector<std::string> site_codes;     // among the objects, in order
    std::vector<sites::SiteMark> site_marks; // of the codes; empty when they could not be read
    std::vector<std::string> raz_references; // empty when they could not be read
};

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
    // Indexes, drawings and their groups held between redraws.
    drawing::DrawingCache &drawing_cache() { return cache_; }

    // Opens the project of data_folder (a separator is added when missing): the values a
    // run starts with, the maximum view (not drawn), then the project list's rasters and
    // drawings registered in its order, then the steps asked for. Nothing in the folder is
    // changed. False, loading nothing, when the folder holds no project file.
    bool open(const std::string &data_folder, const OpenSteps &steps = {});
    // What the opening's optional steps found.
    const ProjectLists &lists() const { return lists_; }

    // The picture as drawn so far. Reading it ends the device context's painting; the
    // next drawing call takes it up again.
    const QImage &picture() { return dc_.image(); }
    // The picture at another size in logical pixels, blank (the next redraw fills it).
    // With a device pixel ratio above 1 (a HiDPI screen) it holds that many times more
    // pixels each way, and lines, text and symbols are drawn at the finer resolution,
    // while every position the map works out stays in logical pixels.
    void resize_picture(int width, int height, double device_pixel_ratio = 1.0);
    gdi::DeviceContext &dc() { return dc_; }

    // The drawing pass's context over the session's own view and picture, with the
    // pointer style in force.
    drawing::DisplayContext &display_context();
    // The same over the session's state, caches and another view and device context.
    drawing::DisplayContext display_context(state::ViewState &view, gdi::DeviceContext &dc,
                                            const state::UiHooks &ui, const gdi::Font *font);
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
    // is said to the user and no events run meanwhile. The session's view and picture are
    // not touched; the graphics library is left with the view drawn, as after any pass.
    QImage render_view(const state::ViewState &view, int width, int height);

    // The maximum view (the whole project), not yet drawn.
    void set_maximum_view();
    // The project's site list plotted as the control panel's plot switch plots it, in
    // the swatch's colour (Point_Colour), drawn into the picture where it is in view.
    // Nothing, with the hooks' message and beeps, when the project names no site
    // database that is there; dao::Error when the database cannot be read.
    std::optional<sites::PlotResult> plot_sites();

  private:
    void step(const OpenSteps &steps, const std::string &what) const;
    void fill_lists(const OpenSteps &steps);

    AppState state_;
    const state::UiHooks *ui_;
    QImage image_;
    gdi::DeviceContext dc_;
    drawing::MapFonts fonts_;
    drawing::DrawingCache cache_;
    drawing::SymbolStamps stamps_;
    std::optional<drawing::DisplayContext> ctx_;
    ProjectLists lists_;
};

} // namespace project
