// The search report of a large result: 1,500 rows of 12 columns such as a site-list
// search gives, over the sample project, written as the PDF report (the map drawn at
// print resolution with every site ringed and numbered, the rows on numbered pages),
// beside the same report without its map, and the same rows written as an Excel 97
// workbook, the export the report is measured against. Medians of five runs.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "interrogation/search_report.h"
#include "platform/exports/export_table.h"
#include "platform/exports/grid_table.h"
#include "platform/reports/pdf_document.h"
#include "project/session.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRows = 1500;
// The sample city's middle, where its site list lies (world units).
constexpr int32_t kWest = 49'340'000, kSouth = 36'750'000, kSide = 600'000;

grid::Sheet results() {
    const char *headers[] = {"DataRef",     "RecPos", "RENO",   "site",   "SITE_NAME", "LOCATION",
                             "DESCRIPTION", "NGS",    "xcoord", "ycoord", "PERIOD",    "NOTES"};
    const char *places[] = {"Castle Street", "Minster Yard", "Walmgate",
                            "Micklegate",    "Coppergate",   "Fishergate"};
    grid::Sheet s(12, kRows);
    for (int c = 1; c <= 12; ++c)
        s.set_text(c, 0, headers[c - 1]);
    for (int c : {1, 2, 3, 9, 10})
        s.set_column_type(c, grid::CellType::Numeric, c >= 9 ? 2 : 0);
    for (int r = 1; r <= kRows; ++r) {
        const QString place = places[r % 6];
        s.set_value(1, r, 1);
        s.set_value(2, r, r - 1);
        s.set_value(3, r, 1000 + r);
        s.set_text(4, r, QString("RE%1").arg(1000 + r));
        s.set_text(5, r, QString("Excavation at %1 %2").arg(place).arg(r % 97));
        s.set_text(6, r, place);
        s.set_text(7, r,
                   QString("Trench %1: Roman & medieval deposits, \"robbed\" wall footings "
                           "<north side>; finds recorded in the archive.")
                       .arg(r));
        s.set_text(8, r, QString("SK %1 %2").arg(9000 + r % 600).arg(7000 + r % 500));
        s.set_value(9, r, 493400.0 + (r * 37 % 6000));
        s.set_value(10, r, 367500.0 + (r * 53 % 6000));
        s.set_text(11, r, r % 3 == 0 ? "Roman" : "Medieval");
        s.set_text(12, r, r % 5 == 0 ? "" : "see report");
    }
    return s;
}

class Scratch {
  public:
    Scratch() {
        std::string tmpl = (fs::temp_directory_path() / "tavi-report-bench-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) != nullptr)
            path_ = tmpl;
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path &path() const { return path_; }

  private:
    fs::path path_;
};

struct Fixture {
    project::Session session{16, 16, project::quiet_hooks(), TAVI_PROGRAM_FOLDER};
    grid::Sheet sheet = results();
    interrogation::SearchReport report;
    Scratch scratch;
    bool opened = false;

    Fixture() {
        opened = session.open(TAVI_SAMPLE_DATA);
        report.made = QDateTime::currentDateTime();
        report.project = TAVI_SAMPLE_DATA;
        report.search.kind = interrogation::SearchKind::Polygon;
        report.search.vertices = {{kWest, kSouth, 0},
                                  {kWest + kSide, kSouth, 0},
                                  {kWest + kSide, kSouth + kSide, 0},
                                  {kWest, kSouth + kSide, 0}};
        report.search.search_buffer = 10000;
        report.table = &sheet;
        for (int r = 1; r <= kRows; ++r)
            report.marks.push_back(
                {{kWest + (r * 37 % 6000) * 100, kSouth + (r * 53 % 6000) * 100, 0}});
    }
};

Fixture &fixture() {
    static Fixture f;
    return f;
}

void BM_SearchReport(benchmark::State &state) {
    Fixture &f = fixture();
    if (!f.opened) {
        state.SkipWithError("the sample project is not there (build sample_data)");
        return;
    }
    const fs::path file = f.scratch.path() / "report.pdf";
    int pages = 0;
    for (auto _ : state) {
        const reports::Written w = interrogation::write_search_report(f.session, f.report, file);
        if (!w.outcome) {
            state.SkipWithError(w.outcome.error.c_str());
            break;
        }
        pages = w.pages;
    }
    std::error_code ec;
    state.counters["pages"] = pages;
    state.counters["bytes"] = static_cast<double>(fs::file_size(file, ec));
}

void BM_ReportWithoutMap(benchmark::State &state) {
    Fixture &f = fixture();
    const fs::path file = f.scratch.path() / "table.pdf";
    reports::Document doc;
    doc.title = interrogation::kReportTitle;
    doc.table = &f.sheet;
    int pages = 0;
    for (auto _ : state) {
        const reports::Written w = reports::write_pdf(file, doc);
        if (!w.outcome) {
            state.SkipWithError(w.outcome.error.c_str());
            break;
        }
        pages = w.pages;
    }
    state.counters["pages"] = pages;
}

void BM_SameRowsAsExcel97(benchmark::State &state) {
    Fixture &f = fixture();
    const fs::path file = f.scratch.path() / "rows.xls";
    for (auto _ : state) {
        const exporting::Outcome o = exporting::write_xls(file, grid::to_table(f.sheet));
        if (!o) {
            state.SkipWithError(o.error.c_str());
            break;
        }
    }
    std::error_code ec;
    state.counters["bytes"] = static_cast<double>(fs::file_size(file, ec));
}

#define REPORT_BENCHMARK(fn)                                                                       \
    BENCHMARK(fn)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)

REPORT_BENCHMARK(BM_SearchReport);
REPORT_BENCHMARK(BM_ReportWithoutMap);
REPORT_BENCHMARK(BM_SameRowsAsExcel97);

} // namespace

int main(int argc, char **argv) {
    // The report is drawn with the toolkit's fonts; no window is shown.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
