// Exporting a large result: 10,000 rows of 12 columns such as a site-list search gives
// (numbers, short codes, names, a long description, a grid reference) written as an
// Excel 97 workbook, an HTML table and an XML document, each through its temporary file
// into a scratch folder; and the grid's sheet turned into the table the writers take.
// The aim: each export well under a second. Medians of five runs are reported.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/exports/export_table.h"
#include "platform/exports/grid_sheet.h"
#include "platform/exports/grid_table.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRows = 10000;

exporting::Table results() {
    exporting::Table t;
    t.headers = {"DataRef",     "RecPos", "RENO",   "site",   "SITE_NAME", "LOCATION",
                 "DESCRIPTION", "NGS",    "xcoord", "ycoord", "PERIOD",    "NOTES"};
    const char *places[] = {"Castle Street", "Minster Yard", "Walmgate",
                            "Micklegate",    "Coppergate",   "Fishergate"};
    for (int r = 0; r < kRows; ++r) {
        const std::string place = places[r % 6];
        t.rows.push_back({
            1.0,
            static_cast<double>(r),
            static_cast<double>(1000 + r),
            "RE" + std::to_string(1000 + r),
            "Excavation at " + place + " " + std::to_string(r % 97),
            place,
            "Trench " + std::to_string(r) +
                ": Roman & medieval deposits, \"robbed\" wall footings <north side>; "
                "finds recorded in the archive.",
            "SE " + std::to_string(600000 + r) + " " + std::to_string(510000 + r),
            460000.0 + r * 0.5,
            451000.0 + r * 0.25,
            std::string(r % 3 == 0 ? "Roman" : "Medieval"),
            std::string(r % 5 == 0 ? "" : "see report"),
        });
    }
    return t;
}

class Scratch {
  public:
    Scratch() {
        std::string tmpl = (fs::temp_directory_path() / "tavi-export-bench-XXXXXX").string();
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

void export_to(benchmark::State &state, exporting::Format format, const char *name) {
    const exporting::Table table = results();
    Scratch scratch;
    const fs::path file = scratch.path() / name;
    for (auto _ : state) {
        const exporting::Outcome outcome = exporting::write_table(file, table, format);
        if (!outcome) {
            state.SkipWithError(outcome.error.c_str());
            break;
        }
    }
    std::error_code ec;
    state.counters["bytes"] = static_cast<double>(fs::file_size(file, ec));
}

void BM_ExportExcel97(benchmark::State &state) {
    export_to(state, exporting::Format::Excel97, "results.xls");
}
void BM_ExportHtml(benchmark::State &state) {
    export_to(state, exporting::Format::Html, "results.html");
}
void BM_ExportXml(benchmark::State &state) {
    export_to(state, exporting::Format::Xml, "results.xml");
}

void BM_SheetToTable(benchmark::State &state) {
    const exporting::Table t = results();
    grid::Sheet sheet(12, kRows);
    for (int c = 1; c <= 12; ++c)
        sheet.set_text(c, 0, QString::fromStdString(t.headers[static_cast<std::size_t>(c - 1)]));
    for (int c : {1, 2, 3, 9, 10})
        sheet.set_column_type(c, grid::CellType::Numeric, c >= 9 ? 2 : 0);
    for (int r = 1; r <= kRows; ++r)
        for (int c = 1; c <= 12; ++c) {
            const auto &cell =
                t.rows[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)];
            if (const double *v = std::get_if<double>(&cell))
                sheet.set_value(c, r, *v);
            else
                sheet.set_text(c, r, QString::fromStdString(std::get<std::string>(cell)));
        }
    for (auto _ : state)
        benchmark::DoNotOptimize(grid::to_table(sheet));
}

#define EXPORT_BENCHMARK(fn)                                                                       \
    BENCHMARK(fn)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)

EXPORT_BENCHMARK(BM_ExportExcel97);
EXPORT_BENCHMARK(BM_ExportHtml);
EXPORT_BENCHMARK(BM_ExportXml);
EXPORT_BENCHMARK(BM_SheetToTable);

} // namespace

BENCHMARK_MAIN();
