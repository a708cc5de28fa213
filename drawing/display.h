// Drawing one drawing file into the map: walking it (through its index when there is
// one), keeping what the view can show, projecting, clipping to the view and painting
// with the pens, patterns and colours that objects and the project ask for.
#pragma once

#include <cstdint>
#include <string>

#include "drawing/display_state.h"
#include "platform/base/files.h"
#include "platform/surface/gdi.h"
#include "state/drawing_table.h"
#include "state/ui_hooks.h"
#include "state/view_state.h"

namespace drawing {

// Everything a drawing pass reads or changes, gathered so that the map window, the
// headless renderer and tests can run the same code on their own state.
struct DisplayContext {
    state::ViewState &view;
    state::DrawingTable &drawings;
    DisplayState &state;
    const state::UiHooks &ui;
    gdi::DeviceContext &dc;  // Map_DC
    std::string data_folder; // ends with a separator
    std::string program_folder;
    int cursor_style = 0; // the idle pointer is cursor_style + 1
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

// Draws the drawing drwfile. flag 1 registers it first as a new entry of the drawing
// table (refused, with a status message, when the table is full); any other flag
// redraws the entry with that file name (a name with no entry is ignored).
void Display_A_Drawing(DisplayContext &ctx, const std::string &drwfile, int32_t flag);

// Consumes what follows one control unit of the given code, at the file's position,
// and draws it when the code asks for that. inside == kGroupInsideView skips clipping.
// units is accepted for the callers' sake and not used. Thick lines and the fixed
// colour come from the entry numbered state.Current_Drawing (none when out of range).
void Draw_Vector_Objects(DisplayContext &ctx, files::BinaryFile &file, int32_t code, int32_t units,
                         int32_t inside);

// Switches the view to the units of a group kind when they are not in force, and keeps
// the divisor in step; kinds other than 0, 1 and 10 change nothing.
void units_for_kind(state::ViewState &v, int16_t kind, int32_t &divisor);

// Clips the polyline of point_count points in s.Point_Buffer to the view rectangle
// and writes its screen points to s.Screen_Points (grown when too small), their number
// to screen_count. For a polygon (code -14) the first screen point is also written
// just after the last, without being counted.
void Clip_To_View(const state::ViewState &v, DisplayState &s, int32_t point_count,
                  int32_t &screen_count, int32_t code);
// The same for point_count points at pts.
void Clip_To_View(const state::ViewState &v, DisplayState &s, const ZT_Point3 *pts,
                  int32_t point_count, int32_t &screen_count, int32_t code);

} // namespace drawing
