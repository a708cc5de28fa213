#include "drawing/drawing_index.h"

#include <algorithm>
#include <cmath>

#include "drawing/drw_reader.h"
#include "platform/base/files.h"

namespace drawing {

namespace {

// Below this many entries the walk over all of them costs next to nothing.
constexpr std::size_t kGridFrom = 64;
// About this many entries a cell, for entries of the size most of them have.
constexpr double kEntriesPerCell = 4.0;
constexpr int kMaxCells = 2048; // a side
// An entry meeting more cells than this is a candidate for every view instead.
constexpr int64_t kWideCells = 64;
// Boxes and views meet on the grid with this much room (whole units), so that the tenths
// rounding of either side can never leave out an entry the walk would draw.
constexpr double kMargin = 2.0;

// A box in whole units, corners in order whatever order the record gave them in.
struct Box {
    double x_lo, y_lo, x_hi, y_hi;
};

Box whole_box(const IndexEntry &e) {
    const double d = divisor_of_kind(e.kind);
    return Box{std::min(e.x_min, e.x_max) / d, std::min(e.y_min, e.y_max) / d,
               std::max(e.x_min, e.x_max) / d, std::max(e.y_min, e.y_max) / d};
}

// Whether the entries named, in their order, are in order of x min.
bool in_x_order(const std::vector<IndexEntry> &entries, const std::vector<uint32_t> &numbers) {
    for (std::size_t i = 1; i < numbers.size(); ++i)
        if (entries[numbers[i - 1]].x_min > entries[numbers[i]].x_min)
            return false;
    return true;
}

// The walk's tests of an entry against the view in the entry's own units.
bool beyond_right_edge(const IndexEntry &e, double x_min, double y_min, double x_max,
                       double y_max) {
    const bool beside = e.x_max < x_min || e.y_max < y_min || e.y_min > y_max;
    return !beside && e.x_min > x_max;
}

// The range holding all but the outermost hundredth of the values at either end: a few
// entries far from the rest (a layer table's empty box at 0, a damaged record) would
// otherwise stretch the grid until the rest shared a cell or two.
std::pair<double, double> bulk_of(std::vector<double> &v) {
    const auto lo = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 100);
    const auto hi = v.end() - 1 - static_cast<std::ptrdiff_t>(v.size() / 100);
    std::nth_element(v.begin(), lo, v.end());
    const double first = *lo;
    std::nth_element(v.begin(), hi, v.end());
    return {first, *hi};
}

} // namespace

DrawingIndex::DrawingIndex(std::vector<IndexEntry> entries) : entries_(std::move(entries)) {
    find_shared();
    // A kind other than whole units or tenths keeps the units the walk had before it, so
    // such an entry's box can only be read in the walk's own order.
    sets_its_units_ = std::all_of(entries_.begin(), entries_.end(),
                                  [](const IndexEntry &e) { return divisor_of_kind(e.kind) != 0; });
    if (entries_.size() < kGridFrom || !sets_its_units_)
        return;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        (divisor_of_kind(entries_[i].kind) == 1 ? whole_ : tenths_)
            .push_back(static_cast<uint32_t>(i));
    searchable_ = in_x_order(entries_, whole_) && in_x_order(entries_, tenths_);
    if (searchable_)
        build_grid();
}

DrawingIndex DrawingIndex::read(const std::filesystem::path &zix, files::BinaryFile &drawing) {
    std::vector<IndexEntry> entries;
    auto f = files::BinaryFile::open_existing(zix, 1 << 20);
    entries.reserve(static_cast<std::size_t>(index_record_count(f.size())));
    IndexRecord r;
    for (int64_t i = index_record_count(f.size()); i > 0 && read_record(f, r); --i)
        entries.push_back(IndexEntry{r.x_min, r.y_min, r.x_max, r.y_max, r.first_unit, r.kind});
    DrawingIndex index(std::move(entries));
    index.check_against(drawing);
    return index;
}

void DrawingIndex::find_shared() {
    std::vector<uint32_t> by_unit(entries_.size());
    for (std::size_t i = 0; i < by_unit.size(); ++i)
        by_unit[i] = static_cast<uint32_t>(i);
    std::stable_sort(by_unit.begin(), by_unit.end(), [this](uint32_t a, uint32_t b) {
        return entries_[a].first_unit < entries_[b].first_unit;
    });
    for (std::size_t k = 1; k < by_unit.size(); ++k) {
        const uint32_t first = by_unit[k - 1], next = by_unit[k];
        if (entries_[first].first_unit != entries_[next].first_unit)
            continue;
        if (sharing_.empty())
            sharing_.assign(entries_.size(), kAlone);
        // Sorted stably, the first of a run of equal units is the first in index order.
        if (sharing_[first] == kAlone)
            sharing_[first] = first;
        sharing_[next] = sharing_[first];
    }
}

void DrawingIndex::check_against(files::BinaryFile &drawing) {
    // Units in ascending order, each looked at once: a file read through the system is
    // then read forwards, a buffer's worth at a time where the groups lie close.
    std::vector<std::pair<int32_t, uint32_t>> units; // unit, the first entry naming it
    units.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (sharing(i) == kAlone || sharing(i) == i)
            units.emplace_back(entries_[i].first_unit, static_cast<uint32_t>(i));
    std::sort(units.begin(), units.end());
    Unit u;
    for (const auto &[unit, entry] : units) {
        const bool starts = seek_unit(drawing, unit) && read_unit(drawing, u) && u.control() &&
                            (u.code() == kCodeGroup || u.code() == kCodeEndMark);
        if (!starts) {
            fault_ = "its entry " + std::to_string(entry + 1) + " names unit " +
                     std::to_string(unit) + ", where no group starts";
            return;
        }
    }
}

