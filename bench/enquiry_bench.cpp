// The enquiry on the 100,000-site list beside the point search, as a user asks them:
// the list read from its SQLite copy into the point store (warm: the database cache
// holds the table), the search, and the found sites' records read.
//
//   build/bin/enquiry_bench [--benchmark_repetitions=N]
//
// - BM_PointSearch100m: the point data tool with its 100 m buffer (sites within 50 m);
// - BM_Enquiry1km: the enquiry within 1 km of the same point (sites and drawn features;
//   the list has no drawings);
// - BM_PointSearch100mNoRecords and BM_Enquiry1kmNoRecords: the list read and the
//   search, the found sites' records not read (a 1 km enquiry finds some 7,000 sites, the
//   point search some 20: their records are work of another kind);
// - BM_Enquiry1kmSearchOnly and BM_PointSearch100mSearchOnly: the geometry alone on the
//   plotted store, without the reading of the list and the records.
// The point is the middle of the sites' extent. Aim: the 1 km enquiry at most 1.2 x the
// 100 m point search. The data are dao_bench's (bench-data/).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "interrogation/enquiry.h"
#include "interrogation/site_search.h"
#include "platform/base/numbers.h"
#include "site_list_data.h"
#include "sites/point_plot.h"

namespace {

namespace fs = std::filesystem;

fs::path g_sqlite;
int32_t g_x = 0, g_y = 0; // the point searched, world units

void plot(state::PointStore &store) {
    sites::Plot_Excavation_Points(store, g_sqlite.string(), site_list_data::kTable, {}, nullptr,
                                  gdi::rgb(255, 0, 0), {});
}

interrogation::Enquiry enquiry_1km() {
    interrogation::Enquiry e;
    e.shape =
        interrogation::shape_from_vertices(interrogation::EnquiryKind::Point, {{g_x, g_y, 0}});
    e.radius_m = 1000;
    return e;
}

void BM_PointSearch100m(benchmark::State &state) {
    std::size_t found = 0;
    for (auto _ : state) {
        state::PointStore store;
        plot(store);
        const std::vector<int32_t> at = interrogation::points_in_circle(store, g_x, g_y, 5000);
        found = interrogation::site_rows(store, at, {}).rows.size();
    }
    state.counters["found"] = static_cast<double>(found);
}

void BM_Enquiry1km(benchmark::State &state) {
    const interrogation::Enquiry e = enquiry_1km();
    const state::DrawingTable drawings;
    std::size_t found = 0;
    for (auto _ : state) {
        state::PointStore store;
        plot(store);
        found = interrogation::run_enquiry(store, drawings, e, {}).rows.rows.size();
    }
    state.counters["found"] = static_cast<double>(found);
}

void BM_PointSearch100mNoRecords(benchmark::State &state) {
    std::size_t found = 0;
    for (auto _ : state) {
        state::PointStore store;
        plot(store);
        found = interrogation::points_in_circle(store, g_x, g_y, 5000).size();
    }
    state.counters["found"] = static_cast<double>(found);
}

void BM_Enquiry1kmNoRecords(benchmark::State &state) {
    const interrogation::Enquiry e = enquiry_1km();
    std::size_t found = 0;
    for (auto _ : state) {
        state::PointStore store;
        plot(store);
        found = interrogation::enquiry_points(store, e).size();
    }
    state.counters["found"] = static_cast<double>(found);
}

const state::PointStore &plotted() {
    static const state::PointStore store = [] {
        state::PointStore s;
        plot(s);
        return s;
    }();
    return store;
}

void BM_PointSearch100mSearchOnly(benchmark::State &state) {
    std::size_t found = 0;
    for (auto _ : state)
        found = interrogation::points_in_circle(plotted(), g_x, g_y, 5000).size();
    state.counters["found"] = static_cast<double>(found);
}

void BM_Enquiry1kmSearchOnly(benchmark::State &state) {
    const interrogation::Enquiry e = enquiry_1km();
    std::size_t found = 0;
    for (auto _ : state)
        found = interrogation::enquiry_points(plotted(), e).size();
    state.counters["found"] = static_cast<double>(found);
}

void heavy(benchmark::internal::Benchmark *b) {
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_PointSearch100m)->Apply(heavy);
BENCHMARK(BM_Enquiry1km)->Apply(heavy);
BENCHMARK(BM_PointSearch100mNoRecords)->Apply(heavy);
BENCHMARK(BM_Enquiry1kmNoRecords)->Apply(heavy);
BENCHMARK(BM_PointSearch100mSearchOnly)->Apply(heavy);
BENCHMARK(BM_Enquiry1kmSearchOnly)->Apply(heavy);

class Reporter : public site_list_data::MedianReporter {
  public:
    void Finalize() override {
        MedianReporter::Finalize();
        std::printf("\nMedians on the 100,000-site list (aim: the enquiry at most 1.2 x):\n");
        ratio_line("1 km enquiry beside the 100 m point search", "BM_Enquiry1km",
                   "BM_PointSearch100m");
        ratio_line("the same, the found sites' records not read", "BM_Enquiry1kmNoRecords",
                   "BM_PointSearch100mNoRecords");
        ratio_line("the same, the search alone", "BM_Enquiry1kmSearchOnly",
                   "BM_PointSearch100mSearchOnly");
    }
};

} // namespace

int main(int argc, char **argv) {
    site_list_data::Files files;
    if (!site_list_data::prepare(TAVI_BENCH_DATA, TAVI_FIXTURES_DIR, files))
        return 1;
    g_sqlite = files.sqlite;
    // The middle of the sites' extent.
    const state::PointStore &store = plotted();
    if (store.count() == 0)
        return 1;
    int32_t y_lo = store.northing(0), y_hi = y_lo;
    for (int32_t i = 0; i < store.count(); ++i) {
        y_lo = std::min(y_lo, store.northing(i));
        y_hi = std::max(y_hi, store.northing(i));
    }
    g_x = static_cast<int32_t>(
        (static_cast<int64_t>(store.easting(0)) + store.easting(store.count() - 1)) / 2);
    g_y = static_cast<int32_t>((static_cast<int64_t>(y_lo) + y_hi) / 2);
    benchmark::Initialize(&argc, argv);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
