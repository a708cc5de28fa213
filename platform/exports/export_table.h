// Writing a table of results to a file: an Excel 97 workbook, an HTML table or a tagged
// XML document. A table is a header row and data rows of cells that are numbers or
// texts, so the windows (through their grid) and a command-line tool share the writers.
//
// Every writer builds the whole file in memory and hands it to the output the name leads
// to (platform/base/outputs.h): a regular file is written to a temporary file in its
// folder and renamed into place only when everything was written, so that a failure (no
// such folder, no permission, disk full, a name that cannot be a file) leaves any
// earlier file of that name as it was and nothing half-written; a symbolic link is
// written through (the link stays); a named pipe or a device is written in place; "-" is
// standard output. A failure comes back as an error with a message fit for a message
// box, naming the system's reason.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace exporting {

// A text (UTF-8) or a number.
using Cell = std::variant<std::string, double>;

struct Table {
    std::vector<std::string> headers;    // the header row, one text per column
    std::vector<std::vector<Cell>> rows; // the data rows; a short row ends in empty cells

    // The widest of the header row and the data rows.
    std::size_t column_count() const;
};

// What a writer reports.
struct Outcome {
    bool ok = true;
    std::string error;              // why nothing was written
    std::vector<std::string> notes; // what was changed to fit the format, if anything
    std::size_t texts_cut = 0;      // texts cut to the longest a cell holds
    std::string first_cut;          // where the first of them was: "row R, column C"

    explicit operator bool() const { return ok; }
    static Outcome failure(std::string why) {
        Outcome o;
        o.ok = false;
        o.error = std::move(why);
        return o;
    }
};

enum class Format { Excel97, Html, Xml };

// The names the results windows export with.
inline constexpr std::string_view kSheetName = "TAVI_Interrogation_Data";
inline constexpr std::string_view kXmlRoot = "Zent_Interrogation_Result";
inline constexpr std::string_view kXmlRecord = "Zent_Returned_data";

// HTML when the name holds ".htm" anywhere, exactly in that case ("report.htm.xml" is
// HTML, "REPORT.HTM" is XML); XML otherwise, extension or none.
Format html_or_xml(std::string_view file_name);
// For a command-line tool: Excel 97 when the name ends ".xls" (in any case), otherwise
// the choice above.
Format format_for_name(std::string_view file_name);

// An Excel 97 (BIFF8) workbook of one sheet: the header row in row 1, the data rows
// below; numbers as numbers, texts as texts. The sheet name is made valid for a sheet
// (at most 31 characters, none of : \ / ? * [ ]). A text longer than a cell holds
// (32,767 characters) is cut: a note says where, and texts_cut counts them. A table wider than 256
// columns or longer than 65,536 rows (header row included) does not fit a sheet and is refused.
Outcome write_xls(const std::filesystem::path &path, const Table &table,
                  std::string_view sheet_name = kSheetName);

// An HTML document in UTF-8 holding one table: the header row as <th> cells, each data
// row as a row of <td> cells, every text escaped.
Outcome write_html(const std::filesystem::path &path, const Table &table);

// An XML document in UTF-8: the root element, one record element per data row, and in
// each record one element per column named after its header (see element_names).
Outcome write_xml(const std::filesystem::path &path, const Table &table,
                  std::string_view root = kXmlRoot, std::string_view record = kXmlRecord);

// The writer the format names, with the names the results windows use.
Outcome write_table(const std::filesystem::path &path, const Table &table, Format format);

// A valid XML element name made from a header: characters a name may not hold become
// "_", a name that may not start as it does gets a leading "_", and an empty header
// gives "Column_<column>" (column counted from 1). Valid names are kept as they are.
std::string xml_name(std::string_view header, int column);
// The element names of a table's columns: xml_name of each header, a repeated name
// followed by "_2", "_3", ... so that every column has a name of its own.
std::vector<std::string> element_names(const Table &table);

// Shared by the writers.
// A number as the HTML and XML files show it: the shortest text that reads back as the
// same number ("0.1", "1234", "1e+20"); "NaN", "Infinity" or "-Infinity" otherwise.
std::string number_text(double v);
// Writes the bytes to the output path leads to, as described at the top.
Outcome write_output(const std::filesystem::path &path, std::string_view bytes);

// One line for the user on what the format made the writer change, or "" when nothing
// was: the count of texts cut to fit a cell, with where the first was, however many.
std::string warning(const Outcome &outcome);

} // namespace exporting
