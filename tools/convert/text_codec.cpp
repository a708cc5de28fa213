#include "tools/convert/text_codec.h"

#include <cstdint>
#include <vector>

namespace convert {

namespace {

// Decodes one UTF-8 character at s[i]; returns its length, 0 when invalid.
std::size_t decode(std::string_view s, std::size_t i, uint32_t &cp) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char c = b(0);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size())
        return 0;
    cp = n == 1 ? c : c & (0x7f >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xc0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(k) & 0x3f);
    }
    static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
        return 0;
    return n;
}

bool valid_utf8(std::string_view s) {
    uint32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = decode(s, i, cp);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

} // namespace

std::string to_utf8(std::string_view drawing_text) {
    if (valid_utf8(drawing_text))
        return std::string(drawing_text);
    std::string out;
    for (const char ch : drawing_text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

std::string to_drawing_text(std::string_view utf8, std::size_t width, bool &cut) {
    cut = false;
    std::vector<std::pair<uint32_t, std::size_t>> chars; // code point, UTF-8 length
    bool latin1 = true;
    uint32_t cp = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t n = decode(utf8, i, cp);
        if (n == 0) { // not UTF-8 after all: its bytes as they are
            cp = static_cast<unsigned char>(utf8[i]);
            n = 1;
            latin1 = false;
        }
        latin1 = latin1 && cp <= 0xff;
        chars.emplace_back(cp, n);
        i += n;
    }
    std::string out;
    if (latin1) {
        for (const auto &[c, n] : chars) {
            if (out.size() == width) {
                cut = true;
                break;
            }
            out += static_cast<char>(c);
        }
        return out;
    }
    std::size_t at = 0;
    for (const auto &[c, n] : chars) {
        if (out.size() + n > width) {
            cut = true;
            break;
        }
        out.append(utf8.substr(at, n));
        at += n;
    }
    return out;
}

} // namespace convert
