// The free-format text reader used for the project list and the linked-data
// descriptions: fields separated by commas or line ends, surrounding double quotes
// removed, leading and trailing blanks dropped.
#pragma once

#include "platform/text.h"

#include <string>
#include <string_view>
#include <vector>

namespace shell {

// Splits text into its fields in order. An empty field (two commas in a row, a comma at
// a line's end, a blank line) is reported as an empty string; the final line end of
// the text does not start another field. A quoted field ends at its closing quote and
// anything after that up to the next separator is dropped; a quote left open runs to
// the end of the text.
std::vector<std::string> read_free_format(std::string_view text);

// The fields of a text file; none when the file cannot be read. Backslashes and
// mismatched case in the path are resolved as for every data-folder file.
std::vector<std::string> read_free_format_file(const std::string &path);

// Text without leading and trailing blanks and tabs.
using text::trim_blanks;

} // namespace shell
