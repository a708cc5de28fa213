// The HTML table: a complete UTF-8 document (so a browser opening the file on its own
// reads every character right) holding one table of the header row and the data rows.
#include <QString>

#include <string>

#include "platform/exports/export_table.h"

namespace exporting {

namespace {

bool plain_ascii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x7F || (c < 0x20 && c != '\t' && c != '\n' && c != '\r'))
            return false;
    return true;
}

// The text made fit for a document: malformed UTF-8 becomes the replacement character,
// and so do control characters, which have no place in HTML text.
std::string cleaned(std::string_view text) {
    QString q = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    for (QChar &c : q) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || (u >= 0x7F && u < 0xA0))
            c = QChar(QChar::ReplacementCharacter);
    }
    return q.toStdString();
}

// Escapes the five characters that could end a text or start markup.
void escape_into(std::string &out, std::string_view text) {
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
}

void append_escaped(std::string &out, std::string_view text) {
    if (plain_ascii(text))
        escape_into(out, text);
    else
        escape_into(out, cleaned(text));
}

} // namespace

Outcome write_html(const std::filesystem::path &path, const Table &table) {
    const std::size_t columns = table.column_count();
    std::string out;
    out.reserve(64 * (table.rows.size() + 1) * (columns + 1));
    out += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>";
    append_escaped(out, path.stem().string());
    out += "</title>\n<style>\n"
           "table { border-collapse: collapse; }\n"
           "th, td { border: 1px solid #808080; padding: 2px 6px; }\n"
           "td.number { text-align: right; }\n"
           "</style>\n</head>\n<body>\n<table>\n<tr>";
    for (std::size_t c = 0; c < columns; ++c) {
        out += "<th>";
        if (c < table.headers.size())
            append_escaped(out, table.headers[c]);
        out += "</th>";
    }
    out += "</tr>\n";
    for (const auto &row : table.rows) {
        out += "<tr>";
        for (std::size_t c = 0; c < columns; ++c) {
            if (c >= row.size()) {
                out += "<td></td>";
            } else if (const double *v = std::get_if<double>(&row[c])) {
                out += "<td class=\"number\">";
                out += number_text(*v);
                out += "</td>";
            } else {
                out += "<td>";
                append_escaped(out, std::get<std::string>(row[c]));
                out += "</td>";
            }
        }
        out += "</tr>\n";
    }
    out += "</table>\n</body>\n</html>\n";
    return write_output(path, out);
}

} // namespace exporting
