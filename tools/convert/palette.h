// Drawing colours as a GIS reads them: a drawing stores a palette index; outside the
// viewer the colour itself ("#rrggbb") is what means something. The palette is the
// graphics library's own, so the colours are those the map window draws.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace convert {

class Palette {
  public:
    Palette(); // fills itself from the graphics library

    // Colour value r + 256 g + 65536 b of an index.
    int32_t value(uint8_t index) const { return entries_[index]; }
    // "#rrggbb" of an index.
    std::string hex(uint8_t index) const;

    // The index for a "#rrggbb" (or "rrggbb") text: the first index with exactly that
    // colour (several indexes share colours, and any of them draws the same), else the
    // nearest by the sum of squared differences. None for a text that is no colour.
    std::optional<uint8_t> index_of(std::string_view hex) const;

  private:
    std::array<int32_t, 256> entries_{};
};

} // namespace convert
