// The excavation-point store: the site-list records plotted on the map, kept ordered by
// easting so that a search can take the slice of points near a place. The redraw draws
// them, the searches look them up, the result windows go back to their records.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "zent32i.h"

namespace state {

inline constexpr int64_t kNoReference = INT64_MIN;

// One plotted point beside its coordinates; laid out as the 40-byte record the library's
// sort moves alongside each coordinate pair.
struct ExcavationPoint {
    int32_t elevation = 0;     // world units; 0 when the record had none
    int32_t record_number = 0; // 1-based, within its table
    int32_t set_number = 0;    // the PointSet it came from, from 1
    int32_t colour = 0;        // RGB
    int16_t symbol_size = 0;
    int16_t symbol_number = 0;
    int32_t point_number = 0; // its index in the store when it was plotted
    int64_t bookmark = -1;    // the record's place in its table (a database bookmark)
    // The record's site number (its "RENO") when the table has one, kNoReference when
    // not: what a search checks the record it fetches against.
    int64_t reference = kNoReference;
};
static_assert(sizeof(ExcavationPoint) == sizeof(ZT_Record40), "the library moves 40 bytes");

// One plotted table (or stored query).
struct PointSet {
    enum Source : uint8_t { Neither = 1, Table = 30, Query = 40 };
    uint8_t set_number = 0;
    uint8_t symbol_number = 0;
    uint8_t symbol_size = 0;
    int32_t colour = 0;
    std::string text; // a 25-character field left blank
    std::string database;
    Source source = Neither;
    std::string table;
    // The version of the database the points were read from (dao::Database::version):
    // bookmarks hold only while it stands.
    std::string version;
};

// Points with their places, in the order they were read, before the store sorts them.
struct PlacedPoints {
    std::vector<ZT_KeyPair> coordinates; // northing first, easting second
    std::vector<ExcavationPoint> points;

    void reserve(std::size_t n) {
        coordinates.reserve(n);
        points.reserve(n);
    }
    void add(int32_t easting, int32_t northing, const ExcavationPoint &p) {
        coordinates.push_back(ZT_KeyPair{northing, easting});
        points.push_back(p);
    }
    std::size_t size() const { return points.size(); }
};

struct PointStore {
    // Northing first, easting second: the library's sort then orders by easting.
    std::vector<ZT_KeyPair> coordinates;
    std::vector<ExcavationPoint> points;
    std::vector<PointSet> sets;

    int32_t count() const { return static_cast<int32_t>(points.size()); }
    bool empty() const { return points.empty(); }
    int32_t easting(int32_t i) const { return coordinates[static_cast<std::size_t>(i)].second; }
    // The slice of the store whose eastings lie in [x_lo, x_hi]: the first point and one
    // past the last. Every point of equal easting at either edge is inside the slice.
    std::pair<int32_t, int32_t> x_slice(double x_lo, double x_hi) const;
    int32_t northing(int32_t i) const { return coordinates[static_cast<std::size_t>(i)].first; }
    void clear() {
        coordinates.clear();
        points.clear();
        sets.clear();
    }

    // The store becomes the given sets and points, ordered by easting (then northing) for
    // the searches' slices. Each point keeps its set number; its point number becomes its
    // place in the order given.
    void replace(std::vector<PointSet> new_sets, PlacedPoints placed);
    // The store becomes one set, numbered 1, of the points given.
    void replace(PointSet set, PlacedPoints placed);
};

} // namespace state
