// tavi-search --around end to end on the sample city: the rows and the enquiry's report
// read back with poppler's tools (its number column, no internal columns, the search
// line, the features table), its first page compared with a control image; and every
// refusal one line, exit code 2 and nothing written.
// TAVI_REBASELINE=1 writes a new control image on purpose.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QString>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/control_image.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

const fs::path kBuild = TAVI_BUILD_DIR;

// A concave site near the city's middle, and 100 m around it.
const QString kBoundary = "POLYGON ((496300 369900,496600 369900,496600 370200,496450 370050,"
                          "496300 370200,496300 369900))";

struct Ran {
    int code = -1;
    QString out, err;
};

Ran run(const QString &program, const QStringList &args, const fs::path &folder = {}) {
    testing_support::RunOptions options;
    options.folder = folder;
    options.timeout_ms = 180000;
    options.env.insert("SOURCE_DATE_EPOCH", "1700000000");
    const auto r = testing_support::run_command(program, args, options);
    return Ran{r.code, QString::fromStdString(r.out), QString::fromStdString(r.err)};
}

QString search_program() {
    return QString::fromStdString((kBuild / "bin" / "tavi-search").string());
}

class Around : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::copy(kBuild / "share" / "tavi" / "data", temp_.path() / "data",
                 fs::copy_options::recursive);
    }
    testing_support::TempFolder temp_;
};

TEST_F(Around, TheReportHasItsNumbersNoInternalColumnsTheSearchLineAndTheFeatures) {
    const Ran search = run(search_program(),
                           {"--data", "data", "--around", kBoundary, "--radius", "100", "--out",
                            "rows.xml", "--report", "enquiry.pdf"},
                           temp_.path());
    ASSERT_EQ(search.code, 0) << search.err.toStdString();
    EXPECT_TRUE(search.out.contains(QRegularExpression("^\\d+ rows found; \\d+ drawn features? "
                                                       "within the area")))
        << search.out.toStdString();
    std::ifstream rows(temp_.path() / "rows.xml");
    const std::string xml{std::istreambuf_iterator<char>(rows), {}};
    // The exported rows keep what the window keeps, and the distances.
    for (const char *column : {"DataRef", "RecPos", "Distance_m"})
        EXPECT_NE(xml.find(column), std::string::npos) << column;

    const QString pdf = QString::fromStdString((temp_.path() / "enquiry.pdf").string());
    const Ran text = run("pdftotext", {"-raw", pdf, "-"});
    ASSERT_EQ(text.code, 0) << "pdftotext (Debian package poppler-utils)";
    const QString all = text.out.simplified();
    for (const char *part :
         {"Sites within 100 m of the boundary", "Project: data ",
          "Search: Within 100 m of the boundary (", " ha)", "No. RENO SITE_NAME", "Distance_m",
          "Drawn features within the area", "Drawing Reference Kind"})
        EXPECT_TRUE(all.contains(QString::fromUtf8(part))) << part << "\n"
                                                           << all.left(600).toStdString();
    for (const char *internal : {"DataRef", "RecPos", "DB source"})
        EXPECT_FALSE(all.contains(internal)) << internal;

    testing_support::expect_first_page_control_image(pdf, temp_.path(), "enquiry_report_page1");
}

TEST_F(Around, RefusalsAreOneLineExitCodeTwoAndNothingWritten) {
    std::ofstream(temp_.path() / "empty.geojson").flush();
    std::ofstream(temp_.path() / "points.geojson")
        << R"({"type":"FeatureCollection","features":[{"type":"Feature","properties":{},)"
           R"("geometry":{"type":"Point","coordinates":[-0.54,53.23]}}]})";
    struct Case {
        QStringList args;
        const char *said;
    };
    const Case cases[] = {
        {{"--around", kBoundary, "--radius", "-5"}, "0 to 5000 metres"},
        {{"--around", kBoundary, "--radius", "5001"}, "0 to 5000 metres"},
        {{"--around", "POLYGON ((496300 369900, 496600"}, "--radius"},
        {{"--around", "POLYGON ((496300 369900, 496600", "--radius", "50"}, "not WKT that parses"},
        {{"--around", "missing.shp", "--radius", "50"}, "no such file"},
        {{"--around", "empty.geojson", "--radius", "50"}, "empty"},
        {{"--around", "points.geojson", "--radius", "50"}, "points only"},
        {{"--around", kBoundary, "--radius", "50", "--point", "496400,370000"},
         "a search of its own"},
        {{"--around", kBoundary, "--radius", "50", "--planning", "496400,370000"},
         "a search of its own"},
        {{"--point", "496400,370000", "--radius", "50"}, "--around SHAPE too"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Ran a =
            run(search_program(),
                QStringList{"--data", "data", "--out", "rows.xml", "--report", "r.pdf"} + c.args,
                temp_.path());
        EXPECT_EQ(a.code, 2);
        EXPECT_TRUE(a.err.startsWith("tavi-search: ")) << a.err.toStdString();
        EXPECT_TRUE(a.err.contains(c.said)) << a.err.toStdString();
        EXPECT_EQ(a.err.count('\n'), 1) << a.err.toStdString();
        EXPECT_TRUE(a.out.isEmpty()) << a.out.toStdString();
        EXPECT_FALSE(fs::exists(temp_.path() / "rows.xml"));
        EXPECT_FALSE(fs::exists(temp_.path() / "r.pdf"));
    }
}

} // namespace
