// Where a project's drawings lie: the box round every group of every drawing, from the
// drawing's index where it has one (its records carry each group's box) and from the
// groups' own records otherwise. The view that frames the data, and how far a place lies
// from it, start from here.
#pragma once

#include <optional>

#include "drawing/drawing_cache.h"
#include "drawing/drw_format.h"
#include "state/drawing_table.h"

namespace drawing {

// The box in world units round the groups of one drawing; nothing when it is missing or
// no group has a box.
std::optional<WorldExtent> drawing_extent(const state::DrawingEntry &e, DrawingCache &cache);

// The box in world units round the groups of the project's drawings (those that are
// there, shown or not); nothing when no group has a box.
std::optional<WorldExtent> drawings_extent(const state::DrawingTable &drawings,
                                           DrawingCache &cache);

// How far the world point (x, y) lies from the box, in world units: 0 inside it.
double distance_outside(const WorldExtent &box, double x, double y);

} // namespace drawing
