// How long one paint of a large background raster takes in a 1200 x 800 map window, and
// how much memory painting needs. The aim: every paint under 100 ms, and the peak
// resident size grown by less than four times the decoded size of one screen.
//
// The image (10000 x 10000 RGB, tiled, LZW, with reduced copies) is written once into
// the build tree by a child process, so that writing it does not count towards this
// process's peak. Run with --benchmark_repetitions for more samples; medians are shown.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/surface/gdi.h"
#include "raster/raster_loading.h"
#include "raster/raster_painting.h"
#include "tools/sample/sample_rasters.h"
#include "view/transform.h"

namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 800;
constexpr int32_t kColumns = 10000;
constexpr int32_t kRows = 10000;
constexpr int32_t kPixel = 132; // world units: the image spans the whole maximum view
constexpr double kMaxViewX = 49'200'000, kMaxViewY = 36'552'000;
constexpr int32_t kMaxViewHeight = 878'800;
constexpr int32_t kStreetHeight = 27'500; // the closest zoom

const sample::RasterBox kBox{49'200'000, 36'552'000, 49'200'000 + kColumns *kPixel,
                             36'552'000 + kRows *kPixel};

long peak_kb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

std::string large_image() {
    const std::filesystem::path dir = TAVI_BENCH_DATA;
    const std::string tif = (dir / "large_map.tif").string();
    if (std::filesystem::exists(dir / "large_map.zwi"))
        return tif;
    std::filesystem::create_directories(dir);
    std::fprintf(stderr, "writing %s (once)...\n", tif.c_str());
    const pid_t child = fork();
    if (child == 0) {
        const auto w =
            sample::write_large_map(tif, kBox, kColumns, kRows, sample::MapLayout::for_box(kBox));
        if (!w.ok)
            std::fprintf(stderr, "%s\n", w.error.c_str());
        _exit(w.ok ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "could not write the large image\n");
        std::exit(1);
    }
    return tif;
}

struct Window {
    QImage image{kWidth, kHeight, QImage::Format_RGB32};
    std::unique_ptr<gdi::DeviceContext> dc;
    state::ViewState view;
    state::RasterTable table;
    raster::RasterUi ui;

    void show(double x_min, double y_min, int32_t height) {
        view.View_X_Min = x_min;
        view.View_Y_Min = y_min;
        view.View_Height_Units = height;
        view::Prepare_View(view, *dc, kWidth, kHeight);
    }
};

Window *g_window = nullptr;

void paint_at(benchmark::State &state, double x_min, double y_min, int32_t height) {
    Window &w = *g_window;
    w.show(x_min, y_min, height);
    for (auto _ : state) {
        raster::Paint_Rasters(w.table, w.view, w.ui);
        benchmark::ClobberMemory();
    }
    state.counters["peak_rss_MB"] = static_cast<double>(peak_kb()) / 1024.0;
}

void BM_PaintMaximumView(benchmark::State &state) {
    paint_at(state, kMaxViewX, kMaxViewY, kMaxViewHeight);
}

void BM_PaintStreetView(benchmark::State &state) {
    const auto layout = sample::MapLayout::for_box(kBox);
    paint_at(state, layout.centre_x - kStreetHeight * 0.75, layout.centre_y - kStreetHeight / 2,
             kStreetHeight);
}

// A street view that moves a whole window on at every paint, so its tiles are never in
// the cache yet: what a pan costs.
void BM_PaintStreetViewPanning(benchmark::State &state) {
    Window &w = *g_window;
    const double step_x = kStreetHeight * 1.5, step_y = kStreetHeight;
    const int across = static_cast<int>((kBox.east - kBox.west) / step_x) - 1;
    const int down = static_cast<int>((kBox.north - kBox.south) / step_y) - 1;
    int k = 0;
    for (auto _ : state) {
        const int i = k % across, j = (k / across * 7) % down;
        ++k;
        w.show(kBox.west + i * step_x, kBox.south + j * step_y, kStreetHeight);
        raster::Paint_Rasters(w.table, w.view, w.ui);
        benchmark::ClobberMemory();
    }
    state.counters["peak_rss_MB"] = static_cast<double>(peak_kb()) / 1024.0;
}

BENCHMARK(BM_PaintMaximumView)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PaintStreetView)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PaintStreetViewPanning)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv) {
    const std::string tif = large_image();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qargc = 1;
    char name[] = "raster_paint_bench";
    char *qargv[] = {name, nullptr};
    QGuiApplication app(qargc, qargv);

    Window window;
    window.image.fill(Qt::white);
    window.dc = std::make_unique<gdi::DeviceContext>(window.image);
    raster::Load_A_Lead_Raster(window.table, std::filesystem::path(tif).replace_extension(".zwi"),
                               state::ViewState{}, window.ui);
    if (window.table.count() != 1) {
        std::fprintf(stderr, "the large image did not load\n");
        return 1;
    }
    g_window = &window;
    const long before = peak_kb();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const long after = peak_kb();
    const double screen_mb = kWidth * kHeight * 4 / (1024.0 * 1024.0);
    const double grown_mb = static_cast<double>(after - before) / 1024.0;
    std::printf("peak resident size: %.1f MB before painting, %.1f MB after; grown %.1f MB "
                "= %.2f x one decoded screen (%.1f MB); aim below 4 x\n",
                before / 1024.0, after / 1024.0, grown_mb, grown_mb / screen_mb, screen_mb);
    return 0;
}
