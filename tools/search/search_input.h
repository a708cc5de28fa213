// What tavi-search reads from its command line besides names: coordinates in metres on
// the national grid and the search buffer, checked before any project is loaded.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

#include "interrogation/geometry.h"

namespace search_input {

// A value that cannot be searched with; the message is the line the user sees.
struct BadInput : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The national grid's extent in metres: what a coordinate may be.
constexpr double kGridEast = 700000.0, kGridNorth = 1300000.0;

// "E,N;E,N;..." in metres into world units, blanks around each vertex allowed. Fewer than
// `least` vertices, or a vertex that is not two numbers on the grid, is BadInput naming
// the option.
interrogation::Shape parse_shape(const std::string &option, const std::string &text,
                                 std::size_t least);

// The search buffer in metres, 1 to 100; anything else is BadInput.
double parse_buffer(const std::string &text);

} // namespace search_input
