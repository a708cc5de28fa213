// Texts between a drawing and a GIS. Drawings hold single-byte text fields, which the
// viewer shows as UTF-8 when they are valid UTF-8 and as Latin-1 otherwise; OGR formats
// want UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace convert {

// A drawing's text as UTF-8, read the way the viewer reads it.
std::string to_utf8(std::string_view drawing_text);

// A UTF-8 text for a drawing field of `width` bytes: Latin-1 when every character has a
// Latin-1 byte (so that old readers show it too), else UTF-8 cut at a character
// boundary. `cut` tells whether anything was left out.
std::string to_drawing_text(std::string_view utf8, std::size_t width, bool &cut);

} // namespace convert
