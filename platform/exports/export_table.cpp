#include "platform/exports/export_table.h"

#include <QFile>
#include <QSaveFile>

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

Outcome write_file_atomically(const std::filesystem::path &path, const QByteArray &bytes) {
    if (path.empty())
        return Outcome::failure("No file name was given.");
    const QString name = QFile::decodeName(path.c_str());
    auto failed = [&](const QString &why) {
        return Outcome::failure(
            QStringLiteral("Could not write \"%1\": %2").arg(name, why).toStdString());
    };
    // The temporary file lives beside the destination (so the final rename stays on one
    // file system) and is removed again when anything fails. commit() flushes the data
    // to the disc (fdatasync) before the new file takes the name, so a crash or a full
    // disc never leaves part of an export under the real name.
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return failed(why);
    }
    if (!file.commit())
        return failed(file.errorString());
    return Outcome{};
}

} // namespace exporting
