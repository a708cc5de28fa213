#include "drawing/data_extent.h"

#include <algorithm>
#include <cmath>

#include "drawing/drw_reader.h"
#include "platform/base/files.h"

namespace drawing {

namespace {

// An empty or unwritten box (all zero, or turned inside out) says nothing of where the
// drawing lies.
bool says_where(const WorldExtent &e) {
    if (e.x_min == 0 && e.y_min == 0 && e.x_max == 0 && e.y_max == 0)
        return false;
    return e.x_min <= e.x_max && e.y_min <= e.y_max;
}

void take(std::optional<WorldExtent> &all, const WorldExtent &e) {
    if (!says_where(e))
        return;
    if (!all) {
        all = e;
        return;
    }
    all->x_min = std::min(all->x_min, e.x_min);
    all->y_min = std::min(all->y_min, e.y_min);
    all->x_max = std::max(all->x_max, e.x_max);
    all->y_max = std::max(all->y_max, e.y_max);
}

void from_groups(const std::string &drw, DrawingCache &cache, std::optional<WorldExtent> &all) {
    files::BinaryFile f = cache.open(files::resolve(drw), std::size_t{64} * 1024);
    if (!f.is_open())
        return;
    DrawingWalker walker(f);
    while (walker.next())
        if (walker.kind() == DrawingWalker::Kind::Group && walker.complete())
            take(all, world_extent(walker.group()));
}

} // namespace

std::optional<WorldExtent> drawing_extent(const state::DrawingEntry &e, DrawingCache &cache) {
    std::optional<WorldExtent> all;
    if (e.missing)
        return all;
    const std::vector<IndexRecord> index =
        read_index(files::resolve(files::with_extension3(e.file_name, "zix")));
    if (index.empty()) {
        from_groups(e.file_name, cache, all);
        return all;
    }
    for (const IndexRecord &r : index)
        take(all, world_extent(r));
    return all;
}

std::optional<WorldExtent> drawings_extent(const state::DrawingTable &drawings,
                                           DrawingCache &cache) {
    std::optional<WorldExtent> all;
    for (int n = 1; n <= drawings.count(); ++n)
        if (const std::optional<WorldExtent> e = drawing_extent(drawings.entry(n), cache))
            take(all, *e);
    return all;
}

double distance_outside(const WorldExtent &box, double x, double y) {
    const double dx = std::max({box.x_min - x, 0.0, x - box.x_max});
    const double dy = std::max({box.y_min - y, 0.0, y - box.y_max});
    return std::hypot(dx, dy);
}

} // namespace drawing
