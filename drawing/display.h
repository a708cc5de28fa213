// Drawing one drawing file into the map: walking it (through its index when there is
// one), keeping what the view can show, projecting, clipping to the view and painting
// with the pens, patterns and colours that objects and the project ask for. Registering
// a drawing in the project's table is the project's business; this only draws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drawing/display_options.h"
#include "drawing/drawing_cache.h"
#include "drawing/group_elements.h"
#include "drawing/symbols.h"
#include "platform/surface/gdi.h"
#include "state/drawing_table.h"
#include "state/ui_hooks.h"
#include "state/view_state.h"
#include "zent32i.h"

namespace drawing {

// Everything a drawing pass reads or changes, gathered so that the map window, the
// headless renderer and tests can run the same code on their own state. The caches
// belong to whoever opened the project (the session) and outlive every pass.
struct DisplayContext {
    state::ViewState &view;
    state::DrawingTable &drawings;
    DisplayOptions &options;
    DrawingProgress &progress;
    DrawingCache &cache;  // indexes, drawings and groups held between redraws
    SymbolStamps &stamps; // the site points' symbols, one image a size
    const state::UiHooks &ui;
    gdi::DeviceContext &dc; // Map_DC
    int cursor_style = 0;   // the idle pointer is cursor_style + 1
    // The font the map's device context held before the map fonts were made; put
    // back at the end of every drawing. Null leaves the font alone.
    const gdi::Font *initial_font = nullptr;
};

// Groups and objects smaller than 2 pixels are shown as one pixel of this colour.
inline constexpr gdi::Colour kSmallObjectColour = gdi::rgb(224, 224, 224);

// `inside` value saying the whole group lies in the view: no clipping needed.
inline constexpr int32_t kGroupInsideView = 2;

// Highest fill pattern; larger fill values use it.
inline constexpr int kLastFillPattern = 55;

// Draws the registered drawing whose file name is drwfile (a name with no entry is
// ignored) in the view the library was last handed.
void Display_A_Drawing(DisplayContext &ctx, const std::string &drwfile);

// Draws elements [first, end) of groups as objects of drawing number drawing (its thick
// lines and fixed colour; none when out of range). inside == kGroupInsideView skips
// clipping. Group starts among them switch the view to their units.
void Draw_Elements(DisplayContext &ctx, int drawing, const GroupElements &groups, std::size_t first,
                   std::size_t end, int32_t inside);

// Switches the view to the units of a group kind when they are not in force, and keeps
// the divisor in step; kinds other than 0, 1 and 10 change nothing.
void units_for_kind(state::ViewState &v, int16_t kind, int32_t &divisor);

// The screen points of one object: only ever grown, to the largest object met in a
// pass (plus room for the clipper's crossings and a ring's closing copy).
struct ScreenLine {
    std::vector<ZT_Point2> points = std::vector<ZT_Point2>(1501);
    int32_t count = 0;
    ZT_Point2 last{0, 0}; // last point the clipper appended, to drop repeats
};

// Clips the polyline of point_count points at pts to the view rectangle and writes its
// screen points to out (grown when too small). For a polygon (code -14) the first screen
// point is also written just after the last, without being counted.
void Clip_To_View(const state::ViewState &v, const ZT_Point3 *pts, int32_t point_count,
                  int32_t code, ScreenLine &out);

} // namespace drawing
