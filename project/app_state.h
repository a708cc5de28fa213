// Everything a session holds of an opened project while it runs: the view, the tables
// of drawings and rasters, the plotted site points, the settings values and the state
// of the map's tools. The session owns it; functions are handed the parts they use, so
// that a test can build a fresh state of its own.
#pragma once

#include <string>
#include <vector>

#include "drawing/display_options.h"
#include "state/drawing_table.h"
#include "state/furniture_settings.h"
#include "state/interaction_state.h"
#include "state/navigation_state.h"
#include "state/point_store.h"
#include "state/raster_table.h"
#include "state/settings_values.h"
#include "state/view_state.h"

namespace project {

struct AppState {
    state::ViewState view;
    state::DrawingTable drawings;
    drawing::DisplayOptions display;
    drawing::DrawingProgress progress;
    state::FurnitureSettings furniture;
    state::FurnitureBoxes boxes;
    state::NavigationState navigation;
    state::SettingsValues settings;
    state::RasterTable rasters;
    state::InteractionState interaction;
    state::PointStore points;          // the plotted site points
    std::string program_folder;        // folder of the running program
    std::vector<std::string> problems; // files the load skipped or found damaged
};

} // namespace project
