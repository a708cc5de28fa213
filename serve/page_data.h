// The small answers the page asks the service for, as JSON: the layers it can show (each
// period map by its period's name and the colour it is mostly drawn in, the sites, the
// background) and a grid reference the user typed, read as a place.
#pragma once

#include <string>
#include <string_view>

#include "drawing/drawing_cache.h"
#include "project/app_state.h"
#include "serve/layers.h"

namespace serve {

// A colour of the map (red in the low byte) as CSS writes it ("#rrggbb").
std::string css_colour(int32_t rgb);

// {"title", "extent": [x0, y0, x1, y1], "layers": [{"name", "title", "kind", "colour",
// "queryable", "box"}]} in the service's order, metres on the national grid. A colour is
// null where none is known.
std::string layers_json(const ServiceLayers &layers, const project::AppState &state,
                        drawing::DrawingCache &cache, const std::string &title);

// {"x", "y", "reference"} for a reference or a pair of metres as the desk reads them
// (the place in metres and the reference it is given back as); nothing when the text
// names no place on the grid.
std::string place_json(std::string_view text);

// {"x", "y", "reference"} for a place in metres.
std::string reference_json(double x, double y);

} // namespace serve
