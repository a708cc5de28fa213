// Throughput of the graphics library's per-vertex work, against a plain pass over the
// same memory (summing x, y and z), which is the floor any projection could reach.
//
//   build/bin/zent32i_bench [--benchmark_repetitions=N]
//
// Prints points per second for each case and, at the end, each case's median time as
// a ratio to the plain pass.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "zent32i_binding.h"

namespace {

constexpr int32_t kPoints = 1'000'000;

// A city-sized cloud of polylines: short steps, as digitised lines have, so that the
// repeat test sees realistic runs.
const std::vector<ZT_Point3> &points() {
    static const std::vector<ZT_Point3> pts = [] {
        std::vector<ZT_Point3> v(kPoints);
        std::mt19937 rng(42);
        std::uniform_int_distribution<int32_t> step(-400, 400), jump(0, 2'000'000);
        int32_t x = 49'000'000, y = 37'000'000;
        for (int32_t i = 0; i < kPoints; ++i) {
            if (i % 200 == 0) {
                x = 49'000'000 + jump(rng);
                y = 37'000'000 + jump(rng);
            }
            x += step(rng);
            y += step(rng);
            v[i] = ZT_Point3{x, y, (i * 7) % 3000};
        }
        return v;
    }();
    return pts;
}

// The whole city in a 1200 x 800 window.
void city_view() {
    const double scale = 800.0 / 2'000'000.0;
    zt::ZT_Set_PB_Scale_Vars(scale, 49'000'000, 37'000'000, 49'000'000 + 1200 / scale, 39'000'000,
                             2'000'000, static_cast<int32_t>(1200 / scale), 800, 1200, 0.0, 0, 0, 1,
                             0);
}

// A street-level window in the middle of it, so that clipping has work to do.
void street_view() {
    zt::ZT_Set_PB_Scale_Vars(0.01, 49'950'000, 37'950'000, 50'070'000, 38'030'000, 80'000, 120'000,
                             800, 1200, 0.0, 0, 0, 1, 0);
}

void BM_PlainPass(benchmark::State &state) {
    const auto &pts = points();
    for (auto _ : state) {
        int64_t sum = 0;
        for (const auto &p : pts)
            sum += static_cast<int64_t>(p.x) + p.y + p.z;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_Calc3DxyThroughBinding(benchmark::State &state) {
    const auto &pts = points();
    city_view();
    for (auto _ : state) {
        int64_t sum = 0;
        for (const auto &p : pts) {
            int32_t px, py;
            zt::ZT_Calc_3D_xy(p.x, p.y, p.z, &px, &py);
            sum += px + py;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_CalcLinePlan(benchmark::State &state) {
    auto &pts = const_cast<std::vector<ZT_Point3> &>(points());
    std::vector<ZT_Point2> out(kPoints);
    city_view();
    // One call per object of 1000 points, as the map redraw makes them.
    const int32_t object = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        int64_t written = 0;
        for (int32_t at = 0; at < kPoints; at += object) {
            const int32_t n = std::min(object, kPoints - at);
            ZT_Point3Array in{pts.data() + at, n};
            ZT_Point2Array o{out.data(), n};
            int32_t count = 0;
            zt::ZT_CalcLine(&in, &o, n, &count);
            written += count;
        }
        benchmark::DoNotOptimize(written);
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_ClipWinStreet(benchmark::State &state) {
    auto &pts = const_cast<std::vector<ZT_Point3> &>(points());
    std::vector<ZT_Point2> out(2 * 1000 + 1);
    street_view();
    int64_t drawn = 0;
    ZT_DeviceContext dc{&drawn, nullptr, [](void *c, const ZT_Point2 *, int32_t n) {
                            *static_cast<int64_t *>(c) += n;
                        }};
    for (auto _ : state) {
        for (int32_t at = 0; at < kPoints; at += 1000) {
            ZT_Point3Array in{pts.data() + at, 1000};
            ZT_Point2Array o{out.data(), static_cast<int32_t>(out.size())};
            int32_t count = 0;
            zt::ClipWin(&in, &o, 1000, &count, -22, &dc);
        }
        benchmark::DoNotOptimize(drawn);
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

BENCHMARK(BM_PlainPass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Calc3DxyThroughBinding)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalcLinePlan)->Arg(1000)->Arg(kPoints)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClipWinStreet)->Unit(benchmark::kMillisecond);

// Console output plus, at the end, each median as a ratio to the plain pass.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto &r : runs) {
            const bool single = r.aggregate_name.empty() && r.repetitions <= 1;
            if (single || r.aggregate_name == "median")
                times_[r.run_name.str()] = r.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto base = times_.find("BM_PlainPass");
        if (base == times_.end())
            return;
        std::printf("\nMedian time relative to the plain pass over %d points:\n", kPoints);
        for (const auto &[name, t] : times_)
            std::printf("  %-32s %8.2f ms  %6.2fx  %7.1f M points/s\n", name.c_str(), t,
                        t / base->second, kPoints / t / 1000.0);
    }

  private:
    std::map<std::string, double> times_;
};

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
