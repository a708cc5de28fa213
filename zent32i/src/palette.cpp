// The fixed 256-colour drawing palette.
#include <array>

#include "scale_vars.h"
#include "zent32i.h"

namespace {

struct Entry {
    int r, g, b, flag; // flag: marks the base colours and the fine greys; not used
};

constexpr std::array<Entry, 16> kBase = {{
    {0, 0, 0, 1},
    {0, 0, 170, 1},
    {0, 170, 0, 1},
    {0, 170, 170, 1},
    {170, 0, 0, 1},
    {170, 0, 170, 1},
    {190, 85, 0, 1},
    {170, 170, 170, 1},
    {85, 85, 85, 1},
    {85, 85, 255, 1},
    {85, 255, 85, 1},
    {85, 255, 255, 1},
    {255, 85, 85, 1},
    {255, 85, 255, 1},
    {255, 255, 85, 1},
    {192, 192, 192, 1},
}};

constexpr std::array<Entry, 10> kSystem = {{
    {255, 251, 240, 0},
    {160, 160, 164, 0},
    {128, 128, 128, 0},
    {255, 0, 0, 0},
    {0, 255, 0, 0},
    {255, 255, 0, 0},
    {0, 0, 255, 0},
    {255, 0, 255, 0},
    {0, 255, 255, 0},
    {255, 255, 255, 0},
}};

constexpr std::array<Entry, 256> make_table() {
    std::array<Entry, 256> t{};
    for (int i = 0; i < 16; ++i)
        t[i] = kBase[i];
    for (int i = 16; i <= 25; ++i) // repeats of the bright colours
        t[i] = Entry{kBase[i - 10].r, kBase[i - 10].g, kBase[i - 10].b, 0};
    for (int i = 26; i <= 34; ++i)
        t[i] = Entry{kBase[i - 20].r, kBase[i - 20].g, kBase[i - 20].b, 0};
    for (int i = 35; i <= 170; ++i) { // a 7-step colour cube
        const int p = i - 28;
        t[i] = Entry{63 + 32 * (p % 7), 63 + 32 * ((p / 7) % 7), 63 + 32 * (p / 49), 0};
    }
    for (int i = 171; i <= 234; ++i)
        t[i] = Entry{4 * (i - 171), 4 * (i - 171), 4 * (i - 171), 1};
    for (int i = 235; i <= 243; ++i)
        t[i] = Entry{220 + 4 * (i - 235), 220 + 4 * (i - 235), 220 + 4 * (i - 235), 0};
    t[244] = Entry{216, 216, 216, 0};
    t[245] = Entry{0, 0, 170, 0};
    for (int i = 246; i <= 255; ++i)
        t[i] = kSystem[i - 246];
    return t;
}

constexpr std::array<Entry, 256> kPalette = make_table();

constexpr int clamp_component(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

} // namespace

extern "C" {

ZT_API void ZT_Init_Zent_Palette(int32_t *palette) {
    if (palette == nullptr)
        return;
    for (int i = 0; i < 256; ++i) {
        const Entry &e = kPalette[i];
        palette[i] =
            clamp_component(e.r) + 256 * clamp_component(e.g) + 65536 * clamp_component(e.b);
    }
}

ZT_API void ZT_RGC_to_R_G_B(int32_t colour, int32_t *r, int32_t *g, int32_t *b) {
    const int64_t c = colour;
    const int64_t blue = c / 65536;
    const int64_t red = c % 256;
    *b = static_cast<int32_t>(blue);
    *r = static_cast<int32_t>(red);
    *g = static_cast<int32_t>((c - 65536 * blue - red) / 256);
}

} // extern "C"
