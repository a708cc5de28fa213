// Filling a grid with 10,000 result rows of 12 columns, as the windows do after a large
// search: with redrawing switched off around the filling (one pass over the table at
// the end) and, for comparison, with it left on (the table follows every cell).
// Medians of five runs are reported; the window is offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdlib>

#include "platform/widgets/grid.h"

namespace {

constexpr int kRows = 10000;
constexpr int kColumns = 12;

void fill(grid::Grid &g) {
    g.set_column_count(kColumns);
    g.set_row_count(kRows);
    for (int c = 1; c <= kColumns; ++c)
        g.set_text(c, 0, QString("Field_%1").arg(c));
    g.set_column_type(2, grid::CellType::Numeric);
    for (int r = 1; r <= kRows; ++r) {
        g.set_value(1, r, 1);
        g.set_value(2, r, r);
        for (int c = 3; c <= kColumns; ++c)
            g.set_text(c, r, QString("Site %1 / %2").arg(r).arg(c));
    }
}

void BM_FillWithRedrawOff(benchmark::State &state) {
    for (auto _ : state) {
        grid::Grid g;
        g.set_redraw(false);
        fill(g);
        g.set_redraw(true);
    }
}

void BM_FillWithRedrawOn(benchmark::State &state) {
    for (auto _ : state) {
        grid::Grid g;
        fill(g);
    }
}

BENCHMARK(BM_FillWithRedrawOff)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_FillWithRedrawOn)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
