#include "drawing/symbols.h"

#include <algorithm>

#include "platform/base/numbers.h"

namespace drawing {

namespace {

// Symbols far outside the window only need to stay outside it; this keeps the box
// corners from overflowing.
int32_t corner(int64_t v) {
    constexpr int64_t kFar = int64_t{1} << 30;
    return static_cast<int32_t>(std::clamp(v, -kFar, kFar));
}

} // namespace

void Plot_A_Symbol(gdi::DeviceContext &dc, int /*symb_no*/, int16_t Symbol_si, int32_t Symbol_X,
                   int32_t Symbol_Y, gdi::Colour Symbol_col) {
    const int64_t r = num::nearest(2.0 * Symbol_si);
    dc.select(gdi::Pen{gdi::PenStyle::Solid, 1, Symbol_col});
    dc.set_text_colour(Symbol_col);
    dc.select(gdi::Brush::solid(Symbol_col));
    dc.ellipse(corner(int64_t{Symbol_X} - r), corner(int64_t{Symbol_Y} - r),
               corner(int64_t{Symbol_X} + r), corner(int64_t{Symbol_Y} + r));
    dc.select(gdi::Brush::black());
    dc.select(gdi::Pen::black());
}

} // namespace drawing
