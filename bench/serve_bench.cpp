// What one tile of tavi-serve costs before it is sent: drawing it (the layers the
// benchmark's peers serve: the drawings and the sites) and encoding it as PNG, 256 x 256
// at the three scales of bench/serve_bench.sh, and a 1200 x 800 view; the same tiles for
// every repetition.
//
//   serve_bench --data DIR [benchmark options]
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "project/session.h"
#include "serve/image_encoding.h"
#include "serve/map_picture.h"
#include "serve/service.h"

namespace {

std::string g_data;
std::unique_ptr<project::Session> g_session;
std::unique_ptr<serve::ServiceLayers> g_layers;

constexpr double kCity[4] = {492000, 365520, 500788, 374308};
constexpr double kTileMetres[3] = {2197.0, 549.25, 137.3125};

bool open() {
    static bool tried = false;
    if (!std::exchange(tried, true)) {
        g_session = std::make_unique<project::Session>(64, 64);
        if (!g_session->open(g_data + "/")) {
            g_session.reset();
            return false;
        }
        g_session->plot_sites();
        g_layers = std::make_unique<serve::ServiceLayers>(
            serve::service_layers(g_session->state(), g_session->drawing_cache()));
    }
    return g_session != nullptr;
}

// The same 64 requests each time: tiles of one scale at places spread over the city, or
// views of 1200 x 800 at 1.5 m a pixel.
std::vector<serve::MapRequest> requests(int scale) {
    std::mt19937 rng(7);
    std::vector<serve::MapRequest> out;
    for (int k = 0; k < 64; ++k) {
        serve::MapRequest m;
        for (std::size_t i = 0; i < g_layers->layers.size(); ++i)
            if (g_layers->layers[i].kind != serve::Layer::Kind::Background)
                m.layers.push_back(static_cast<int>(i));
        const double w = scale < 3 ? kTileMetres[scale] : 1800.0;
        const double h = scale < 3 ? w : 1200.0;
        std::uniform_real_distribution<double> x(kCity[0], kCity[2] - w), y(kCity[1], kCity[3] - h);
        const double x0 = x(rng), y0 = y(rng);
        m.bbox = serve::Box{x0, y0, x0 + w, y0 + h};
        m.width = scale < 3 ? 256 : 1200;
        m.height = scale < 3 ? 256 : 800;
        out.push_back(m);
    }
    return out;
}

void BM_Draw(benchmark::State &state) {
    if (!open()) {
        state.SkipWithError("no project: pass --data DIR holding tavi.zpj");
        return;
    }
    const auto list = requests(static_cast<int>(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) {
        auto drawn = serve::draw_map(*g_session, *g_layers, list[i++ % list.size()],
                                     std::chrono::steady_clock::now() + std::chrono::minutes(1));
        benchmark::DoNotOptimize(drawn.image.constBits());
    }
}

void BM_EncodePng(benchmark::State &state) {
    if (!open()) {
        state.SkipWithError("no project: pass --data DIR holding tavi.zpj");
        return;
    }
    const auto list = requests(static_cast<int>(state.range(0)));
    std::vector<QImage> pictures;
    for (const auto &m : list)
        pictures.push_back(
            serve::draw_map(*g_session, *g_layers, m,
                            std::chrono::steady_clock::now() + std::chrono::minutes(1))
                .image);
    std::size_t i = 0, bytes = 0;
    for (auto _ : state) {
        const std::string png = serve::encode_png(pictures[i++ % pictures.size()]);
        bytes += png.size();
        benchmark::DoNotOptimize(png.data());
    }
    state.counters["bytes"] = benchmark::Counter(static_cast<double>(bytes) / state.iterations());
}

// Args: 0, 1, 2 the tiles from the whole city to streets; 3 the 1200 x 800 views.
void scales(benchmark::internal::Benchmark *b) {
    for (int s = 0; s < 4; ++s)
        b->Arg(s);
}

} // namespace

int main(int argc, char **argv) {
    std::vector<char *> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc)
            g_data = argv[++i];
        else
            rest.push_back(argv[i]);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qt_argc = 1;
    QGuiApplication app(qt_argc, argv);
    benchmark::RegisterBenchmark("BM_Draw", BM_Draw)->Apply(scales)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_EncodePng", BM_EncodePng)
        ->Apply(scales)
        ->Unit(benchmark::kMillisecond);
    int n = static_cast<int>(rest.size());
    benchmark::Initialize(&n, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_session.reset();
    return 0;
}
