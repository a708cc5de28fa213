#include "shell/free_format.h"

#include "platform/files.h"

namespace shell {

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


std::vector<std::string> read_free_format(std::string_view s) {
    std::vector<std::string> fields;
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        while (i < n && is_blank(s[i]))
            ++i;
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
        if (s[i] == ',') {
            ++i;
            // A comma always opens another field, even when nothing follows it.
            if (i >= n)
                fields.emplace_back();
            continue;
        }
        // One line end: CR LF counts once.
        if (s[i] == '\r' && i + 1 < n && s[i + 1] == '\n')
            i += 2;
        else
            ++i;
    }
    return fields;
}

std::vector<std::string> read_free_format_file(const std::string &path) {
    return read_free_format(files::read_text(files::resolve(path)));
}

} // namespace shell
