// Painting a loaded raster into the map window: the part of it inside the view, cut in
// whole image pixels and stretched to the window positions of its world corners.
#pragma once

#include <cstdint>

#include "raster/raster_ui.h"
#include "state/raster_table.h"
#include "state/view_state.h"

namespace gdi {
class DeviceContext;
}

namespace raster {

// The source rectangle (image pixels, row 0 at the northern edge, right and bottom
// exclusive) and the world rectangle it covers after cutting to the view.
struct SourceCut {
    bool overlaps = false; // the raster overlaps the view strictly
    bool paint = false;    // there is something to paint
    int32_t src_left = 0;
    int32_t src_top = 0;
    int32_t src_right = 0;
    int32_t src_bottom = 0;
    int32_t world_left = 0;
    int32_t world_bottom = 0;
    int32_t world_right = 0;
    int32_t world_top = 0;
};

// The cut of a raster to the view (View_X_Min .. View_Y_Max); no library calls.
SourceCut Cut_To_View(const state::RasterEntry &e, const state::ViewState &v);

// Paints raster n (numbered from 1) into v.Map_DC with the view the library was last
// given (Prepare_View). Nothing happens without a device context or a view scale.
void Paint_A_Lead_Raster(state::RasterTable &table, int n, const state::ViewState &v,
                         const RasterUi &ui);

// The redraw's background: raster entry 1, when it is loaded and its display flag is 1.
void Paint_Rasters(state::RasterTable &table, const state::ViewState &v, const RasterUi &ui);

// The "Background Map" switch: the display flag of entry 1. No effect without rasters.
void Set_Background_Display(state::RasterTable &table, bool on);

// How long a failed paint holds the window, so that its message can be read.
inline constexpr int kDisplayErrorPauseMs = 5000;

} // namespace raster
