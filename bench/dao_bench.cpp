// Reading the site list of 100,000 sites through the database layer, against the
// engines' own command-line readers, and the site lookup by number that the control
// panel and the result windows make on every click.
//
//   build/bin/dao_bench [--benchmark_repetitions=N]
//
// The Access file is unpacked once from the shared test fixtures into the build tree
// (bench-data/), and an SQLite copy of it is written beside it by a child process, so
// that neither counts towards this process's memory. Aims: a whole read at most twice
// the time of mdb-export (Access) and of the sqlite3 shell's SELECT * (SQLite); a
// lookup after the first under 20 ms. The peak resident size that one cold read adds
// is measured in a child process of its own for each engine. The Access reads run
// through the reader process, as the programs read; "InProcess" is the same read with
// libmdb in this process, for the cost of the reader process side by side.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/db/dao.h"
#include "platform/db/dao_reader.h"
#include "site_list_data.h"

namespace {

namespace fs = std::filesystem;
using site_list_data::kTable;
using site_list_data::peak_kb;

fs::path g_access, g_sqlite;
std::vector<std::int64_t> g_numbers; // every site number, shuffled

// Every field of every site, as the point plot and the exports read them.
std::size_t read_all(const fs::path &file) {
    auto db = dao::open_site_database(file);
    auto rs = db.open_table(kTable);
    std::size_t bytes = 0;
    for (rs.move_first(); !rs.eof(); rs.move_next())
        for (int c = 0; c < rs.field_count(); ++c)
            bytes += rs.value(c).to_string().size();
    return bytes;
}

// One lookup the way the control panel makes it.
std::string look_up(const fs::path &file, std::int64_t number) {
    auto db = dao::open_site_database(file);
    auto rs = db.open_table(kTable);
    rs.move_last();
    rs.select_index("RENO");
    rs.move_first();
    rs.seek(number);
    return rs.no_match() ? std::string() : rs.value(1).to_string();
}

void read_sites(benchmark::State &state, const fs::path &file, bool cold) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        if (cold)
            dao::clear_cache();
        bytes = read_all(file);
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["MB_text"] = static_cast<double>(bytes) / 1e6;
}

void BM_ReadAllAccessCold(benchmark::State &state) {
    read_sites(state, g_access, true);
}
void BM_ReadAllAccessColdInProcess(benchmark::State &state) {
    dao::set_access_reading(dao::AccessReading::InProcess);
    read_sites(state, g_access, true);
    dao::set_access_reading(dao::AccessReading::ReaderProcess);
}
void BM_ReadAllAccessWarm(benchmark::State &state) {
    read_sites(state, g_access, false);
}
void BM_MdbExport(benchmark::State &state) {
    site_list_data::mdb_export(state, g_access);
}
void BM_ReadAllSqliteCold(benchmark::State &state) {
    read_sites(state, g_sqlite, true);
}
void BM_ReadAllSqliteWarm(benchmark::State &state) {
    read_sites(state, g_sqlite, false);
}
void BM_Sqlite3Select(benchmark::State &state) {
    site_list_data::sqlite3_select(state, g_sqlite);
}

void lookups(benchmark::State &state, const fs::path &file) {
    look_up(file, g_numbers.front()); // the first reads the table and builds the order
    std::size_t k = 0, found = 0;
    for (auto _ : state)
        found += !look_up(file, g_numbers[k++ % g_numbers.size()]).empty();
    if (found != k)
        state.SkipWithError("a site number was not found");
}
void BM_LookupAccess(benchmark::State &state) {
    lookups(state, g_access);
}
void BM_LookupSqlite(benchmark::State &state) {
    lookups(state, g_sqlite);
}

void heavy(benchmark::internal::Benchmark *b) {
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
}
BENCHMARK(BM_ReadAllAccessCold)->Apply(heavy);
BENCHMARK(BM_ReadAllAccessColdInProcess)->Apply(heavy);
BENCHMARK(BM_MdbExport)->Apply(heavy);
BENCHMARK(BM_ReadAllAccessWarm)->Apply(heavy);
BENCHMARK(BM_ReadAllSqliteCold)->Apply(heavy);
BENCHMARK(BM_Sqlite3Select)->Apply(heavy);
BENCHMARK(BM_ReadAllSqliteWarm)->Apply(heavy);
BENCHMARK(BM_LookupAccess)->Apply(heavy);
BENCHMARK(BM_LookupSqlite)->Apply(heavy);

// Console output plus, at the end, the medians side by side with their baselines.
class RatioReporter : public site_list_data::MedianReporter {
  public:
    void Finalize() override {
        MedianReporter::Finalize();
        std::printf("\nMedians, reading all 100,000 sites (aim: at most 2 x the baseline):\n");
        ratio_line("Access, first read (cold)", "BM_ReadAllAccessCold", "BM_MdbExport");
        ratio_line("Access, from the cache (warm)", "BM_ReadAllAccessWarm", "BM_MdbExport");
        ratio_line("SQLite, first read (cold)", "BM_ReadAllSqliteCold", "BM_Sqlite3Select");
        ratio_line("SQLite, from the cache (warm)", "BM_ReadAllSqliteWarm", "BM_Sqlite3Select");
        std::printf("Medians, one site lookup by number after the first (aim: under 20 ms):\n");
        for (const char *n : {"BM_LookupAccess", "BM_LookupSqlite"})
            if (median(n) > 0)
                std::printf("  %-34s %9.3f ms\n", n + 3, median(n));
    }
};

// The peak resident size one cold read of every field (with the RENO order built)
// adds, and what the cache then holds, measured in a child process forked before this
// process has read anything.
std::string measure_memory(const char *what, const fs::path &file) {
    return site_list_data::line_from_child(
        [&] {
            const long before = peak_kb();
            read_all(file);
            auto db = dao::Database::open(file);
            auto rs = db.open_table(kTable);
            rs.select_index("RENO");
            const long grown = peak_kb() - before;
            const double cache_mb = static_cast<double>(dao::cache_bytes()) / (1024.0 * 1024.0);
            char line[200];
            std::snprintf(line, sizeof line,
                          "  %-8s peak resident size grown %.1f MB; cache holds %.1f MB "
                          "(file %.1f MB)\n",
                          what, static_cast<double>(grown) / 1024.0, cache_mb,
                          static_cast<double>(fs::file_size(file)) / (1024.0 * 1024.0));
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
    const std::string memory =
        measure_memory("Access", g_access) + measure_memory("SQLite", g_sqlite);
    g_numbers = site_list_data::shuffled_site_numbers(g_access);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("Memory of one cold read of all sites, each in a fresh process:\n%s",
                memory.c_str());
    return 0;
}
