// Two-letter national grid references: the 500 km square letter (S T N O H J) and the
// 100 km square letter (A to Z without I), and the world units per last digit of a
// reference with a given number of digits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace view {

// Adds the offsets of the reference's two-letter square to east and north, which the
// caller has already turned into world units within the square (see os_factor). The
// reference is upper-cased in place. Returns false, adding nothing, for a reference
// shorter than two characters. Letters outside the tables add nothing.
bool NGR_To_Zent(std::string &ngr, int32_t &east, int32_t &north);

// Splits a world position into its square letters and the position within the square.
// A position outside the lettered squares gets fewer letters (possibly none) and keeps
// whatever was not taken off for a letter.
void Zent_to_NGR(int32_t &east, int32_t &north, std::string &ngr);

// A place typed by the user, in world units: a lettered reference with 1 to 5 digits for
// each axis, the two halves apart ("SK 9660 7025") or run together ("SK9660070255"),
// giving the south-west corner of the square it names; or full eastings and northings
// in metres ("496600 370255", "496600.5, 370255"). Letters may be small. Nothing for
// anything else, or for a place off the national grid.
std::optional<std::pair<int32_t, int32_t>> parse_grid_reference(std::string_view text);

// A world position as a grid reference to the metre, as a map's margin gives it: the
// square's letters and five digits each of easting and northing within the square
// ("SK 96595 70255"). A position outside the lettered squares is given in whole metres
// from the grid's origin instead ("-12 345"). What it gives inside the squares,
// parse_grid_reference reads back to the metre.
std::string grid_reference(int32_t x, int32_t y);

// World units per step of the last digit of a reference with this many digits per
// axis: 10^(7 - digits) for 1 to 6 digits, 1 otherwise.
int32_t os_factor(int32_t digits);

} // namespace view
