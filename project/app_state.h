// Everything the viewer holds while it runs, gathered in one object that main creates
// and hands to the windows by reference. Each part is owned by its subsystem; there are
// no hidden globals, so a test can build a fresh state of its own.
#pragma once

#include <string>
#include <vector>

#include "drawing/display_state.h"
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
    drawing::DisplayState display;
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
