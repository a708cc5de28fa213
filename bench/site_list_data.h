// What the benchmarks of the site database share: the 100,000-site list as an Access file
// (unpacked once from the shared test fixtures into the build tree, bench-data/, never
// into the sources), as an SQLite copy written beside it by a child process, so that
// neither counts towards the measuring process's memory, and on a throwaway PostgreSQL
// server; running the engines' own command-line readers as baselines; and a report of
// each median beside its baseline.
#pragma once

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
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/db/dao.h"
#include "tools/sample/sqlite_copy.h"

extern char **environ;

namespace site_list_data {

namespace fs = std::filesystem;

inline constexpr const char *kTable = "TAVIsitelist";

// Peak resident size of this process so far, in kB.
inline long peak_kb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Runs a program with its output going to the file (or /dev/null); true when it
// ended well.
inline bool run(const std::vector<std::string> &args, const std::string &out = "/dev/null") {
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

// Runs fn in a child process forked now and gives back the line it writes (at most a
// few hundred characters), or fallback when it wrote none or failed.
template <typename Fn> std::string line_from_child(Fn fn, const std::string &fallback) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0)
        return fallback;
    const bool ok = in_child([&] {
        close(pipe_fds[0]);
        const std::string line = fn();
        return !line.empty() &&
               write(pipe_fds[1], line.data(), line.size()) == static_cast<ssize_t>(line.size());
    });
    close(pipe_fds[1]);
    char buf[512] = {};
    const ssize_t n = read(pipe_fds[0], buf, sizeof buf - 1);
    close(pipe_fds[0]);
    return ok && n > 0 ? std::string(buf) : fallback;
}

// The site database in an SQLite file, copied through the database layer.
inline bool write_sqlite_copy(const fs::path &from, const fs::path &to) {
    try {
        sample::copy_to_sqlite(from, to);
        return true;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return false;
    }
}

struct Files {
    fs::path access, sqlite;
};

// The 100,000-site file and its SQLite copy, made when missing. bench_data and
// fixtures are the folders the build names (TAVI_BENCH_DATA, TAVI_FIXTURES_DIR).
inline bool prepare(const fs::path &bench_data, const fs::path &fixtures, Files &files) {
    fs::create_directories(bench_data);
    files.access = bench_data / "tavidata-100k.mdb";
    files.sqlite = bench_data / "tavidata-100k.sqlite";
    if (!fs::exists(files.access)) {
        const fs::path packed = fixtures / "tavidata-100k.mdb.xz";
        std::fprintf(stderr, "unpacking %s (once)...\n", packed.c_str());
        const fs::path part = files.access.string() + ".part";
        if (!run({"xz", "-dc", packed.string()}, part.string())) {
            std::fprintf(stderr, "cannot unpack %s (is xz-utils installed?)\n", packed.c_str());
            return false;
        }
        fs::rename(part, files.access);
    }
    if (!fs::exists(files.sqlite)) {
        std::fprintf(stderr, "writing %s (once)...\n", files.sqlite.c_str());
        const fs::path part = files.sqlite.string() + ".part";
        fs::remove(part);
        if (!in_child([&] { return write_sqlite_copy(files.access, part); }))
            return false;
        fs::rename(part, files.sqlite);
    }
    return true;
}

// The site list on a PostgreSQL server: a throwaway cluster that
// scripts/pg-test-cluster.sh starts and loads from the Access file with the README's
// recipe, stopped when this ends. uri() is empty when the server could not be started.
class Server {
  public:
    Server(const fs::path &access, const fs::path &bench_data) {
        std::fprintf(stderr, "loading %s into a PostgreSQL server...\n", access.c_str());
        const fs::path names = bench_data / "pg-cluster.env";
        if (!run({script_, "start", access.string()}, names.string())) {
            std::fprintf(stderr, "cannot start the PostgreSQL server (is postgresql installed?)\n");
            return;
        }
        // Lines "export NAME='value'".
        std::ifstream in(names);
        for (std::string line; std::getline(in, line);) {
            const auto eq = line.find('=');
            if (line.rfind("export ", 0) != 0 || eq == std::string::npos || line.size() < eq + 3)
                continue;
            const std::string name = line.substr(7, eq - 7);
            const std::string value = line.substr(eq + 2, line.size() - eq - 3);
            if (name == "TAVI_TEST_POSTGRES")
                uri_ = value;
            else if (name == "TAVI_TEST_POSTGRES_DIR")
                folder_ = value;
            else if (name == "PGPASSFILE")
                setenv("PGPASSFILE", value.c_str(), 1);
        }
        // The stored password goes to the server only by the user's leave, given in
        // settings of the benchmark's own.
        const fs::path config = bench_data / "config";
        fs::create_directories(config);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        if (!folder_.empty())
            dao::allow_stored_passwords({folder_ + ":5432"});
    }
    ~Server() {
        if (!folder_.empty())
            run({script_, "stop", folder_});
    }
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;
    const std::string &uri() const { return uri_; }

  private:
    const std::string script_ = TAVI_SOURCE_DIR "/scripts/pg-test-cluster.sh";
    std::string uri_, folder_;
};

// Every site number of the file, shuffled: the lookups' keys. Read after the memory
// measures, whose fresh processes would otherwise start from this read's peak.
inline std::vector<std::int64_t> shuffled_site_numbers(const fs::path &access) {
    std::vector<std::int64_t> numbers;
    auto db = dao::Database::open(access);
    auto rs = db.open_table(kTable);
    for (; !rs.eof(); rs.move_next())
        numbers.push_back(rs.value("RENO").as_integer());
    std::shuffle(numbers.begin(), numbers.end(), std::mt19937(42));
    // Every benchmark starts from a file not yet read.
    dao::clear_cache();
    return numbers;
}

// The baselines: the engines' own readers writing the whole site list.
inline void mdb_export(benchmark::State &state, const fs::path &access) {
    for (auto _ : state)
        if (!run({"mdb-export", access.string(), kTable}))
            state.SkipWithError("mdb-export failed (is mdbtools installed?)");
}
inline void sqlite3_select(benchmark::State &state, const fs::path &sqlite) {
    for (auto _ : state)
        if (!run({"sqlite3", sqlite.string(), std::string("SELECT * FROM ") + kTable}))
            state.SkipWithError("the sqlite3 shell failed (is sqlite3 installed?)");
}

// The server's own client copying the same rows out.
inline void psql_copy(benchmark::State &state, const std::string &uri) {
    if (uri.empty())
        state.SkipWithError("no PostgreSQL server");
    for (auto _ : state)
        if (!run({"psql", "-X", "-q", uri, "-c",
                  std::string("\\copy (SELECT * FROM \"") + kTable + "\") TO STDOUT"}))
            state.SkipWithError("psql failed (is postgresql-client installed?)");
}

// Console output, keeping each benchmark's median (or its only run) for a summary the
// program prints at the end with median(), ratio lines beside a baseline.
class MedianReporter : public benchmark::ConsoleReporter {
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

  protected:
    double median(const char *name) const {
        const auto it = times_.find(name);
        return it == times_.end() ? 0.0 : it->second;
    }
    void ratio_line(const char *what, const char *name, const char *baseline) const {
        const double t = median(name), b = median(baseline);
        if (t > 0 && b > 0)
            std::printf("  %-34s %9.1f ms  %5.2f x %s (%.1f ms)\n", what, t, t / b, baseline, b);
    }

  private:
    std::map<std::string, double> times_;
};

} // namespace site_list_data
