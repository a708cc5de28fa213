// The full redraw: every change of view or content ends here. It clears the picture,
// hands the view to the graphics library and draws everything again in a fixed order:
// background rasters, the drawings in project order, the site points, then the grid
// and the furniture. The map window and the headless renderer share it.
#pragma once

#include <cstdint>
#include <functional>

#include "drawing/display.h"
#include "state/furniture_settings.h"
#include "state/point_store.h"
#include "view/furniture.h"

namespace view {

// What a cleared map shows.
inline constexpr gdi::Colour kMapBackground = gdi::rgb(255, 255, 255);

struct RedrawContext {
    drawing::DisplayContext &display; // view, drawing table, options, caches, device context
    state::FurnitureSettings &furniture;
    state::FurnitureBoxes &boxes;
    const state::PointStore *points = nullptr; // the plotted site points; none: no points
    // Paints the background rasters when their display switch is on; empty = none.
    std::function<void()> paint_rasters;
    int client_width = 0;
    int client_height = 0;
    bool minimised = false;
    gdi::Colour background = kMapBackground;
};

// The one entry point for a full redraw.
void Redraw_Everything(RedrawContext &rc);

// The content pass: rasters, drawings, site points.
void Draw_Map_Content(RedrawContext &rc);

} // namespace view
