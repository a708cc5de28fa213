// The program's number conventions, one helper each:
//   nearest  - to an integer, halves to the even neighbour (every real handed to an
//              integer, in the viewer and the library alike)
//   halve    - integer extents halved by truncating toward zero
//   Str      - number text with a leading blank when not negative, as user texts show it
//   CStr     - number text without the blank, as the settings store keeps it
//   Val      - the number at the start of a text, 0 when there is none
//   field_number - a number field of a text file, blank reading as 0
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace num {

int32_t nearest(double v);
int64_t nearest64(double v);

// Nearest as above, but held at the ends of the 32-bit range (and 0 for NaN) where a
// value from a far-off view or a damaged file could not be held; nearest() wraps.
int32_t nearest_clamped(double v);

// An integer held at the ends of the 32-bit range.
constexpr int32_t clamp32(int64_t v) {
    return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v));
}

constexpr int32_t halve(int32_t v) {
    return v / 2;
}

// Up to 15 significant digits, no trailing zeros, no leading zero before the point
// (".05"), exponent form beyond that range ("1E+16", "1E-05").
std::string CStr(double v);
std::string CStr(int64_t v);
inline std::string CStr(int32_t v) {
    return CStr(static_cast<int64_t>(v));
}

std::string Str(double v);
std::string Str(int64_t v);
inline std::string Str(int32_t v) {
    return Str(static_cast<int64_t>(v));
}

// Reads a number from the start of text: blanks, tabs and line ends are skipped
// anywhere; a sign, digits, one decimal point and an exponent (E or D) are taken;
// "&H" and "&O" prefixes read hexadecimal and octal. Stops at the first other character.
double Val(std::string_view text);

// True when the text, trimmed, is a number as a whole (used where a value must convert).
bool is_numeric(std::string_view text);

// A number field of a text file, as the world-information files hold them: a blank field
// reads as 0; anything else must be a number as a whole, and a finite one. False for
// anything else, v then holding no value to use.
bool field_number(std::string_view field, double &v);

} // namespace num
