// Text helpers shared by every reader of the program's text files and fixed fields.
#pragma once

#include <string>
#include <string_view>

namespace text {

// Without leading and trailing blanks (spaces and tabs): fixed-length fields are padded
// with spaces, and hand-edited project files may hold tabs.
inline std::string trim_blanks(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return std::string(s.substr(b, e - b));
}

}  // namespace text
