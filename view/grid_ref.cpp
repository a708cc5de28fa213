#include "view/grid_ref.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <limits>

namespace view {

namespace {

constexpr int32_t k100km = 10'000'000; // world units
constexpr int32_t k500km = 5 * k100km;

// Second letters by row (north offset in 100 km, from the south) and column (east
// offset in 100 km, from the west).
constexpr const char *kSquareRows[5] = {"VWXYZ", "QRSTU", "LMNOP", "FGHJK", "ABCDE"};

int32_t saturated_add(int32_t a, int64_t b) {
    const int64_t r = static_cast<int64_t>(a) + b;
    if (r > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (r < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

// Index of the 100 km band holding v (0 to 4), or -1 outside the 500 km square.
int band_of(int64_t v) {
    if (v < 0 || v >= k500km)
        return -1;
    return static_cast<int>(v / k100km);
}

} // namespace

bool NGR_To_Zent(std::string &ngr, int32_t &east, int32_t &north) {
    for (char &c : ngr)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ngr.size() < 2)
        return false;

    int64_t de = 0, dn = 0;
    switch (ngr[0]) {
    case 'H':
        dn += 2 * k500km;
        break;
    case 'N':
        dn += k500km;
        break;
    case 'O':
        de += k500km;
        dn += k500km;
        break;
    case 'T':
        de += k500km;
        break;
    case 'J':
        de += k500km;
        dn += 2 * k500km;
        break;
    default:
        break; // S, and anything the grid does not letter
    }

    // Rows go by character code, so the unused I falls in the F-K row like its neighbours.
    const char c = ngr[1];
    if (c >= 'A' && c <= 'E')
        dn += 4 * k100km;
    else if (c >= 'F' && c <= 'K')
        dn += 3 * k100km;
    else if (c >= 'L' && c <= 'P')
        dn += 2 * k100km;
    else if (c >= 'Q' && c <= 'U')
        dn += k100km;
    if (c != '\0') {
        if (std::strchr("BGMRW", c))
            de += k100km;
        else if (std::strchr("CHNSX", c))
            de += 2 * k100km;
        else if (std::strchr("DJOTY", c))
            de += 3 * k100km;
        else if (std::strchr("EKPUZ", c))
            de += 4 * k100km;
    }

    east = saturated_add(east, de);
    north = saturated_add(north, dn);
    return true;
}

void Zent_to_NGR(int32_t &east, int32_t &north, std::string &ngr) {
    int64_t e = east, n = north;
    ngr.clear();

    // The first letter. The H and J band is as tall as the two below it together.
    char first = '\0';
    int64_t corner_e = 0, corner_n = 0;
    const bool west = e >= 0 && e < k500km;
    const bool east_half = e >= k500km && e < 2 * k500km;
    if (west || east_half) {
        if (n >= 0 && n < k500km) {
            first = west ? 'S' : 'T';
        } else if (n >= k500km && n < 2 * k500km) {
            first = west ? 'N' : 'O';
            corner_n = k500km;
        } else if (n >= 2 * k500km && n < 4 * k500km) {
            first = west ? 'H' : 'J';
            corner_n = 2 * k500km;
        }
        if (first != '\0')
            corner_e = west ? 0 : k500km;
    }
    if (first != '\0') {
        ngr.push_back(first);
        e -= corner_e;
        n -= corner_n;
    }

    // The second letter: the column is taken off even when the row then fails.
    const int col = band_of(e);
    if (col >= 0) {
        e -= static_cast<int64_t>(col) * k100km;
        const int row = band_of(n);
        if (row >= 0) {
            n -= static_cast<int64_t>(row) * k100km;
            ngr.push_back(kSquareRows[row][col]);
        }
    }

    east = static_cast<int32_t>(e);
    north = static_cast<int32_t>(n);
}

std::string grid_reference(int32_t x, int32_t y) {
    constexpr int32_t kUnitsPerMetre = 100;
    auto metres = [](int64_t units) { // towards the south-west: a square holds its own edge
        return units >= 0 ? units / kUnitsPerMetre
                          : -((-units + kUnitsPerMetre - 1) / kUnitsPerMetre);
    };
    int32_t east = x, north = y;
    std::string letters;
    Zent_to_NGR(east, north, letters);
    if (letters.size() != 2)
        return std::to_string(metres(x)) + " " + std::to_string(metres(y));
    char digits[32];
    std::snprintf(digits, sizeof digits, " %05lld %05lld", static_cast<long long>(metres(east)),
                  static_cast<long long>(metres(north)));
    return letters + digits;
}

int32_t os_factor(int32_t digits) {
    switch (digits) {
    case 1:
        return 1'000'000;
    case 2:
        return 100'000;
    case 3:
        return 10'000;
    case 4:
        return 1'000;
    case 5:
        return 100;
    case 6:
        return 10;
    default:
        return 1;
    }
}

} // namespace view
