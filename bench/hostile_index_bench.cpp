// A hostile index: 1,600 entries (a 67 KB index) naming one group of two million points
// (2,000 rings of 1,000 points), beside the same drawing with an index naming the group
// once. The redraw of a 1200 x 800 map showing the group, with the shortcuts and without,
// and the planning search at a point inside some of its rings. Medians of five runs.
//
//   hostile_index_bench [benchmark options]
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include <unistd.h>

#include "interrogation/planning_search.h"
#include "project/session.h"
#include "tools/writers/companions.h"
#include "tools/writers/drw_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kX0 = 49'600'000, kY0 = 36'900'000; // the group's south-west corner
constexpr int32_t kSide = 100'000;                    // 1 km
constexpr int kRings = 2'000, kRingPoints = 1'000;

// A project folder of one drawing: the group of rings, its index naming it entries times.
struct Project {
    fs::path folder;
    explicit Project(int entries) {
        folder = fs::temp_directory_path() /
                 ("tavi-hostile-" + std::to_string(entries) + "-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        writers::DrwWriter w;
        w.begin_group(1, "RINGS");
        for (int k = 0; k < kRings; ++k) {
            const double cx = kX0 + (k % 50) * 2'000 + 1'000, cy = kY0 + (k / 50) * 2'500 + 1'000;
            std::vector<ZT_Point3> ring;
            for (int p = 0; p < kRingPoints; ++p) {
                const double a = 2 * std::numbers::pi * p / kRingPoints;
                ring.push_back(ZT_Point3{static_cast<int32_t>(std::lround(cx + 900 * std::cos(a))),
                                         static_cast<int32_t>(std::lround(cy + 900 * std::sin(a))),
                                         0});
            }
            w.polygon(ring, writers::header({.colour = 5, .fill = 3, .reference = "RING"}));
        }
        w.end_mark();
        w.save(folder / "rings.drw");
        writers::write_index(folder / "rings.zix",
                             std::vector<drawing::IndexRecord>(static_cast<std::size_t>(entries),
                                                               w.index_records().front()));
        std::ofstream(folder / "tavi.zpj") << "rings.drw\n";
    }
    ~Project() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

// Sessions over the two projects, opened once for every benchmark.
std::unique_ptr<Project> g_projects[2];
std::unique_ptr<project::Session> g_sessions[2];

project::Session *session(int entries) {
    const int k = entries == 1 ? 0 : 1;
    if (!g_projects[k]) {
        g_projects[k] = std::make_unique<Project>(entries);
        g_sessions[k] = std::make_unique<project::Session>(1200, 800);
        if (!g_sessions[k]->open(g_projects[k]->folder.string() + "/"))
            g_sessions[k].reset();
    }
    return g_sessions[k].get();
}

// Args: entries naming the group, shortcuts (0 or 1).
void BM_Redraw(benchmark::State &state) {
    project::Session *s = session(static_cast<int>(state.range(0)));
    if (s == nullptr) {
        state.SkipWithError("the project could not be opened");
        return;
    }
    project::AppState &st = s->state();
    st.display.Shortcuts = state.range(1) != 0;
    const auto view = [&st] {
        st.view.View_X_Min = kX0 - 1'000;
        st.view.View_Y_Min = kY0 - 1'000;
        st.view.View_Height_Units = kSide + 2'000;
    };
    view();
    s->redraw(); // the index and the drawing read, as by the redraw before
    for (auto _ : state) {
        view();
        s->redraw();
    }
    state.counters["held_MB"] = static_cast<double>(s->drawing_cache().held()) / 1e6;
}

// Args: entries naming the group.
void BM_PlanningSearch(benchmark::State &state) {
    project::Session *s = session(static_cast<int>(state.range(0)));
    if (s == nullptr) {
        state.SkipWithError("the project could not be opened");
        return;
    }
    std::size_t hits = 0;
    for (auto _ : state) {
        const interrogation::PlanningHits h =
            interrogation::planning_hits(s->state().drawings, kX0 + 1'000, kY0 + 1'000, 1'000);
        hits = h.hits.size();
        benchmark::DoNotOptimize(hits);
    }
    state.counters["hits"] = static_cast<double>(hits);
}

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qt_argc = 1;
    QGuiApplication app(qt_argc, argv);
    for (const int entries : {1, 1600}) {
        for (const int shortcuts : {1, 0})
            benchmark::RegisterBenchmark("BM_Redraw", BM_Redraw)
                ->ArgNames({"entries", "shortcuts"})
                ->Args({entries, shortcuts})
                ->Iterations(1)
                ->Repetitions(5)
                ->ReportAggregatesOnly()
                ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_PlanningSearch", BM_PlanningSearch)
            ->ArgNames({"entries"})
            ->Args({entries})
            ->Iterations(1)
            ->Repetitions(5)
            ->ReportAggregatesOnly()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (auto &s : g_sessions)
        s.reset();
    for (auto &p : g_projects)
        p.reset();
    return 0;
}
