// The planning search: every drawn polygon of the active drawings that holds a clicked
// point, read through the drawings' indexes, listed as a feature (its group's name) with
// its class. What a heritage officer asks of the map before a planning decision: what
// lies here?
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "interrogation/geometry.h"
#include "state/drawing_table.h"
#include "state/interaction_state.h"
#include "state/settings_values.h"
#include "state/ui_hooks.h"

namespace interrogation {

// The class of a feature whose name holds "RE" (a site code).
inline constexpr const char *kExcavatedAreaClass = "Excavated Area";

struct PlanningHit {
    std::string feature_class; // kExcavatedAreaClass, or the polygon's object reference
    std::string feature_name;  // the index record's (group's) name
    int32_t drawing = 0;       // the drawing entry it was found in, from 1
    int32_t first_unit = 0;    // where its group starts in that drawing (unit from 1)
    Shape outline;             // the polygon, in whole units, its first vertex repeated last
};

struct PlanningHits {
    std::vector<PlanningHit> hits; // drawing by drawing, in file order within each
    std::string label;             // "Search @ " and the grid reference of the point
};

// The polygons of the active drawings that hold (wx, wy) strictly inside; a point on an
// edge is not inside. Only index groups whose box, grown by the search buffer, holds the
// point are read, and the walk of an index stops at the first group that starts east of
// the point plus the buffer. Groups in tenths are searched with the point and the buffer
// in tenths, so that a drawing gives the same features whichever units it is stored in.
// A drawing whose files are missing is passed over.
PlanningHits planning_hits(const state::DrawingTable &drawings, int32_t wx, int32_t wy,
                           double search_buffer);

// The planning tool: the search above with the state's drawings and buffer, which ends the tool.
// The caller shows the hits and redraws the map.
PlanningHits Planning_Search_Object(const state::DrawingTable &drawings,
                                    const state::SettingsValues &settings,
                                    state::InteractionState &interaction, int32_t wx, int32_t wy,
                                    const state::UiHooks &ui);

// The RAZ reference a hit names: its feature name when that has a reference's form (a
// site code holding "RE", or an era and item such as "9.12"), else its class, the
// polygon's own object reference, which drawings that name their groups in words
// ("CITY WALL") carry their text reference in.
std::string raz_reference(const PlanningHit &hit);

// The drawing a feature name belongs to by its form: a text reference's era number less
// 4 ("9.12" is drawing 5), a site code (holding "RE" anywhere) the excavated areas,
// drawing 8; anything else 0.
int32_t drawing_of_reference(const std::string &reference);

} // namespace interrogation
