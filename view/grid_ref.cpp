#include "view/grid_ref.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

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

constexpr int32_t kUnitsPerMetre = 100;
// The national grid's extent in metres: 700 km east, 1300 km north.
constexpr double kGridEastMetres = 700'000.0;
constexpr double kGridNorthMetres = 1'300'000.0;

// The text cut at blanks and commas, empty pieces dropped.
std::vector<std::string> pieces(std::string_view text) {
    std::vector<std::string> out;
    std::string piece;
    for (const char c : text) {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!piece.empty())
                out.push_back(std::move(piece));
            piece.clear();
        } else {
            piece.push_back(c);
        }
    }
    if (!piece.empty())
        out.push_back(std::move(piece));
    return out;
}

bool all_digits(const std::string &s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A number of metres written plainly: digits, at most one point (whatever the locale).
std::optional<double> metres(const std::string &s) {
    if (s.empty() || s.find_first_not_of("0123456789.") != std::string::npos)
        return std::nullopt;
    double v = 0.0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return v;
}

} // namespace

std::optional<std::pair<int32_t, int32_t>> parse_grid_reference(std::string_view text) {
    std::string upper(text);
    for (char &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::vector<std::string> parts = pieces(upper);
    if (parts.empty())
        return std::nullopt;

    const std::string &head = parts.front();
    if (head.size() >= 2 && std::strchr("STNOHJ", head[0]) != nullptr && head[1] >= 'A' &&
        head[1] <= 'Z' && head[1] != 'I') {
        std::string square = head.substr(0, 2);
        std::vector<std::string> digits;
        if (head.size() > 2)
            digits.push_back(head.substr(2));
        digits.insert(digits.end(), parts.begin() + 1, parts.end());
        std::string e, n;
        if (digits.size() == 1 && digits[0].size() % 2 == 0) {
            e = digits[0].substr(0, digits[0].size() / 2);
            n = digits[0].substr(digits[0].size() / 2);
        } else if (digits.size() == 2 && digits[0].size() == digits[1].size()) {
            e = digits[0];
            n = digits[1];
        } else {
            return std::nullopt;
        }
        if (!all_digits(e) || !all_digits(n) || e.size() > 5)
            return std::nullopt;
        // Only the squares of the grid: lettering goes on beyond it (JE, TE, HA), but
        // no place there is on the national grid.
        int32_t corner_east = 0, corner_north = 0;
        NGR_To_Zent(square, corner_east, corner_north);
        if (corner_east >= kGridEastMetres * kUnitsPerMetre ||
            corner_north >= kGridNorthMetres * kUnitsPerMetre)
            return std::nullopt;
        const int32_t factor = os_factor(static_cast<int32_t>(e.size()));
        int32_t east = std::stoi(e) * factor;
        int32_t north = std::stoi(n) * factor;
        NGR_To_Zent(square, east, north);
        return std::make_pair(east, north);
    }

    if (parts.size() != 2)
        return std::nullopt;
    const std::optional<double> e = metres(parts[0]), n = metres(parts[1]);
    if (!e || !n || *e >= kGridEastMetres || *n >= kGridNorthMetres)
        return std::nullopt;
    return std::make_pair(static_cast<int32_t>(std::nearbyint(*e * kUnitsPerMetre)),
                          static_cast<int32_t>(std::nearbyint(*n * kUnitsPerMetre)));
}

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
