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
// is measured in a child process of its own for each engine.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/dao.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;

const char *kTable = "TAVIsitelist";
fs::path g_access, g_sqlite;
std::vector<std::int64_t> g_numbers; // every site number, shuffled

long peak_kb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Runs a program with its output going to the file (or /dev/null); true when it
// ended well.
bool run(const std::vector<std::string> &args, const std::string &out = "/dev/null") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return rc == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Runs fn in a child process; true when it returned true.
template <typename Fn> bool in_child(Fn fn) {
    const pid_t child = fork();
    if (child == 0)
        _exit(fn() ? 0 : 1);
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// The site list (with its RENO index) in an SQLite file, copied through the database
// layer, values with their kinds.
bool write_sqlite_copy(const fs::path &from, const fs::path &to) {
    try {
        auto source = dao::Database::open(from);
        const dao::TableInfo &t = source.table(kTable);
        sqlite3 *db = nullptr;
        if (sqlite3_open(to.c_str(), &db) != SQLITE_OK)
            return false;
        std::string create = "CREATE TABLE TAVIsitelist (",
                    insert = "INSERT INTO TAVIsitelist VALUES (";
        for (std::size_t i = 0; i < t.fields.size(); ++i) {
            const dao::FieldInfo &f = t.fields[i];
            const char *type = f.type == dao::FieldType::Long     ? "INTEGER"
                               : f.type == dao::FieldType::Double ? "DOUBLE"
                               : f.type == dao::FieldType::Date   ? "DATETIME"
                               : f.type == dao::FieldType::Memo   ? "TEXT"
                                                                  : "VARCHAR(255)";
            create += (i ? ", \"" : "\"") + f.name + "\" " + type;
            insert += i ? ", ?" : "?";
        }
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        bool ok = sqlite3_exec(db, (create + ")").c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_stmt *s = nullptr;
        ok = ok && sqlite3_prepare_v2(db, (insert + ")").c_str(), -1, &s, nullptr) == SQLITE_OK;
        auto rs = source.open_table(kTable);
        for (; ok && !rs.eof(); rs.move_next()) {
            for (int c = 0; c < rs.field_count(); ++c) {
                const dao::Value v = rs.value(c);
                if (v.kind() == dao::Value::Kind::Integer)
                    sqlite3_bind_int64(s, c + 1, v.as_integer());
                else if (v.kind() == dao::Value::Kind::Real)
                    sqlite3_bind_double(s, c + 1, v.as_double());
                else if (v.is_null())
                    sqlite3_bind_null(s, c + 1);
                else
                    sqlite3_bind_text(s, c + 1, v.text().c_str(), -1, SQLITE_TRANSIENT);
            }
            ok = sqlite3_step(s) == SQLITE_DONE && sqlite3_reset(s) == SQLITE_OK;
        }
        sqlite3_finalize(s);
        ok = ok && sqlite3_exec(db, "CREATE INDEX RENO ON TAVIsitelist (RENO); COMMIT", nullptr,
                                nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        return ok;
    } catch (const dao::Error &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return false;
    }
}

// The 100,000-site file and its SQLite copy, made when missing.
bool prepare_data() {
    const fs::path dir = TAVI_BENCH_DATA;
    fs::create_directories(dir);
    g_access = dir / "tavidata-100k.mdb";
    g_sqlite = dir / "tavidata-100k.sqlite";
    if (!fs::exists(g_access)) {
        const fs::path packed = fs::path(TAVI_FIXTURES_DIR) / "tavidata-100k.mdb.xz";
        std::fprintf(stderr, "unpacking %s (once)...\n", packed.c_str());
        const fs::path part = g_access.string() + ".part";
        if (!run({"xz", "-dc", packed.string()}, part.string())) {
            std::fprintf(stderr, "cannot unpack %s (is xz-utils installed?)\n", packed.c_str());
            return false;
        }
        fs::rename(part, g_access);
    }
    if (!fs::exists(g_sqlite)) {
        std::fprintf(stderr, "writing %s (once)...\n", g_sqlite.c_str());
        const fs::path part = g_sqlite.string() + ".part";
        fs::remove(part);
        if (!in_child([&] { return write_sqlite_copy(g_access, part); }))
            return false;
        fs::rename(part, g_sqlite);
    }
    return true;
}

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
void BM_ReadAllAccessWarm(benchmark::State &state) {
    read_sites(state, g_access, false);
}
void BM_MdbExport(benchmark::State &state) {
    for (auto _ : state)
        if (!run({"mdb-export", g_access.string(), kTable}))
            state.SkipWithError("mdb-export failed (is mdbtools installed?)");
}
void BM_ReadAllSqliteCold(benchmark::State &state) {
    read_sites(state, g_sqlite, true);
}
void BM_ReadAllSqliteWarm(benchmark::State &state) {
    read_sites(state, g_sqlite, false);
}
void BM_Sqlite3Select(benchmark::State &state) {
    for (auto _ : state)
        if (!run({"sqlite3", g_sqlite.string(), std::string("SELECT * FROM ") + kTable}))
            state.SkipWithError("the sqlite3 shell failed (is sqlite3 installed?)");
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
BENCHMARK(BM_MdbExport)->Apply(heavy);
BENCHMARK(BM_ReadAllAccessWarm)->Apply(heavy);
BENCHMARK(BM_ReadAllSqliteCold)->Apply(heavy);
BENCHMARK(BM_Sqlite3Select)->Apply(heavy);
BENCHMARK(BM_ReadAllSqliteWarm)->Apply(heavy);
BENCHMARK(BM_LookupAccess)->Apply(heavy);
BENCHMARK(BM_LookupSqlite)->Apply(heavy);

// Console output plus, at the end, the medians side by side with their baselines.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto &r : runs) {
            const bool single = r.aggregate_name.empty() && r.repetitions <= 1;
            if (single || r.aggregate_name == "median") {
                std::string name = r.run_name.str();
                name = name.substr(0, name.find('/'));
                times_[name] = r.GetAdjustedRealTime();
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto t = [&](const char *n) {
            const auto it = times_.find(n);
            return it == times_.end() ? 0.0 : it->second;
        };
        const auto line = [&](const char *what, const char *n, const char *base) {
            if (t(n) > 0 && t(base) > 0)
                std::printf("  %-34s %9.1f ms  %5.2f x %s (%.1f ms)\n", what, t(n), t(n) / t(base),
                            base, t(base));
        };
        std::printf("\nMedians, reading all 100,000 sites (aim: at most 2 x the baseline):\n");
        line("Access, first read (cold)", "BM_ReadAllAccessCold", "BM_MdbExport");
        line("Access, from the cache (warm)", "BM_ReadAllAccessWarm", "BM_MdbExport");
        line("SQLite, first read (cold)", "BM_ReadAllSqliteCold", "BM_Sqlite3Select");
        line("SQLite, from the cache (warm)", "BM_ReadAllSqliteWarm", "BM_Sqlite3Select");
        std::printf("Medians, one site lookup by number after the first (aim: under 20 ms):\n");
        for (const char *n : {"BM_LookupAccess", "BM_LookupSqlite"})
            if (t(n) > 0)
                std::printf("  %-34s %9.3f ms\n", n + 3, t(n));
    }

  private:
    std::map<std::string, double> times_;
};

// The peak resident size one cold read of every field (with the RENO order built)
// adds, and what the cache then holds, measured in a child process forked before this
// process has read anything.
std::string measure_memory(const char *what, const fs::path &file) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0)
        return {};
    const bool ok = in_child([&] {
        close(pipe_fds[0]);
        const long before = peak_kb();
        read_all(file);
        auto db = dao::Database::open(file);
        auto rs = db.open_table(kTable);
        rs.select_index("RENO");
        const long grown = peak_kb() - before;
        const double cache_mb = static_cast<double>(dao::cache_bytes()) / (1024.0 * 1024.0);
        char line[200];
        const int n = std::snprintf(line, sizeof line,
                                    "  %-8s peak resident size grown %.1f MB; cache holds %.1f MB "
                                    "(file %.1f MB)\n",
                                    what, static_cast<double>(grown) / 1024.0, cache_mb,
                                    static_cast<double>(fs::file_size(file)) / (1024.0 * 1024.0));
        return write(pipe_fds[1], line, static_cast<std::size_t>(n)) == n;
    });
    close(pipe_fds[1]);
    char buf[256] = {};
    const ssize_t n = read(pipe_fds[0], buf, sizeof buf - 1);
    close(pipe_fds[0]);
    return ok && n > 0 ? std::string(buf) : std::string("  ") + what + ": not measured\n";
}

} // namespace

int main(int argc, char **argv) {
    if (!prepare_data())
        return 1;
    const std::string memory =
        measure_memory("Access", g_access) + measure_memory("SQLite", g_sqlite);
    {
        auto db = dao::Database::open(g_access);
        auto rs = db.open_table(kTable);
        for (; !rs.eof(); rs.move_next())
            g_numbers.push_back(rs.value("RENO").as_integer());
        std::shuffle(g_numbers.begin(), g_numbers.end(), std::mt19937(42));
        dao::clear_cache();
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("Memory of one cold read of all sites, each in a fresh process:\n%s",
                memory.c_str());
    return 0;
}
