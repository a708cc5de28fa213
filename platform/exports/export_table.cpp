#include "platform/exports/export_table.h"

#include "platform/base/outputs.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace exporting {

std::size_t Table::column_count() const {
    std::size_t n = headers.size();
    for (const auto &row : rows)
        n = std::max(n, row.size());
    return n;
}

Format html_or_xml(std::string_view file_name) {
    return file_name.find(".htm") != std::string_view::npos ? Format::Html : Format::Xml;
}

Format format_for_name(std::string_view file_name) {
    constexpr std::string_view xls = ".xls";
    if (file_name.size() >= xls.size()) {
        const auto tail = file_name.substr(file_name.size() - xls.size());
        const bool is_xls = std::equal(tail.begin(), tail.end(), xls.begin(), [](char a, char b) {
            return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
        });
        if (is_xls)
            return Format::Excel97;
    }
    return html_or_xml(file_name);
}

Outcome write_table(const std::filesystem::path &path, const Table &table, Format format) {
    switch (format) {
    case Format::Excel97:
        return write_xls(path, table);
    case Format::Html:
        return write_html(path, table);
    case Format::Xml:
        break;
    }
    return write_xml(path, table);
}

std::string number_text(double v) {
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v > 0 ? "Infinity" : "-Infinity";
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

Outcome write_output(const std::filesystem::path &path, std::string_view bytes) {
    if (path.empty())
        return Outcome::failure("No file name was given.");
    if (const int error = outputs::write(path, bytes))
        return Outcome::failure("Could not write \"" + path.string() +
                                "\": " + outputs::reason(error));
    return Outcome{};
}

std::string warning(const Outcome &outcome) {
    if (outcome.texts_cut == 0)
        return outcome.notes.empty() ? std::string() : outcome.notes.front();
    const std::size_t n = outcome.texts_cut;
    return std::to_string(n) + (n == 1 ? " text was" : " texts were") +
           " longer than the 32767 characters an Excel cell holds and cut to fit (the first in " +
           outcome.first_cut + ")";
}

} // namespace exporting
