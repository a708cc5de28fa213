// The point symbol with which site points are plotted, flashed and listed on the map.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/surface/gdi.h"

namespace drawing {

// Draws one point symbol centred on the pixel (Symbol_X, Symbol_Y) in Symbol_col: a
// filled circle of radius round(2 x Symbol_si) pixels, so size 3 is 12 pixels across and
// size 0 shows nothing. symb_no is accepted for the callers' sake; every symbol is a
// circle. Leaves the text colour at Symbol_col and the stock black pen and brush
// selected.
void Plot_A_Symbol(gdi::DeviceContext &dc, int symb_no, int16_t Symbol_si, int32_t Symbol_X,
                   int32_t Symbol_Y, gdi::Colour Symbol_col);

// Symbols for plotting many points: each size is drawn once with Plot_A_Symbol into an
// image of its own, and every point then gets a stamp of the pixels it painted, so the
// picture is the same as plotting each point, for far less. Sizes too large to be worth
// an image are plotted one by one.
class SymbolStamps {
  public:
    // Plots one symbol as Plot_A_Symbol would, into a context drawing in plain copy mode;
    // unlike it, leaves the pen, brush and text colour alone until finish().
    void plot(gdi::DeviceContext &dc, int symb_no, int16_t Symbol_si, int32_t Symbol_X,
              int32_t Symbol_Y, gdi::Colour Symbol_col);
    // Leaves the context as the last Plot_A_Symbol would have (when anything was plotted).
    void finish(gdi::DeviceContext &dc);

  private:
    const gdi::Stamp *stamp_of(int16_t size);

    std::vector<std::pair<int16_t, gdi::Stamp>> stamps_;
    bool plotted_ = false;
    gdi::Colour last_colour_ = 0;
};

} // namespace drawing
