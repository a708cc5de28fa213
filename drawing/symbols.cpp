#include "drawing/symbols.h"

#include <QImage>

#include <algorithm>
#include <cstdlib>

#include "platform/base/numbers.h"

namespace drawing {

namespace {

// The largest radius, in pixels, worth an image of its own.
constexpr int64_t kLargestStamped = 64;

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

const gdi::Stamp *SymbolStamps::stamp_of(int16_t size) {
    for (const auto &[s, stamp] : stamps_)
        if (s == size)
            return &stamp;
    // A negative size draws the circle of the positive one.
    const int64_t r = std::llabs(num::nearest(2.0 * size));
    if (r > kLargestStamped)
        return nullptr;
    // Drawn on a transparent image with room all round, in plain copy mode: the pixels it
    // sets are the symbol, in any colour.
    const int reach = static_cast<int>(r) + 2;
    QImage image(2 * reach + 1, 2 * reach + 1, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        gdi::DeviceContext dc(image);
        Plot_A_Symbol(dc, 0, size, reach, reach, gdi::rgb(0, 0, 0));
    }
    stamps_.emplace_back(size, gdi::Stamp::of(image, reach, reach));
    return &stamps_.back().second;
}

void SymbolStamps::plot(gdi::DeviceContext &dc, int symb_no, int16_t Symbol_si, int32_t Symbol_X,
                        int32_t Symbol_Y, gdi::Colour Symbol_col) {
    plotted_ = true;
    last_colour_ = Symbol_col;
    // A stamp is cut in logical pixels; a finer picture (HiDPI) draws the symbol itself so
    // that it keeps its size and sharp edge there.
    const gdi::Stamp *stamp = dc.device_pixel_ratio() == 1.0 ? stamp_of(Symbol_si) : nullptr;
    if (stamp)
        dc.stamp(*stamp, Symbol_X, Symbol_Y, Symbol_col);
    else
        Plot_A_Symbol(dc, symb_no, Symbol_si, Symbol_X, Symbol_Y, Symbol_col);
}

void SymbolStamps::finish(gdi::DeviceContext &dc) {
    if (!std::exchange(plotted_, false))
        return;
    dc.set_text_colour(last_colour_);
    dc.select(gdi::Brush::black());
    dc.select(gdi::Pen::black());
}

} // namespace drawing
