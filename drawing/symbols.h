// The point symbol with which site points are plotted, flashed and listed on the map.
#pragma once

#include <cstdint>

#include "platform/surface/gdi.h"

namespace drawing {

// Draws one point symbol centred on the pixel (Symbol_X, Symbol_Y) in Symbol_col: a
// filled circle of radius round(2 x Symbol_si) pixels, so size 3 is 12 pixels across and
// size 0 shows nothing. symb_no is accepted for the callers' sake; every symbol is a
// circle. Leaves the text colour at Symbol_col and the stock black pen and brush
// selected.
void Plot_A_Symbol(gdi::DeviceContext &dc, int symb_no, int16_t Symbol_si, int32_t Symbol_X,
                   int32_t Symbol_Y, gdi::Colour Symbol_col);

} // namespace drawing
