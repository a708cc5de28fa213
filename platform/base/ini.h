// The text of an INI file as the settings store keeps it: sections of "name=value" lines,
// written so that a person can read and edit them by hand, and read back without regard
// to the case of names.
//
// Names are written exactly as the program gives them; only what the syntax cannot hold
// is escaped as %XX ('%' itself as %%): blanks at either end of a name, '=' in a key,
// ']' in a section name, a key starting with '[', ';' or '#', and control characters.
// Values are written as they are unless they need quotes (blanks at either end, a
// leading quote, control characters); inside quotes, backslash escapes apply.
//
// Files written by earlier versions of the program (names in lower case with every blank
// escaped, values with backslash escapes even without quotes) are recognised and read
// the same; saving rewrites them in the form above. Comments (lines starting with ';' or
// '#') and entries the program does not know are kept as they are.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ini {

class Document {
  public:
    static Document parse(std::string_view text);

    // The value of the first key of that name in the first section of that name, both
    // compared without regard to case; nothing when there is none.
    std::optional<std::string> get(std::string_view section, std::string_view key) const;
    // Replaces the value of the key found as get() finds it, and gives the section and the
    // key the spelling given here; a new key goes at the end of its section, a new section
    // at the end of the file.
    void set(std::string_view section, std::string_view key, std::string_view value);

    std::string text() const;

  private:
    struct Line {
        bool entry = false;
        std::string key;   // an entry's key
        std::string value; // an entry's value, or the text of any other line
    };
    struct Section {
        bool headed = true; // false for the lines before the first section header
        std::string name;
        std::vector<Line> lines;
    };
    Section *find_section(std::string_view name);
    const Section *find_section(std::string_view name) const;

    std::vector<Section> sections_;
};

} // namespace ini
