// The grid over an index against the walk over every entry: for random indexes written
// as indexes are (groups in whole units and in tenths, ordered by their stored x min)
// and random views, walking only the candidates draws exactly the entries that walking
// the whole index draws, in the same order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "drawing/drawing_index.h"

using drawing::DrawingIndex;
using drawing::IndexEntry;

namespace {

struct View {
    double x_min, y_min, x_max, y_max; // whole units
};

// The entries the index walk draws (or shows as a pixel) in the view: it passes over
// entries beside the view and stops at the first beyond its right edge, each tested in
// its own units (the view times ten for tenths).
std::vector<uint32_t> walk(const DrawingIndex &index, const std::vector<uint32_t> &numbers,
                           const View &v) {
    std::vector<uint32_t> drawn;
    for (const uint32_t i : numbers) {
        const IndexEntry &e = index[i];
        const double d = e.kind == 10 ? 10.0 : 1.0;
        if (e.x_max < v.x_min * d || e.y_max < v.y_min * d || e.y_min > v.y_max * d)
            continue;
        if (e.x_min > v.x_max * d)
            break;
        drawn.push_back(i);
    }
    return drawn;
}

} // namespace

TEST(DrawingIndexGrid, CandidatesDrawWhatTheWholeWalkDraws) {
    std::mt19937 rng(2024);
    const auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    for (int round = 0; round < 40; ++round) {
        // Small groups over a town, a few long ones across it, some in tenths, one empty
        // box at 0 (a layer table) leading, as the writer orders them.
        std::vector<IndexEntry> entries;
        const int n = 200 + static_cast<int>(rng() % 3000);
        for (int k = 0; k < n; ++k) {
            const bool tenths = rng() % 20 == 0;
            const double size = rng() % 50 == 0 ? uniform(5e4, 6e5) : uniform(100, 8000);
            const double x = uniform(4.92e7, 5.0e7), y = uniform(3.66e7, 3.74e7);
            const double d = tenths ? 10 : 1;
            entries.push_back(IndexEntry{static_cast<int32_t>(x * d), static_cast<int32_t>(y * d),
                                         static_cast<int32_t>((x + size) * d),
                                         static_cast<int32_t>((y + uniform(0, size)) * d), k + 1,
                                         static_cast<int16_t>(tenths ? 10 : 1)});
        }
        std::stable_sort(
            entries.begin(), entries.end(),
            [](const IndexEntry &a, const IndexEntry &b) { return a.x_min < b.x_min; });
        entries.insert(entries.begin(), IndexEntry{0, 0, 0, 0, 1, 0});
        const DrawingIndex index(entries);
        ASSERT_TRUE(index.searchable());
        std::vector<uint32_t> all, candidates;
        index.every_entry(all);
        for (int view = 0; view < 50; ++view) {
            const double h = std::pow(10.0, uniform(2, 6));
            const double x = uniform(4.90e7, 5.02e7), y = uniform(3.64e7, 3.76e7);
            const View v{x, y, x + 1.5 * h, y + h};
            index.candidates(v.x_min, v.y_min, v.x_max, v.y_max, candidates);
            ASSERT_TRUE(std::is_sorted(candidates.begin(), candidates.end()));
            EXPECT_EQ(walk(index, candidates, v), walk(index, all, v))
                << "round " << round << ", view " << x << "," << y << "," << h;
        }
    }
}
