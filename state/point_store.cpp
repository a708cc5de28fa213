#include "state/point_store.h"

#include <algorithm>
#include <utility>

#include "zent32i_binding.h"

namespace state {

void PointStore::replace(std::vector<PointSet> new_sets, PlacedPoints placed) {
    for (std::size_t i = 0; i < placed.points.size(); ++i)
        placed.points[i].point_number = static_cast<int32_t>(i);
    sets = std::move(new_sets);
    coordinates = std::move(placed.coordinates);
    points = std::move(placed.points);
    // The library's sort moves each point's record beside its coordinates.
    const int32_t n = count();
    if (n > 1) {
        ZT_KeyPairArray keys{coordinates.data(), n};
        ZT_Record40Array tags{reinterpret_cast<ZT_Record40 *>(points.data()), n};
        zt::ZT_SORT_PTS(&keys, n, &tags);
    }
}

std::pair<int32_t, int32_t> PointStore::x_slice(double x_lo, double x_hi) const {
    const auto first = std::partition_point(coordinates.begin(), coordinates.end(),
                                            [&](const ZT_KeyPair &p) { return p.second < x_lo; });
    const auto last = std::partition_point(first, coordinates.end(),
                                           [&](const ZT_KeyPair &p) { return p.second <= x_hi; });
    return {static_cast<int32_t>(first - coordinates.begin()),
            static_cast<int32_t>(last - coordinates.begin())};
}

void PointStore::replace(PointSet set, PlacedPoints placed) {
    set.set_number = 1;
    for (ExcavationPoint &p : placed.points)
        p.set_number = set.set_number;
    replace(std::vector<PointSet>{std::move(set)}, std::move(placed));
}

} // namespace state
