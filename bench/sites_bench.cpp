// Plotting the site list of 100,000 sites into the excavation-point store, against the
// engines' own command-line readers of the same table; the site lookup by reference that
// the control panel and the result windows make on every click; and marking the site
// grid of a large project.
//
//   build/bin/sites_bench [--benchmark_repetitions=N]
//
// The data are dao_bench's: the Access file unpacked once into the build tree
// (bench-data/) and its SQLite copy. Aims: a plot at most twice the time of mdb-export
// (Access) and of the sqlite3 shell's SELECT * (SQLite); a site lookup after the first
// under 20 ms; marking 5,000 site codes under 300 ms. The peak resident size one cold
// plot adds is measured in a child process of its own for each engine. Access files are
// read through the reader process, as the programs read them; the "InProcess" plot is
// the same with libmdb in this process, for the reader process's cost side by side.
#include <benchmark/benchmark.h>

#include <QImage>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/db/dao.h"
#include "platform/db/dao_reader.h"
#include "platform/surface/gdi.h"
#include "site_list_data.h"
#include "sites/point_plot.h"
#include "sites/site_lookups.h"
#include "view/navigation.h"
#include "view/transform.h"

namespace {

namespace fs = std::filesystem;
using site_list_data::kTable;

fs::path g_access, g_sqlite;
fs::path g_server;                   // the server's URI; empty without one
std::vector<std::int64_t> g_numbers; // every site number, shuffled
constexpr int32_t kColour = gdi::rgb(255, 0, 0);
constexpr int kMarkedCodes = 5000;

state::DrawingTable drawings_for(const fs::path &file) {
    state::DrawingEntry e;
    e.linked_kind = 2;
    e.data_file = file.string();
    e.raz_table = "RAZ Text";
    e.raz_index = "RAZREF";
    e.era_table = "Era details";
    e.era_index = "ERANO";
    state::DrawingTable t;
    t.add(e);
    return t;
}

sites::PlotResult plot(state::PointStore &store, const fs::path &file,
                       const state::ViewState &view = {}, gdi::DeviceContext *dc = nullptr) {
    return sites::Plot_Excavation_Points(store, file.string(), kTable, view, dc, kColour, {});
}

void plot_sites(benchmark::State &state, const fs::path &file, bool cold) {
    int32_t plotted = 0;
    for (auto _ : state) {
        if (cold)
            dao::clear_cache();
        state::PointStore store;
        plotted = plot(store, file).plotted;
        benchmark::DoNotOptimize(store.points.data());
    }
    state.counters["points"] = plotted;
}

void BM_PlotAccessCold(benchmark::State &state) {
    plot_sites(state, g_access, true);
}
void BM_PlotAccessColdInProcess(benchmark::State &state) {
    dao::set_access_reading(dao::AccessReading::InProcess);
    plot_sites(state, g_access, true);
    dao::set_access_reading(dao::AccessReading::ReaderProcess);
}
void BM_PlotAccessWarm(benchmark::State &state) {
    plot_sites(state, g_access, false);
}
// A point search as tavi-search makes it on a cold start: the plot, then the whole
// records of the points found (here ten of them) fetched from the site list.
void BM_SearchAccessCold(benchmark::State &state) {
    std::size_t fetched = 0;
    for (auto _ : state) {
        dao::clear_cache();
        state::PointStore store;
        plot(store, g_access);
        std::vector<dao::Bookmark> at;
        for (std::size_t i = 0; i < 10 && i < store.points.size(); ++i)
            at.push_back(dao::Bookmark{store.points[i].bookmark});
        fetched = dao::open_site_database(g_access.string()).records(kTable, at).size();
        benchmark::DoNotOptimize(fetched);
    }
    state.counters["records"] = static_cast<double>(fetched);
}
void BM_MdbExport(benchmark::State &state) {
    site_list_data::mdb_export(state, g_access);
}
void BM_PlotSqliteCold(benchmark::State &state) {
    plot_sites(state, g_sqlite, true);
}
void BM_PlotSqliteWarm(benchmark::State &state) {
    plot_sites(state, g_sqlite, false);
}
void BM_Sqlite3Select(benchmark::State &state) {
    site_list_data::sqlite3_select(state, g_sqlite);
}
void BM_PlotPostgresCold(benchmark::State &state) {
    if (g_server.empty())
        state.SkipWithError("no PostgreSQL server");
    plot_sites(state, g_server, true);
}
void BM_PlotPostgresWarm(benchmark::State &state) {
    if (g_server.empty())
        state.SkipWithError("no PostgreSQL server");
    plot_sites(state, g_server, false);
}
void BM_PsqlCopy(benchmark::State &state) {
    site_list_data::psql_copy(state, g_server.string());
}

// The plot as the panel makes it over the whole map: every point drawn into a map
// window of 1200 x 800 pixels at the maximum view.
void BM_PlotAndDrawSqliteWarm(benchmark::State &state) {
    QImage image(1200, 800, QImage::Format_RGB32);
    gdi::DeviceContext dc(image);
    state::ViewState view;
    view.View_X_Min = view::kMaxViewOriginX;
    view.View_Y_Min = view::kMaxViewOriginY;
    view.View_Height_Units = view::kMaxViewHeight;
    view::Prepare_View(view, dc, 1200, 800);
    int32_t plotted = 0;
    for (auto _ : state) {
        state::PointStore store;
        plotted = plot(store, g_sqlite, view, &dc).plotted;
    }
    state.counters["points"] = plotted;
}

// show_raz_text for a site reference, after a first lookup that read the table and
// built its order.
void show_sites(benchmark::State &state, const fs::path &file) {
    state::DrawingTable drawings = drawings_for(file);
    const state::UiHooks ui;
    const auto reference = [](std::int64_t n) { return "RE" + std::to_string(n); };
    sites::show_raz_text(reference(g_numbers.front()), drawings, ui);
    std::size_t k = 0, found = 0;
    for (auto _ : state)
        found += sites::show_raz_text(reference(g_numbers[k++ % g_numbers.size()]), drawings, ui)
                     .site.found;
    if (found != k)
        state.SkipWithError("a site reference was not found");
}
void BM_ShowSiteAccess(benchmark::State &state) {
    show_sites(state, g_access);
}
void BM_ShowSiteSqlite(benchmark::State &state) {
    show_sites(state, g_sqlite);
}
void BM_ShowSitePostgres(benchmark::State &state) {
    if (g_server.empty())
        state.SkipWithError("no PostgreSQL server");
    else
        show_sites(state, g_server);
}

// The site grid of a large project: 5,000 codes, one in ten of a site the list lacks.
void mark(benchmark::State &state, const fs::path &file) {
    state::DrawingTable drawings = drawings_for(file);
    const std::int64_t beyond = *std::max_element(g_numbers.begin(), g_numbers.end());
    std::vector<std::string> codes;
    for (int i = 0; i < kMarkedCodes; ++i)
        codes.push_back("RE" + std::to_string(i % 10 == 9 ? beyond + i : g_numbers[i]));
    sites::mark_sites({codes.front()}, drawings, {}); // the table read and its order built
    std::size_t listed = 0;
    for (auto _ : state) {
        listed = 0;
        for (const sites::SiteMark &m : sites::mark_sites(codes, drawings, {}))
            listed += m.listed;
    }
    if (listed != kMarkedCodes - kMarkedCodes / 10)
        state.SkipWithError("the listed codes were not all found");
}
void BM_MarkSitesAccess(benchmark::State &state) {
    mark(state, g_access);
}
void BM_MarkSitesSqlite(benchmark::State &state) {
    mark(state, g_sqlite);
}
void BM_MarkSitesPostgres(benchmark::State &state) {
    if (g_server.empty())
        state.SkipWithError("no PostgreSQL server");
    else
        mark(state, g_server);
}

void heavy(benchmark::internal::Benchmark *b) {
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
}
BENCHMARK(BM_PlotAccessCold)->Apply(heavy);
BENCHMARK(BM_PlotAccessColdInProcess)->Apply(heavy);
BENCHMARK(BM_SearchAccessCold)->Apply(heavy);
BENCHMARK(BM_MdbExport)->Apply(heavy);
BENCHMARK(BM_PlotAccessWarm)->Apply(heavy);
BENCHMARK(BM_PlotSqliteCold)->Apply(heavy);
BENCHMARK(BM_Sqlite3Select)->Apply(heavy);
BENCHMARK(BM_PlotSqliteWarm)->Apply(heavy);
BENCHMARK(BM_PlotAndDrawSqliteWarm)->Apply(heavy);
BENCHMARK(BM_PlotPostgresCold)->Apply(heavy);
BENCHMARK(BM_PsqlCopy)->Apply(heavy);
BENCHMARK(BM_PlotPostgresWarm)->Apply(heavy);
BENCHMARK(BM_ShowSiteAccess)->Apply(heavy);
BENCHMARK(BM_ShowSiteSqlite)->Apply(heavy);
BENCHMARK(BM_ShowSitePostgres)->Apply(heavy);
BENCHMARK(BM_MarkSitesAccess)->Apply(heavy);
BENCHMARK(BM_MarkSitesSqlite)->Apply(heavy);
BENCHMARK(BM_MarkSitesPostgres)->Apply(heavy);

class Reporter : public site_list_data::MedianReporter {
  public:
    void Finalize() override {
        MedianReporter::Finalize();
        std::printf("\nMedians, plotting all 100,000 sites (aim: at most 2 x the baseline):\n");
        ratio_line("Access, first read (cold)", "BM_PlotAccessCold", "BM_MdbExport");
        ratio_line("Access, from the cache (warm)", "BM_PlotAccessWarm", "BM_MdbExport");
        ratio_line("Access, search: plot and records", "BM_SearchAccessCold", "BM_MdbExport");
        ratio_line("SQLite, first read (cold)", "BM_PlotSqliteCold", "BM_Sqlite3Select");
        ratio_line("SQLite, from the cache (warm)", "BM_PlotSqliteWarm", "BM_Sqlite3Select");
        ratio_line("SQLite, warm, drawn at maximum view", "BM_PlotAndDrawSqliteWarm",
                   "BM_Sqlite3Select");
        ratio_line("PostgreSQL, first read (cold)", "BM_PlotPostgresCold", "BM_PsqlCopy");
        ratio_line("PostgreSQL, from the cache (warm)", "BM_PlotPostgresWarm", "BM_PsqlCopy");
        std::printf("Medians, one site shown by reference after the first (aim: under 20 ms):\n");
        for (const char *n : {"BM_ShowSiteAccess", "BM_ShowSiteSqlite", "BM_ShowSitePostgres"})
            if (median(n) > 0)
                std::printf("  %-34s %9.3f ms\n", n + 3, median(n));
        std::printf("Medians, marking %d site codes (aim: under 300 ms):\n", kMarkedCodes);
        for (const char *n : {"BM_MarkSitesAccess", "BM_MarkSitesSqlite", "BM_MarkSitesPostgres"})
            if (median(n) > 0)
                std::printf("  %-34s %9.1f ms\n", n + 3, median(n));
    }
};

// The peak resident size one cold plot adds (the table read, its values and the store),
// in a child process forked before this process has read anything.
std::string measure_memory(const char *what, const fs::path &file) {
    return site_list_data::line_from_child(
        [&] {
            const long before = site_list_data::peak_kb();
            state::PointStore store;
            plot(store, file);
            const long grown = site_list_data::peak_kb() - before;
            const double store_mb =
                static_cast<double>(store.coordinates.capacity() * sizeof(ZT_KeyPair) +
                                    store.points.capacity() * sizeof(state::ExcavationPoint)) /
                (1024.0 * 1024.0);
            char line[240];
            std::snprintf(line, sizeof line,
                          "  %-8s peak resident size grown %.1f MB; store %.1f MB for %d "
                          "points; cache holds %.1f MB\n",
                          what, static_cast<double>(grown) / 1024.0, store_mb, store.count(),
                          static_cast<double>(dao::cache_bytes()) / (1024.0 * 1024.0));
            return std::string(line);
        },
        std::string("  ") + what + ": not measured\n");
}

} // namespace

int main(int argc, char **argv) {
    site_list_data::Files files;
    if (!site_list_data::prepare(TAVI_BENCH_DATA, TAVI_FIXTURES_DIR, files))
        return 1;
    g_access = files.access;
    g_sqlite = files.sqlite;
    const site_list_data::Server server(g_access, TAVI_BENCH_DATA);
    g_server = server.uri();
    std::string memory = measure_memory("Access", g_access) + measure_memory("SQLite", g_sqlite);
    if (!g_server.empty())
        memory += measure_memory("Postgres", g_server);
    g_numbers = site_list_data::shuffled_site_numbers(g_access);
    benchmark::Initialize(&argc, argv);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("Memory of one cold plot of all sites, each in a fresh process:\n%s",
                memory.c_str());
    return 0;
}
