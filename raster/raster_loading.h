// Loading rasters: one image through its world-information file, or every image of a
// raster list (".RLS"), each placed on the grid and painted once as it arrives.
#pragma once

#include <string>

#include "raster/raster_ui.h"
#include "state/raster_table.h"
#include "state/view_state.h"

namespace raster {

// name is a world-information file, or a raster list when its upper-cased text contains
// ".RLS". Loaded rasters are painted into v.Map_DC with the library's current view.
// Failures become status texts; a raster that cannot be loaded or placed is skipped.
void Load_A_Lead_Raster(state::RasterTable &table, const std::string &name,
                        const state::ViewState &v, const RasterUi &ui);

// The image a world-information file stands for: its name with the last three
// characters replaced by "tif" when that file exists, else by "cmp" when that exists,
// else by "jpg".
std::string image_for_world_info(const std::string &name);

// How often an unreadable image's message is shown, with a beep each time.
inline constexpr int kOpenErrorRepeats = 10;

} // namespace raster
