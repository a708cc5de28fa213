// The tagged XML document: the root element, one record element per data row, and in
// each record one element per column, named after the column's header.
#include <QBuffer>
#include <QString>
#include <QXmlStreamWriter>

#include <set>
#include <string>

#include "platform/exports/export_table.h"

namespace exporting {

namespace {

bool is_name_start(char32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
           (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0xEFFFF);
}

// The colon is left out on purpose: in a name it would mean a namespace prefix.
bool is_name_char(char32_t c) {
    return is_name_start(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// Characters an XML 1.0 document may not hold at all (most control characters, the two
// non-characters at the end of the basic plane) become the replacement character, so a
// stray byte in the data cannot make the whole file unreadable.
QString document_text(std::string_view utf8) {
    QString q = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    for (QChar &c : q) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0xFFFE || u == 0xFFFF)
            c = QChar(QChar::ReplacementCharacter);
    }
    return q;
}

QString name_or(std::string_view wanted, std::string_view fallback) {
    return QString::fromStdString(xml_name(wanted.empty() ? fallback : wanted, 0));
}

} // namespace

std::string xml_name(std::string_view header, int column) {
    if (header.empty())
        return "Column_" + std::to_string(column);
    const QList<uint> points =
        QString::fromUtf8(header.data(), static_cast<qsizetype>(header.size())).toUcs4();
    std::u32string name;
    for (uint p : points)
        name += is_name_char(p) ? static_cast<char32_t>(p) : U'_';
    if (!is_name_start(name.front()))
        name.insert(name.begin(), U'_');
    return QString::fromUcs4(name.data(), static_cast<qsizetype>(name.size())).toStdString();
}

std::vector<std::string> element_names(const Table &table) {
    const std::size_t columns = table.column_count();
    std::vector<std::string> names;
    std::set<std::string> used;
    for (std::size_t c = 0; c < columns; ++c) {
        const std::string base = xml_name(
            c < table.headers.size() ? table.headers[c] : std::string(), static_cast<int>(c + 1));
        std::string name = base;
        for (int k = 2; used.count(name) != 0; ++k)
            name = base + "_" + std::to_string(k);
        used.insert(name);
        names.push_back(name);
    }
    return names;
}

Outcome write_xml(const std::filesystem::path &path, const Table &table, std::string_view root,
                  std::string_view record) {
    std::vector<QString> names;
    for (const std::string &n : element_names(table))
        names.push_back(QString::fromStdString(n));

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter xml(&buffer);
    xml.setAutoFormatting(true);
    xml.writeStartDocument(); // version 1.0, encoding UTF-8
    xml.writeStartElement(name_or(root, kXmlRoot));
    const QString record_name = name_or(record, kXmlRecord);
    for (const auto &row : table.rows) {
        xml.writeStartElement(record_name);
        for (std::size_t c = 0; c < names.size(); ++c) {
            if (c >= row.size()) {
                xml.writeEmptyElement(names[c]);
            } else if (const double *v = std::get_if<double>(&row[c])) {
                xml.writeTextElement(names[c], QString::fromStdString(number_text(*v)));
            } else if (const auto &t = std::get<std::string>(row[c]); t.empty()) {
                xml.writeEmptyElement(names[c]);
            } else {
                xml.writeTextElement(names[c], document_text(t));
            }
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError())
        return Outcome::failure("The XML document could not be composed.");
    return write_output(
        path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

} // namespace exporting
