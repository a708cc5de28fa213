#include "tools/convert/palette.h"

#include <cstdio>

#include "platform/base/text.h"
#include "platform/surface/gdi.h"
#include "zent32i_binding.h"

namespace convert {

Palette::Palette() {
    zt::ZT_Init_Zent_Palette(entries_.data());
}

std::string Palette::hex(uint8_t index) const {
    const int32_t v = entries_[index];
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", gdi::red_of(v), gdi::green_of(v),
                  gdi::blue_of(v));
    return buf;
}

std::optional<uint8_t> Palette::index_of(std::string_view hex) const {
    while (!hex.empty() && hex.front() == ' ')
        hex.remove_prefix(1);
    while (!hex.empty() && hex.back() == ' ')
        hex.remove_suffix(1);
    if (!hex.empty() && hex.front() == '#')
        hex.remove_prefix(1);
    if (hex.size() != 6)
        return std::nullopt;
    int rgb[3];
    for (int k = 0; k < 3; ++k) {
        const int hi = text::hex_digit(hex[2 * k]), lo = text::hex_digit(hex[2 * k + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        rgb[k] = hi * 16 + lo;
    }
    int best = 0;
    long best_distance = -1;
    for (int i = 0; i < 256; ++i) {
        const int32_t v = entries_[i];
        const long dr = gdi::red_of(v) - rgb[0], dg = gdi::green_of(v) - rgb[1],
                   db = gdi::blue_of(v) - rgb[2];
        const long d = dr * dr + dg * dg + db * db;
        if (best_distance < 0 || d < best_distance) {
            best = i;
            best_distance = d;
            if (d == 0)
                break;
        }
    }
    return static_cast<uint8_t>(best);
}

} // namespace convert
