// The fill patterns of filled polygons: 56 brush descriptions, numbered as the drawing
// files' fill byte numbers them. Entries 0 to 43 are 8x8 monochrome patterns (0 bits in
// the object colour, 1 bits in the background colour); entries 44 to 55 are solid.
#pragma once

#include <array>

#include "platform/surface/gdi.h"

namespace drawing {

constexpr int Pattern_Count = 56;
constexpr int Mono_Pattern_Count = 44;

// The descriptions as the map window builds them at load: colour 0 throughout; the
// filling code gives each the object's colour through pattern_brush().
extern const std::array<gdi::Brush, Pattern_Count> Pattern_Brushes;

// The 8x8 bits of an entry (rows top to bottom, leftmost pixel in bit 7). The solid
// entries read as all zero bits, which look the same: everything in the object colour.
// Entries outside 0..55 are taken as the nearest end.
const gdi::PatternBits &pattern_bits(int entry);

// The brush that fills with an entry in a colour: a solid brush for entries 44 to 55,
// the monochrome pattern for 0 to 43 (its 0 bits take the text colour, which the caller
// sets to the same colour). Entries outside 0..55 are taken as the nearest end.
gdi::Brush pattern_brush(int entry, gdi::Colour colour);

} // namespace drawing
