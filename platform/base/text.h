// Text helpers shared by every reader of the program's text files and fixed fields.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// Letters in one case (single-byte: the file names and field names of the data).
std::string upper(std::string s);
std::string lower(std::string s);
// Equal but for the case of letters.
bool equal_ignoring_case(std::string_view a, std::string_view b);
// The value of a hexadecimal digit; -1 for any other character.
int hex_digit(char c);

// What a line with nothing on it stands for. The project list and the linked-data
// descriptions count fields by position, so an empty line there is an empty field;
// world-information files and raster lists are laid out freely and skip it.
enum class BlankLines { AreFields, Skipped };

// The fields of a free-format text, in order: fields are separated by commas or line
// ends (CR LF counts once), blanks around a field are dropped, and a field may be
// quoted. Two commas in a row or a comma at the end give an empty field; the final line
// end of the text does not start another field. A quoted field may hold commas; it ends
// at its closing quote, and anything after that up to the next separator is dropped; a
// quote left open runs to the end of the text.
std::vector<std::string> split_fields(std::string_view text, BlankLines blank_lines);

// The fields of a text file as above; none when the file cannot be read. Backslashes and
// mismatched case in the path are resolved as for every data-folder file.
std::vector<std::string> read_fields_file(const std::string &path, BlankLines blank_lines);

} // namespace text
