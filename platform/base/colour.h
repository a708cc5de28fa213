// Colour values as the map, the tables and their exports keep them: r + 256 g + 65536 b,
// red in the low byte. Plain numbers, so that a table that has colours needs no drawing
// surface to hold them.
#pragma once

#include <cstdint>

namespace gdi {

using Colour = int32_t; // r + 256 g + 65536 b

constexpr Colour rgb(int r, int g, int b) {
    return r + 256 * g + 65536 * b;
}
constexpr int red_of(Colour c) {
    return c & 0xFF;
}
constexpr int green_of(Colour c) {
    return (c >> 8) & 0xFF;
}
constexpr int blue_of(Colour c) {
    return (c >> 16) & 0xFF;
}
// The same colour as the toolkit's opaque 0xAARRGGBB pixel (QRgb).
constexpr uint32_t to_qrgb(Colour c) {
    return 0xFF000000u | (static_cast<uint32_t>(red_of(c)) << 16) |
           (static_cast<uint32_t>(green_of(c)) << 8) | static_cast<uint32_t>(blue_of(c));
}

} // namespace gdi
