#include "platform/base/numbers.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/base/text.h"

namespace num {

int32_t nearest(double v) {
    return static_cast<int32_t>(std::lrint(v));
}

int64_t nearest64(double v) {
    return static_cast<int64_t>(std::llrint(v));
}

int32_t nearest_clamped(double v) {
    if (std::isnan(v))
        return 0;
    const double r = std::nearbyint(v);
    if (r >= static_cast<double>(INT32_MAX))
        return INT32_MAX;
    if (r <= static_cast<double>(INT32_MIN))
        return INT32_MIN;
    return static_cast<int32_t>(r);
}

std::string CStr(int64_t v) {
    return std::to_string(v);
}

std::string CStr(double v) {
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v < 0 ? "-Infinity" : "Infinity";
    if (v == 0.0)
        return "0";
    char buf[64];
    const double mag = std::fabs(v);
    if (mag >= 1e15 || mag < 1e-4) {
        // Exponent form: mantissa without trailing zeros, exponent signed, two digits.
        std::snprintf(buf, sizeof buf, "%.14E", v);
        const double rounded = std::fabs(std::strtod(buf, nullptr));
        if (rounded >= 1e-4 && rounded < 1e15)
            return CStr(std::strtod(buf, nullptr)); // rounding carried it up to .0001
        std::string s(buf);
        const auto e = s.find('E');
        std::string mant = s.substr(0, e), expo = s.substr(e + 1);
        if (mant.find('.') != std::string::npos) {
            while (!mant.empty() && mant.back() == '0')
                mant.pop_back();
            if (!mant.empty() && mant.back() == '.')
                mant.pop_back();
        }
        const char sign = expo[0];
        int ev = std::atoi(expo.c_str() + 1);
        std::snprintf(buf, sizeof buf, "%sE%c%02d", mant.c_str(), sign, ev);
        return buf;
    }
    std::snprintf(buf, sizeof buf, "%.15G", v);
    std::string s(buf);
    if (s.find('E') != std::string::npos) {
        // Rounding to fifteen digits carried the number up to the exponent range
        // (999999999999999.9 -> 1E+15): write the rounded number.
        return CStr(std::strtod(buf, nullptr));
    }
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    // Numbers below one are written without the leading zero: .05, -.5
    if (s.rfind("0.", 0) == 0)
        s.erase(0, 1);
    else if (s.rfind("-0.", 0) == 0)
        s.erase(1, 1);
    return s;
}

std::string Str(int64_t v) {
    return v >= 0 ? " " + CStr(v) : CStr(v);
}

std::string Str(double v) {
    return v >= 0 || std::isnan(v) ? " " + CStr(v) : CStr(v);
}

namespace {

bool skippable(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Collects the characters Val would consider, without the blanks it skips.
std::string squeeze(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!skippable(c))
            out.push_back(c);
    return out;
}

// Length of the numeric prefix of s (already without blanks); sets value.
size_t scan(const std::string &s, double &value) {
    value = 0.0;
    if (s.size() >= 2 && s[0] == '&') {
        const char k = static_cast<char>(std::toupper(static_cast<unsigned char>(s[1])));
        const int base = k == 'H' ? 16 : (k == 'O' ? 8 : 0);
        if (base == 0)
            return 0;
        size_t i = 2;
        uint64_t acc = 0;
        for (; i < s.size(); ++i) {
            const int c = std::toupper(static_cast<unsigned char>(s[i]));
            int d = -1;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (base == 16 && c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            if (d < 0 || d >= base)
                break;
            acc = acc * base + static_cast<uint64_t>(d);
            if (acc > 0xFFFFFFFFull)
                acc &= 0xFFFFFFFFull;
        }
        // Hexadecimal and octal literals are 32-bit and signed.
        value = static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(acc)));
        return i;
    }
    size_t i = 0;
    std::string lit;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        lit.push_back(s[i++]);
    bool digits = false, point = false;
    for (; i < s.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(s[i]))) {
            digits = true;
            lit.push_back(s[i]);
        } else if (s[i] == '.' && !point) {
            point = true;
            lit.push_back('.');
        } else {
            break;
        }
    }
    if (!digits)
        return 0;
    size_t end = i;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        size_t j = i + 1;
        std::string ex = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ex.push_back(s[j++]);
        size_t k = j;
        while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k])))
            ex.push_back(s[k++]);
        if (k > j) {
            lit += ex;
            end = k;
        }
    }
    value = std::strtod(lit.c_str(), nullptr);
    return end;
}

} // namespace

double Val(std::string_view text) {
    double v;
    scan(squeeze(text), v);
    return v;
}

bool is_numeric(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && skippable(text[b]))
        ++b;
    while (e > b && skippable(text[e - 1]))
        --e;
    const std::string s(text.substr(b, e - b));
    if (s.empty())
        return false;
    double v;
    return scan(s, v) == s.size();
}

bool field_number(std::string_view field, double &v) {
    const std::string t = text::trim_blanks(field);
    if (t.empty()) {
        v = 0.0;
        return true;
    }
    if (!is_numeric(t))
        return false;
    v = Val(t);
    return std::isfinite(v);
}

} // namespace num
