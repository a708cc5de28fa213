// The enquiry tool on the map: the shape digitised click by click as the polygon and
// polyline tools digitise theirs (or a point, one click), and the search area drawn
// over the map, outlined and lightly hatched, until the next redraw.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "interrogation/enquiry.h"
#include "interrogation/site_search.h"
#include "platform/surface/gdi.h"
#include "state/interaction_state.h"
#include "state/ui_hooks.h"
#include "state/view_state.h"

namespace interrogation {

// One click of the enquiry tool. The first click of the armed tool (EnquiryStart)
// starts a new shape (Enquiry). For a point (Enquiry_Shape) a left click is the whole
// shape. For a boundary or a route a left click adds a vertex, drawn in dc as a dot or as
// the edge from the vertex before, and a right click ends the shape (a boundary closed
// back to its first vertex). The tool then goes back to None and the enquiry comes back,
// with the radius in force (Enquiry_Radius). A shape that cannot be searched (too few
// vertices) is said through ui and gives nothing; nothing comes back while the shape
// is still being drawn.
std::optional<Enquiry> Digitise_Enquiry(state::InteractionState &ia, DrawnShape &shape,
                                        gdi::DeviceContext *dc, int32_t sx, int32_t sy, int32_t wx,
                                        int32_t wy, int32_t button, const state::UiHooks &ui);

// The diagonal lines that hatch the search area, spaced `spacing` world units apart,
// clipped to the area by GEOS (through OGR), in world units. At most a few hundred:
// a wide area in a close view is hatched more sparsely.
std::vector<Shape> enquiry_hatch(const Enquiry &e, double spacing);

// The search area over the map in view: hatched, outlined, and the shape itself drawn on
// it. The pen, brush and drawing mode are put back.
void draw_enquiry_area(gdi::DeviceContext &dc, const state::ViewState &view, const Enquiry &e);

} // namespace interrogation
