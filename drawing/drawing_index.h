// A drawing's index held in memory, with a grid over its entries' boxes, so that a redraw
// finds the groups a view can show without reading every entry of a large index.
//
// The index walk reads entries in their order, passes over those beside the view and
// stops at the first one beyond its right edge: indexes are written in x-min order, so
// nothing after it can be in view. The grid gives the entries whose boxes meet the view,
// in index order; the entries of each kind of units being in x-min order, the first
// entry at which the walk would stop is found by a binary search among them, and the
// entries from there on are left out, as the walk leaves them. (Indexes are ordered by
// their stored x min, so groups stored in tenths, whose numbers are ten times larger,
// come last: the walk stops before them unless the view reaches the east of the map.)
// Where an index is not in that order, or an entry's kind leaves the units to the
// entries before it, every entry is a candidate and the walk decides as it always did.
//
// An index is checked against its drawing when it is read: an entry must name a group
// start (or an end mark, which the format lets an entry name to be ignored). An index
// that names anything else disagrees with its drawing, which is then drawn without it,
// as though it had none: read through such an index, a group would be cut short or
// missed. Entries naming the same group start share it: it is read once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "drawing/drw_format.h"
#include "platform/base/files.h"

namespace drawing {

// What the walk needs of one index record.
struct IndexEntry {
    int32_t x_min = 0, y_min = 0, x_max = 0, y_max = 0; // in the entry's units
    int32_t first_unit = 0;
    int16_t kind = 0;
};

class DrawingIndex {
  public:
    DrawingIndex() = default;
    explicit DrawingIndex(std::vector<IndexEntry> entries);
    // Every whole record of an index file (none when there is no file), checked against
    // the drawing as drawing reads.
    static DrawingIndex read(const std::filesystem::path &zix, files::BinaryFile &drawing);

    std::size_t size() const { return entries_.size(); }
    const IndexEntry &operator[](std::size_t i) const { return entries_[i]; }

    // Why the index cannot be used for its drawing ("its entry 3 names unit 7, where no
    // group starts"); empty when it can.
    const std::string &fault() const { return fault_; }

    // The first entry naming the same unit as entry i (i itself when it is that first),
    // or kAlone when no other entry names it.
    static constexpr uint32_t kAlone = UINT32_MAX;
    uint32_t sharing(std::size_t i) const { return sharing_.empty() ? kAlone : sharing_[i]; }
    // The entry whose group entry i draws: the first naming its unit.
    uint32_t group_of(std::size_t i) const {
        const uint32_t first = sharing(i);
        return first == kAlone ? static_cast<uint32_t>(i) : first;
    }
    bool names_a_unit_twice() const { return !sharing_.empty(); }
    // Every entry's kind sets the units (whole or tenths), whatever came before it.
    bool sets_its_units() const { return sets_its_units_; }

    // Numbers (from 0, ascending) of the entries the walk may draw in the view given in
    // whole units: every entry whose box meets it and that comes before the walk's stop,
    // and perhaps some more (the walk tests each). All of them when the grid cannot
    // answer for this index. out is reused.
    void candidates(double x_min, double y_min, double x_max, double y_max,
                    std::vector<uint32_t> &out) const;

    // Every entry's number, for a walk the grid cannot shorten.
    void every_entry(std::vector<uint32_t> &out) const;

    // True when the grid answers for this index (kept for tests and benchmarks).
    bool searchable() const { return searchable_; }

  private:
    void find_shared();
    void check_against(files::BinaryFile &drawing);
    void build_grid();
    // The number of the first entry at which the walk over the whole index stops in
    // this view (whole units), or size() when it stops at none.
    std::size_t first_stop(double x_min, double y_min, double x_max, double y_max) const;
    int column_of(double x) const; // the grid's column holding x, nearest when outside
    int row_of(double y) const;

    std::vector<IndexEntry> entries_;
    std::string fault_;
    std::vector<uint32_t> sharing_; // empty when no unit is named twice
    bool sets_its_units_ = true;
    bool searchable_ = false;
    // The numbers of the entries in whole units and in tenths, each in index order and
    // so in x-min order.
    std::vector<uint32_t> whole_, tenths_;
    // The grid: cells of equal size over the entries' boxes in whole units; each cell
    // lists the entries meeting it (cell_start_ indexes cell_entries_). Entries meeting
    // many cells are listed once, in wide_, and are candidates for every view.
    double x0_ = 0, y0_ = 0, cell_w_ = 1, cell_h_ = 1;
    int columns_ = 0, rows_ = 0;
    std::vector<uint32_t> cell_start_;
    std::vector<uint32_t> cell_entries_;
    std::vector<uint32_t> wide_;
};

} // namespace drawing
