#include "platform/base/text.h"

#include <cctype>

#include "platform/base/files.h"

namespace text {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}
bool is_line_end(char c) {
    return c == '\n' || c == '\r';
}
bool is_separator(char c) {
    return c == ',' || is_line_end(c);
}

} // namespace

std::string upper(std::string s) {
    for (char &c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string lower(std::string s) {
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::vector<std::string> split_fields(std::string_view s, BlankLines blank_lines) {
    std::vector<std::string> fields;
    const std::size_t n = s.size();
    std::size_t i = 0;
    bool after_comma = false;
    while (i < n) {
        while (i < n && is_blank(s[i]))
            ++i;
        if (blank_lines == BlankLines::Skipped && i < n && is_line_end(s[i]) && !after_comma) {
            ++i;
            continue;
        }
        std::string field;
        if (i < n && s[i] == '"') {
            const std::size_t close = s.find('"', i + 1);
            const std::size_t end = close == std::string_view::npos ? n : close;
            field.assign(s.substr(i + 1, end - i - 1));
            i = end == n ? n : end + 1;
            while (i < n && !is_separator(s[i]))
                ++i;
        } else {
            const std::size_t start = i;
            while (i < n && !is_separator(s[i]))
                ++i;
            field = trim_blanks(s.substr(start, i - start));
        }
        fields.push_back(std::move(field));
        if (i >= n)
            break;
        after_comma = s[i] == ',';
        if (after_comma) {
            ++i;
            // A comma always opens another field, even when nothing follows it.
            if (i >= n)
                fields.emplace_back();
            continue;
        }
        if (s[i] == '\r' && i + 1 < n && s[i + 1] == '\n')
            i += 2;
        else
            ++i;
    }
    return fields;
}

std::vector<std::string> read_fields_file(const std::string &path, BlankLines blank_lines) {
    return split_fields(files::read_text(files::resolve(path)), blank_lines);
}

} // namespace text
