// The interrogation searches against the work they cannot avoid, in one run.
//
//   search_bench [--data CITY_DIR] [benchmark options]
//
// Site-list searches over 100,000 plotted points spread over a 10 km square (the
// geometry only: the database step is dao_bench's and sites_bench's), each beside a
// brute-force scan that puts the same test to every point:
// - the point search (100 m buffer): only the x-slice is examined (counter "examined");
// - the polygon search, a ring of 1,000 vertices 1 km across and 2 km across;
// - the polyline search, 1,000 vertices meandering across the square, 100 m buffer.
// The planning search over a project (bench/search_bench.sh writes the two-million-
// vertex city and passes it), beside the index walk that reads the same groups without
// testing anything. Medians of five runs; the ratios are the medians divided.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "drawing/drw_reader.h"
#include "interrogation/planning_search.h"
#include "interrogation/site_search.h"
#include "platform/base/files.h"
#include "project/session.h"
#include "zent32i_binding.h"

namespace {

using namespace interrogation;

constexpr int kPoints = 100'000;
constexpr int32_t kWest = 49'000'000, kSouth = 36'500'000; // the square's corner
constexpr int32_t kSide = 1'000'000;                       // 10 km
constexpr double kBuffer = 10'000;                         // 100 m

std::string g_data;

const state::PointStore &store() {
    static const state::PointStore s = [] {
        std::mt19937 rng(20240611);
        std::uniform_int_distribution<int32_t> d(0, kSide);
        state::PlacedPoints placed;
        placed.reserve(kPoints);
        for (int i = 0; i < kPoints; ++i) {
            const int32_t north = kSouth + d(rng), east = kWest + d(rng);
            placed.add(east, north, state::ExcavationPoint{});
        }
        zt::ZT_Ini_Zent32dll();
        state::PointStore out;
        out.replace(state::PointSet{}, std::move(placed));
        return out;
    }();
    return s;
}

Shape ring(double radius) {
    Shape r;
    for (int k = 0; k < 1000; ++k) {
        const double a = 2 * std::numbers::pi * k / 1000;
        r.push_back({static_cast<int32_t>(kWest + kSide / 2 + radius * std::cos(a)),
                     static_cast<int32_t>(kSouth + kSide / 2 + radius * std::sin(a)), 0});
    }
    return r;
}

Shape meander() {
    Shape line;
    for (int k = 0; k < 1000; ++k)
        line.push_back({kWest + k * (kSide / 1000),
                        static_cast<int32_t>(kSouth + kSide / 2 +
                                             100'000 * std::sin(k * 2 * std::numbers::pi / 250)),
                        0});
    return line;
}

// Every point put to the test, no slice, no box.
template <typename Test> std::vector<int32_t> brute_force(Test &&test) {
    const state::PointStore &s = store();
    std::vector<int32_t> found;
    for (int32_t i = 0; i < s.count(); ++i)
        if (test(s.easting(i), s.northing(i)))
            found.push_back(i);
    return found;
}

void report(benchmark::State &state, std::size_t found) {
    state.counters["found"] = static_cast<double>(found);
}

void BM_PointSearch(benchmark::State &state) {
    const int32_t x = kWest + kSide / 2, y = kSouth + kSide / 2;
    std::size_t found = 0;
    for (auto _ : state)
        found = points_in_circle(store(), x, y, kBuffer / 2).size();
    report(state, found);
    const auto &c = store().coordinates;
    state.counters["examined"] =
        static_cast<double>(std::count_if(c.begin(), c.end(), [&](const ZT_KeyPair &p) {
            return p.second >= x - kBuffer / 2 && p.second <= x + kBuffer / 2;
        }));
}
void BM_PointSearch_BruteForce(benchmark::State &state) {
    const double x = kWest + kSide / 2, y = kSouth + kSide / 2, r = kBuffer / 2;
    std::size_t found = 0;
    for (auto _ : state)
        found = brute_force([&](double px, double py) {
                    return (px - x) * (px - x) + (py - y) * (py - y) <= r * r;
                }).size();
    report(state, found);
}

void BM_PolygonSearch(benchmark::State &state) {
    const Shape r = ring(static_cast<double>(state.range(0)));
    std::size_t found = 0;
    for (auto _ : state)
        found = points_in_polygon(store(), r).size();
    report(state, found);
}
void BM_PolygonSearch_BruteForce(benchmark::State &state) {
    Shape r = ring(static_cast<double>(state.range(0)));
    r.push_back(r.front());
    std::size_t found = 0;
    for (auto _ : state)
        found = brute_force([&](int32_t x, int32_t y) {
                    const int32_t a = vbPolyProcess(r, 1000, x, y, kBuffer).result;
                    return a == kInside || a == kOnBoundary;
                }).size();
    report(state, found);
}

void BM_PolylineSearch(benchmark::State &state) {
    const Shape line = meander();
    std::size_t found = 0;
    for (auto _ : state)
        found = points_near_polyline(store(), line, kBuffer).size();
    report(state, found);
}
void BM_PolylineSearch_BruteForce(benchmark::State &state) {
    const Shape line = meander();
    std::size_t found = 0;
    for (auto _ : state)
        found = brute_force([&](int32_t x, int32_t y) {
                    return VbDistPointLine(line, 1000, x, y, kBuffer).result == kNearLine;
                }).size();
    report(state, found);
}

// ---- the planning search ---------------------------------------------------------------

// The city's drawings as a program opens the project (registered, nothing drawn).
state::DrawingTable city() {
    project::Session session(16, 16);
    if (g_data.empty() || !session.open(g_data))
        return {};
    return session.state().drawings;
}

// Points across the city's middle, where most drawings overlap.
std::vector<std::pair<int32_t, int32_t>> clicks() {
    std::vector<std::pair<int32_t, int32_t>> out;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            out.emplace_back(49'580'000 + i * 40'000, 36'960'000 + j * 30'000);
    return out;
}

// What the search cannot avoid: each drawing's index read record by record up to the
// first group east of the point, and every group whose box (grown by the buffer) holds
// the point read whole, in one read of the length its group record gives.
std::size_t index_walk(const state::DrawingTable &t, int32_t wx, int32_t wy, double buffer,
                       std::vector<uint8_t> &bytes) {
    std::size_t read = 0;
    for (int d = 1; d <= t.count(); ++d) {
        const std::string drw = t.entry(d).file_name;
        auto index =
            files::BinaryFile::open_existing(files::resolve(files::with_extension3(drw, "zix")));
        auto file = files::BinaryFile::open_existing(files::resolve(drw));
        drawing::IndexRecord r;
        drawing::GroupRecord g;
        drawing::Unit u;
        for (int64_t i = drawing::index_record_count(index.size()); i > 0; --i) {
            if (!drawing::read_record(index, r))
                break;
            const int64_t s = r.kind == drawing::kKindTenths ? 10 : 1;
            const double x = wx * s, y = wy * s, b = buffer * s;
            if (x + b < r.x_min)
                break;
            if (r.x_max < x - b || r.y_max < y - b || r.y_min > y + b)
                continue;
            if (!drawing::seek_unit(file, r.first_unit) || !drawing::read_unit(file, u) ||
                !drawing::read_record(file, g))
                continue;
            // The length counts the group's -200 unit and its record's four units.
            const auto rest =
                static_cast<std::size_t>(std::max<int64_t>(g.length - 5, 0)) * drawing::kUnitBytes;
            bytes.resize(rest);
            read += file.read(bytes.data(), rest);
        }
    }
    return read;
}

void BM_PlanningSearch(benchmark::State &state) {
    const state::DrawingTable t = city();
    if (t.count() == 0) {
        state.SkipWithError("no drawings: pass --data DIR holding tavi.zpj");
        return;
    }
    std::size_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (const auto &[x, y] : clicks())
            hits += planning_hits(t, x, y, kBuffer).hits.size();
    }
    state.counters["hits"] = static_cast<double>(hits);
}
void BM_PlanningSearch_IndexWalk(benchmark::State &state) {
    const state::DrawingTable t = city();
    if (t.count() == 0) {
        state.SkipWithError("no drawings: pass --data DIR holding tavi.zpj");
        return;
    }
    std::size_t bytes_read = 0;
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        bytes_read = 0;
        for (const auto &[x, y] : clicks())
            bytes_read += index_walk(t, x, y, kBuffer, bytes);
    }
    state.counters["units"] = static_cast<double>(bytes_read / drawing::kUnitBytes);
}

#define SEARCH_BENCHMARK(fn)                                                                       \
    BENCHMARK(fn)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)

SEARCH_BENCHMARK(BM_PointSearch);
SEARCH_BENCHMARK(BM_PointSearch_BruteForce);
SEARCH_BENCHMARK(BM_PolygonSearch)->Arg(50'000)->Arg(100'000);
SEARCH_BENCHMARK(BM_PolygonSearch_BruteForce)->Arg(50'000)->Arg(100'000);
SEARCH_BENCHMARK(BM_PolylineSearch);
SEARCH_BENCHMARK(BM_PolylineSearch_BruteForce);
SEARCH_BENCHMARK(BM_PlanningSearch);
SEARCH_BENCHMARK(BM_PlanningSearch_IndexWalk);

} // namespace

int main(int argc, char **argv) {
    // Opening a project makes the map's fonts, which want the toolkit even without a screen.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    std::vector<char *> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc)
            g_data = argv[++i];
        else
            rest.push_back(argv[i]);
    }
    int n = static_cast<int>(rest.size());
    benchmark::Initialize(&n, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
