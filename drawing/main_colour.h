// The colour a drawing is seen in: the palette index most of its drawn lines take. A
// period map is drawn mostly in one colour, which the period list shows as the key to
// the map. Only the drawing's first objects are read, so that a large drawing costs no
// more than a small one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "drawing/drawing_cache.h"

namespace drawing {

// Objects read at most.
inline constexpr int kColourSample = 4000;

// The palette index of most of the points of the drawing's first objects; nothing for
// a drawing that cannot be read or has no object with points.
std::optional<uint8_t> main_colour(const std::string &drw, DrawingCache &cache,
                                   int sample = kColourSample);

} // namespace drawing