void DrawingIndex::build_grid() {
    // Entries outside the grid's range fall in its edge cells, and so does a view
    // outside it: whatever the range, every entry meeting a view is found.
    std::vector<double> xs, ys;
    xs.reserve(2 * entries_.size());
    ys.reserve(2 * entries_.size());
    for (const IndexEntry &e : entries_) {
        const Box b = whole_box(e);
        xs.insert(xs.end(), {b.x_lo, b.x_hi});
        ys.insert(ys.end(), {b.y_lo, b.y_hi});
    }
    const auto [x_lo, x_hi] = bulk_of(xs);
    const auto [y_lo, y_hi] = bulk_of(ys);
    const Box all{x_lo, y_lo, x_hi, y_hi};
    const int side = std::clamp(
        static_cast<int>(std::sqrt(static_cast<double>(entries_.size()) / kEntriesPerCell)), 1,
        kMaxCells);
    columns_ = rows_ = side;
    x0_ = all.x_lo - kMargin;
    y0_ = all.y_lo - kMargin;
    cell_w_ = std::max((all.x_hi - all.x_lo + 2 * kMargin) / columns_, 1.0);
    cell_h_ = std::max((all.y_hi - all.y_lo + 2 * kMargin) / rows_, 1.0);

    const auto span = [this](const IndexEntry &e, int &c0, int &r0, int &c1, int &r1) {
        const Box b = whole_box(e);
        c0 = column_of(b.x_lo - kMargin);
        c1 = column_of(b.x_hi + kMargin);
        r0 = row_of(b.y_lo - kMargin);
        r1 = row_of(b.y_hi + kMargin);
        return int64_t{c1 - c0 + 1} * (r1 - r0 + 1);
    };
    // Counted first, then filled: one array for all the cells' lists.
    cell_start_.assign(static_cast<std::size_t>(columns_) * rows_ + 1, 0);
    int c0, r0, c1, r1;
    for (const IndexEntry &e : entries_) {
        if (span(e, c0, r0, c1, r1) > kWideCells)
            continue;
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c)
                ++cell_start_[static_cast<std::size_t>(r) * columns_ + c + 1];
    }
    for (std::size_t i = 1; i < cell_start_.size(); ++i)
        cell_start_[i] += cell_start_[i - 1];
    cell_entries_.resize(cell_start_.back());
    std::vector<uint32_t> next(cell_start_.begin(), cell_start_.end() - 1);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (span(entries_[i], c0, r0, c1, r1) > kWideCells) {
            wide_.push_back(static_cast<uint32_t>(i));
            continue;
        }
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c)
                cell_entries_[next[static_cast<std::size_t>(r) * columns_ + c]++] =
                    static_cast<uint32_t>(i);
    }
}

int DrawingIndex::column_of(double x) const {
    const double c = std::floor((x - x0_) / cell_w_);
    return static_cast<int>(std::clamp(c, 0.0, static_cast<double>(columns_ - 1)));
}

int DrawingIndex::row_of(double y) const {
    const double r = std::floor((y - y0_) / cell_h_);
    return static_cast<int>(std::clamp(r, 0.0, static_cast<double>(rows_ - 1)));
}

std::size_t DrawingIndex::first_stop(double x_min, double y_min, double x_max, double y_max) const {
    std::size_t stop = entries_.size();
    // In tenths the walk's view is the whole-unit one times ten, as switching units makes it.
    for (const double d : {1.0, 10.0}) {
        const std::vector<uint32_t> &numbers = d == 1.0 ? whole_ : tenths_;
        const double x0 = x_min * d, y0 = y_min * d, x1 = x_max * d, y1 = y_max * d;
        // Past the view's right edge from here on; the first of them not beside the view
        // stops the walk.
        auto at = std::partition_point(numbers.begin(), numbers.end(),
                                       [&](uint32_t i) { return !(entries_[i].x_min > x1); });
        for (; at != numbers.end() && *at < stop; ++at)
            if (beyond_right_edge(entries_[*at], x0, y0, x1, y1)) {
                stop = *at;
                break;
            }
    }
    return stop;
}

void DrawingIndex::every_entry(std::vector<uint32_t> &out) const {
    out.resize(entries_.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<uint32_t>(i);
}

void DrawingIndex::candidates(double x_min, double y_min, double x_max, double y_max,
                              std::vector<uint32_t> &out) const {
    const auto all = [&] { every_entry(out); };
    // A view that is no rectangle (not a number, or turned inside out) is left to the walk.
    if (!searchable_ || !(x_min <= x_max && y_min <= y_max)) {
        all();
        return;
    }
    const int c0 = column_of(x_min - kMargin), c1 = column_of(x_max + kMargin);
    const int r0 = row_of(y_min - kMargin), r1 = row_of(y_max + kMargin);
    // A view over much of the drawing shows most of it: gathering would cost more than
    // letting the walk test every entry.
    if (int64_t{c1 - c0 + 1} * (r1 - r0 + 1) * 4 > int64_t{columns_} * rows_) {
        all();
        return;
    }
    out = wide_;
    for (int r = r0; r <= r1; ++r) {
        const std::size_t row = static_cast<std::size_t>(r) * columns_;
        out.insert(out.end(), cell_entries_.begin() + cell_start_[row + c0],
                   cell_entries_.begin() + cell_start_[row + c1 + 1]);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    const std::size_t stop = first_stop(x_min, y_min, x_max, y_max);
    out.erase(std::lower_bound(out.begin(), out.end(), stop), out.end());
}

} // namespace drawing
