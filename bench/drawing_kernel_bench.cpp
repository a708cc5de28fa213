// The floor under a map redraw: read every drawing file of a project and project every
// vertex with ZT_CalcLine, drawing nothing. tavi-render --time is compared with it.
//
//   drawing_kernel_bench --data DIR [benchmark options]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "drawing/drw_format.h"
#include "platform/base/files.h"
#include "project/session.h"
#include "zent32i_binding.h"

namespace {

std::string g_data;

// Walks one drawing: control units announce records, objects bring their points.
int64_t project_drawing(const std::string &path, std::vector<uint8_t> &raw,
                        std::vector<ZT_Point3> &pts, std::vector<ZT_Point2> &screen) {
    auto f = files::BinaryFile::open_existing(path);
    int64_t vertices = 0;
    uint8_t unit[12], rec[48];
    while (f.read(unit, 12) == 12) {
        if (!drawing::is_control_unit(unit))
            continue;
        switch (drawing::control_code(unit)) {
        case drawing::kCodeGroup:
            f.read(rec, 48);
            break;
        case drawing::kCodeLayer:
            f.read(rec, 24);
            break;
        case drawing::kCodeHeaderOnly:
            f.read(rec, 48);
            break;
        case drawing::kCodePolygon:
        case drawing::kCodePolyline:
        case drawing::kCodeHiddenA:
        case drawing::kCodeHiddenB:
        case drawing::kCodeAnnotation: {
            const size_t len = drawing::control_code(unit) == drawing::kCodeAnnotation ? 36 : 48;
            if (f.read(rec, len) != len)
                return vertices;
            int32_t n;
            std::memcpy(&n, rec, 4);
            if (n <= 0 || n > 10'000'000)
                break;
            raw.resize(static_cast<size_t>(n) * 12);
            const size_t got = f.read(raw.data(), raw.size()) / 12;
            pts.resize(got);
            screen.resize(got);
            for (size_t i = 0; i < got; ++i)
                pts[i] = drawing::decode_point(raw.data() + 12 * i);
            ZT_Point3Array in{pts.data(), static_cast<int32_t>(got)};
            ZT_Point2Array out{screen.data(), static_cast<int32_t>(got)};
            int32_t count = 0;
            zt::ZT_CalcLine(&in, &out, static_cast<int32_t>(got), &count);
            vertices += static_cast<int64_t>(got);
            break;
        }
        default:
            break;
        }
    }
    return vertices;
}

void BM_ReadAndProjectProject(benchmark::State &state) {
    // The drawings as the project lists them, opened as every program opens a project.
    std::vector<std::string> drawings;
    project::Session session(1, 1);
    if (session.open(g_data))
        for (int n = 1; n <= session.state().drawings.count(); ++n)
            drawings.push_back(session.state().drawings.entry(n).file_name);
    if (drawings.empty()) {
        state.SkipWithError("no drawings: pass --data DIR holding tavi.zpj");
        return;
    }
    // The viewer's maximum view in a 1200 x 800 window.
    const double scale = 800.0 / 878'800.0;
    zt::ZT_Set_PB_Scale_Vars(scale, 49'200'000, 36'552'000, 49'200'000 + 1200 / scale,
                             36'552'000 + 878'800, 878'800, static_cast<int32_t>(1200 / scale), 800,
                             1200, 0.0, 0, 0, 1, 0);
    std::vector<uint8_t> raw;
    std::vector<ZT_Point3> pts;
    std::vector<ZT_Point2> screen;
    int64_t vertices = 0;
    for (auto _ : state) {
        vertices = 0;
        for (const auto &d : drawings)
            vertices += project_drawing(d, raw, pts, screen);
        benchmark::DoNotOptimize(vertices);
    }
    state.counters["vertices"] = static_cast<double>(vertices);
    state.SetItemsProcessed(state.iterations() * vertices);
}

BENCHMARK(BM_ReadAndProjectProject)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    std::vector<char *> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc)
            g_data = argv[++i];
        else
            rest.push_back(argv[i]);
    }
    int n = static_cast<int>(rest.size());
    benchmark::Initialize(&n, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
