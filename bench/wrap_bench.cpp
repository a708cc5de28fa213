// Wrapping a long description as a report's table wraps it (a column of 60 characters
// of the report's font, at the PDF's resolution): 100,000 characters, 1 MB, and 1 MB
// beside 250,000 characters, so that the ratio shows the time grows with the length
// and not with its square. Medians of five runs.
#include <benchmark/benchmark.h>

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <cstdlib>

#include "platform/reports/pdf_document.h"
#include "platform/reports/table_layout.h"

namespace {

QString description(qsizetype size) {
    const QString sentence = QStringLiteral(
        "Excavation revealed Roman and medieval deposits beneath the modern yard, with a robbed "
        "wall footing, two pits and a cobbled surface; ");
    QString s;
    s.reserve(size);
    while (s.size() < size)
        s += sentence;
    s.truncate(size);
    return s;
}

void BM_Wrap(benchmark::State &state) {
    // A device at the report's resolution, as the report measures on its PDF writer.
    QImage device(10, 10, QImage::Format_RGB32);
    device.setDotsPerMeterX(static_cast<int>(reports::kResolution / 0.0254));
    device.setDotsPerMeterY(static_cast<int>(reports::kResolution / 0.0254));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(8);
    const QFontMetricsF fm(font, &device);
    const double width = 60 * fm.averageCharWidth();
    const QString text = description(state.range(0));
    qsizetype lines = 0;
    for (auto _ : state) {
        const QStringList wrapped = reports::wrap_text(text, fm, width);
        lines = wrapped.size();
        benchmark::DoNotOptimize(lines);
    }
    state.counters["lines"] = static_cast<double>(lines);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Wrap)
    ->Arg(100'000)
    ->Arg(250'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
