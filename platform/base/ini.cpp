#include "platform/base/ini.h"

#include "platform/base/text.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <utility>

namespace ini {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

bool is_control(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (is_blank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// One piece of a name as it stands in the file: a plain character, "%%", or "%XX".
struct NameToken {
    enum Kind { Plain, Percent, Escape } kind;
    char c; // the character it stands for
};

std::vector<NameToken> tokens_of(std::string_view raw) {
    std::vector<NameToken> out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '%' && i + 1 < raw.size() && raw[i + 1] == '%') {
            out.push_back({NameToken::Percent, '%'});
            ++i;
        } else if (raw[i] == '%' && i + 2 < raw.size() && text::hex_digit(raw[i + 1]) >= 0 &&
                   text::hex_digit(raw[i + 2]) >= 0) {
            out.push_back({NameToken::Escape, static_cast<char>(text::hex_digit(raw[i + 1]) * 16 +
                                                                text::hex_digit(raw[i + 2]))});
            i += 2;
        } else {
            out.push_back({NameToken::Plain, raw[i]});
        }
    }
    return out;
}

// Earlier versions escaped every blank of a name (and a '%' as %25); this version
// escapes only the blanks at either end, so an escaped blank between two plain
// characters, or an escaped '%', marks a file in the earlier form.
bool looks_earlier(std::string_view raw) {
    const std::vector<NameToken> t = tokens_of(raw);
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != NameToken::Escape)
            continue;
        if (t[i].c == '%')
            return true;
        if (t[i].c == ' ' && i > 0 && i + 1 < t.size() && t[i - 1].kind == NameToken::Plain &&
            t[i + 1].kind == NameToken::Plain)
            return true;
    }
    return false;
}

std::string decode_name(std::string_view raw, bool earlier) {
    std::string once;
    for (const NameToken &t : tokens_of(raw))
        once += t.c;
    if (!earlier)
        return once;
    // The earlier form escaped '%' and '/' once more before the file's own escaping.
    std::string name;
    for (std::size_t i = 0; i < once.size(); ++i) {
        if (once.compare(i, 3, "%25") == 0) {
            name += '%';
            i += 2;
        } else if (once.compare(i, 3, "%2F") == 0 || once.compare(i, 3, "%2f") == 0) {
            name += '/';
            i += 2;
        } else {
            name += once[i];
        }
    }
    return name;
}

std::string encode_name(std::string_view name, bool section) {
    std::size_t first = 0, last = name.size();
    while (first < last && is_blank(name[first]))
        ++first;
    while (last > first && is_blank(name[last - 1]))
        --last;
    static const char *const kHex = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool escape =
            is_control(c) || i < first || i >= last ||
            (section ? c == ']' : (c == '=' || (i == 0 && (c == '[' || c == ';' || c == '#'))));
        if (c == '%') {
            out += "%%";
        } else if (escape) {
            const auto u = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

// A backslash escape at s[i] (the backslash itself); appends what it stands for and
// returns the index of its last character.
std::size_t unescape_at(std::string_view s, std::size_t i, std::string &out) {
    if (i + 1 >= s.size()) {
        out += '\\';
        return i;
    }
    const char c = s[++i];
    switch (c) {
    case 'n':
        out += '\n';
        return i;
    case 'r':
        out += '\r';
        return i;
    case 't':
        out += '\t';
        return i;
    case 'a':
        out += '\a';
        return i;
    case 'b':
        out += '\b';
        return i;
    case 'f':
        out += '\f';
        return i;
    case 'v':
        out += '\v';
        return i;
    case 'x': {
        unsigned value = 0;
        std::size_t n = 0;
        while (n < 2 && i + 1 < s.size() && text::hex_digit(s[i + 1]) >= 0) {
            value = value * 16 + static_cast<unsigned>(text::hex_digit(s[++i]));
            ++n;
        }
        out += static_cast<char>(value);
        return i;
    }
    default:
        if (c >= '0' && c <= '7') {
            unsigned value = static_cast<unsigned>(c - '0');
            for (int n = 0; n < 2 && i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '7'; ++n)
                value = value * 8 + static_cast<unsigned>(s[++i] - '0');
            out += static_cast<char>(value);
            return i;
        }
        out += c; // \\, \", and anything else stands for itself
        return i;
    }
}

std::string decode_value(std::string_view raw, bool earlier) {
    if (!earlier) {
        if (raw.empty() || raw.front() != '"')
            return std::string(raw);
        std::string out;
        for (std::size_t i = 1; i < raw.size() && raw[i] != '"'; ++i) {
            if (raw[i] == '\\')
                i = unescape_at(raw, i, out);
            else
                out += raw[i];
        }
        return out;
    }
    // The earlier form: escapes with or without quotes, a list of items joined by commas,
    // and a doubled '@' in front of a text that started with one.
    std::string out, item;
    bool quoted = false;
    auto end_item = [&] {
        out += quoted ? item : std::string(trim(item));
        item.clear();
    };
    bool in_quotes = false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '"') {
            in_quotes = !in_quotes;
            quoted = true;
        } else if (c == '\\') {
            i = unescape_at(raw, i, item);
        } else if (c == ',' && !in_quotes) {
            end_item();
            out += ',';
            quoted = false;
        } else {
            item += c;
        }
    }
    end_item();
    if (out.compare(0, 2, "@@") == 0)
        out.erase(0, 1);
    return out;
}

