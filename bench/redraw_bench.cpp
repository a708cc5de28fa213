// The map window's redraw of a project, in a 1200 x 800 picture, with its shortcuts (the
// grid over each index, the drawings held in memory, stamped site symbols) and without,
// at the maximum view and at a street (300 m high at the city's centre); with --sites,
// also with the project's site list plotted, to show what the points add.
//
//   redraw_bench --data DIR [--sites] [benchmark options]
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "project/session.h"
#include "view/navigation.h"

namespace {

std::string g_data;
bool g_sites = false;
std::unique_ptr<project::Session> g_session;

enum View { kMaximum, kStreet };

// The project opened once for every benchmark; null when it cannot be.
project::Session *session() {
    static bool tried = false;
    if (!std::exchange(tried, true)) {
        g_session = std::make_unique<project::Session>(1200, 800);
        if (!g_session->open(g_data + "/"))
            g_session.reset();
    }
    return g_session.get();
}

void set_view(project::AppState &st, View view) {
    if (view == kMaximum) {
        st.view.View_X_Min = view::kMaxViewOriginX;
        st.view.View_Y_Min = view::kMaxViewOriginY;
        st.view.View_Height_Units = static_cast<int32_t>(view::kMaxViewHeight);
    } else {
        st.view.View_X_Min = 49'620'000;
        st.view.View_Y_Min = 36'980'000;
        st.view.View_Height_Units = 30'000;
    }
}

// Args: view, shortcuts (0 or 1), site points plotted (0 or 1).
void BM_Redraw(benchmark::State &state) {
    project::Session *const s = session();
    if (s == nullptr || s->state().drawings.count() == 0) {
        state.SkipWithError("no project: pass --data DIR holding tavi.zpj");
        return;
    }
    project::AppState &st = s->state();
    const bool points = state.range(2) != 0;
    if (points && st.points.empty() && !s->plot_sites()) {
        state.SkipWithError("the project's site list cannot be plotted");
        return;
    }
    if (!points)
        st.points.clear();
    st.display.Shortcuts = state.range(1) != 0;
    set_view(st, static_cast<View>(state.range(0)));
    s->redraw(); // the indexes and drawings read, as by the redraw before
    for (auto _ : state) {
        set_view(st, static_cast<View>(state.range(0)));
        s->redraw();
    }
    state.counters["points"] = static_cast<double>(st.points.count());
    state.counters["held_MB"] = static_cast<double>(s->drawing_cache().held()) / 1e6;
}

void arguments(benchmark::internal::Benchmark *b) {
    b->ArgNames({"view", "shortcuts", "sites"});
    for (const int view : {kMaximum, kStreet})
        for (const int sites : {0, 1})
            for (const int shortcuts : {1, 0})
                if (sites == 0 || g_sites)
                    b->Args({view, shortcuts, sites});
}

} // namespace

int main(int argc, char **argv) {
    std::vector<char *> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc)
            g_data = argv[++i];
        else if (std::strcmp(argv[i], "--sites") == 0)
            g_sites = true;
        else
            rest.push_back(argv[i]);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qt_argc = 1;
    QGuiApplication app(qt_argc, argv);
    benchmark::RegisterBenchmark("BM_Redraw", BM_Redraw)
        ->Apply(arguments)
        ->Unit(benchmark::kMillisecond);
    int n = static_cast<int>(rest.size());
    benchmark::Initialize(&n, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_session.reset();
    return 0;
}
