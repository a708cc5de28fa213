// The drawings of the project, numbered from 1 in project order. Entry 1 also carries
// the description of the site database.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace state {

struct DrawingEntry {
    bool active = true;
    std::string file_name;   // full path of the .drw file
    bool has_index = false;  // the .zix existed when the drawing was registered
    bool missing = false;    // the file was not there: the entry keeps its number, draws nothing
    int32_t linked_kind = 0; // 1, 2 or 3; 0 when the drawing has no linked data
    std::string data_file;
    std::string raz_table;
    std::string raz_index; // at most 12 characters
    std::string era_table;
    std::string era_index; // at most 12 characters
    bool thick = false;
    int32_t fixed_colour = 0; // RGB; 0 = the objects' own colours
};

// The periods of a project's first drawings, in the order projects list them: entry n
// (from 1) is the map of period n. The control panel's period list, the web service's
// layer titles and the page name them so.
inline constexpr const char *kPeriodNames[] = {"Prehistoric",    "Roman Military", "Roman Colonia",
                                               "Early Medieval", "High Medieval",  "Early Modern",
                                               "Industrial",     "Excavated Areas"};
inline constexpr int kPeriodCount = static_cast<int>(std::size(kPeriodNames));

// The period of drawing entry n; empty beyond the periods.
inline std::string period_name(int n) {
    return n >= 1 && n <= kPeriodCount ? kPeriodNames[n - 1] : std::string();
}

class DrawingTable {
  public:
    static constexpr int kMaxDrawings = 15;

    int count() const { return static_cast<int>(entries_.size()); } // Drawing_Count
    bool full() const { return count() >= kMaxDrawings; }
    // Entry n, numbered from 1. Precondition: 1 <= n <= count().
    DrawingEntry &entry(int n) { return entries_.at(static_cast<size_t>(n - 1)); }
    const DrawingEntry &entry(int n) const { return entries_.at(static_cast<size_t>(n - 1)); }
    // Appends an entry and returns its number, or 0 when the table is full.
    int add(DrawingEntry e) {
        if (full())
            return 0;
        entries_.push_back(std::move(e));
        return count();
    }
    // First entry, from 1 upward, whose trimmed file name equals name; 0 if none.
    int find(const std::string &name) const;
    void clear() { entries_.clear(); }

  private:
    std::vector<DrawingEntry> entries_;
};

} // namespace state