std::string encode_value(std::string_view value) {
    const bool needs_quotes =
        !value.empty() &&
        (is_blank(value.front()) || is_blank(value.back()) || value.front() == '"' ||
         std::any_of(value.begin(), value.end(), is_control));
    if (!needs_quotes)
        return std::string(value);
    static const char *const kHex = "0123456789ABCDEF";
    std::string out = "\"";
    for (const char c : value) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (is_control(c)) {
                const auto u = static_cast<unsigned char>(c);
                out += "\\x";
                out += kHex[u >> 4];
                out += kHex[u & 15];
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

} // namespace

Document Document::parse(std::string_view text) {
    // The lines, each trimmed, and whether the file is in the earlier form.
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (!lines.empty() && trim(lines.back()).empty())
        lines.pop_back();
    bool earlier = false;
    for (const std::string_view line : lines) {
        const std::string_view t = trim(line);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']')
            earlier = earlier || looks_earlier(t.substr(1, t.size() - 2));
        else if (const std::size_t eq = t.find('=');
                 eq != std::string_view::npos && t.front() != ';' && t.front() != '#')
            earlier = earlier || looks_earlier(trim(t.substr(0, eq)));
    }

    Document doc;
    doc.sections_.push_back(Section{false, {}, {}});
    for (const std::string_view line : lines) {
        const std::string_view t = trim(line);
        Section &current = doc.sections_.back();
        if (t.empty() || t.front() == ';' || t.front() == '#') {
            current.lines.push_back(Line{false, {}, std::string(trim(line))});
        } else if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            doc.sections_.push_back(
                Section{true, decode_name(t.substr(1, t.size() - 2), earlier), {}});
        } else if (const std::size_t eq = t.find('='); eq != std::string_view::npos) {
            current.lines.push_back(Line{true, decode_name(trim(t.substr(0, eq)), earlier),
                                         decode_value(trim(t.substr(eq + 1)), earlier)});
        } else {
            current.lines.push_back(Line{false, {}, std::string(t)});
        }
    }
    return doc;
}

const Document::Section *Document::find_section(std::string_view name) const {
    for (const Section &s : sections_)
        if (s.headed && text::equal_ignoring_case(s.name, name))
            return &s;
    return nullptr;
}

Document::Section *Document::find_section(std::string_view name) {
    return const_cast<Section *>(std::as_const(*this).find_section(name));
}

std::optional<std::string> Document::get(std::string_view section, std::string_view key) const {
    if (const Section *s = find_section(section))
        for (const Line &l : s->lines)
            if (l.entry && text::equal_ignoring_case(l.key, key))
                return l.value;
    return std::nullopt;
}

void Document::set(std::string_view section, std::string_view key, std::string_view value) {
    Section *s = find_section(section);
    if (s == nullptr) {
        sections_.push_back(Section{true, std::string(section), {}});
        s = &sections_.back();
    }
    s->name = std::string(section);
    for (Line &l : s->lines) {
        if (l.entry && text::equal_ignoring_case(l.key, key)) {
            l.key = std::string(key);
            l.value = std::string(value);
            return;
        }
    }
    // A new key goes after the section's last entry, before blank lines that part it
    // from the next section.
    auto at = s->lines.end();
    while (at != s->lines.begin() && !std::prev(at)->entry && std::prev(at)->value.empty())
        --at;
    s->lines.insert(at, Line{true, std::string(key), std::string(value)});
}

std::string Document::text() const {
    std::string out;
    for (const Section &s : sections_) {
        if (!s.headed && s.lines.empty())
            continue;
        if (s.headed) {
            if (!out.empty() && (out.size() < 2 || out.compare(out.size() - 2, 2, "\n\n") != 0))
                out += '\n';
            out += '[' + encode_name(s.name, true) + "]\n";
        }
        for (const Line &l : s.lines) {
            if (l.entry)
                out += encode_name(l.key, false) + '=' + encode_value(l.value) + '\n';
            else
                out += l.value + '\n';
        }
    }
    return out;
}

} // namespace ini
