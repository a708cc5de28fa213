// The headless renderer end to end: the sample city compared with control images, and
// its handling of bad arguments. Every run writes into a temporary folder of its own; a
// failed comparison keeps the actual image and a difference image in a folder it names.
// TAVI_REBASELINE=1 writes new control images on purpose.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

const fs::path kBuild = TAVI_BUILD_DIR;
const fs::path kControl = fs::path(TAVI_SOURCE_DIR) / "tests" / "control";

struct RunResult {
    int code = -1;
    std::string out, err;
};

RunResult render(const QStringList &args) {
    QProcess p;
    p.setProgram(QString::fromStdString((kBuild / "bin" / "tavi-render").string()));
    p.setArguments(args);
    p.start();
    p.waitForFinished(120000);
    return RunResult{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                     p.readAllStandardOutput().toStdString(),
                     p.readAllStandardError().toStdString()};
}

QString sample() {
    return QString::fromStdString((kBuild / "share" / "tavi" / "data").string());
}

using testing_support::TempFolder;

// Compares two images channel by channel: a pixel differs when any channel is off by
// more than `tolerance`; at most `allowed` pixels may differ.
testing::AssertionResult images_match(const QImage &actual, const QImage &control, int tolerance,
                                      long allowed) {
    if (actual.size() != control.size())
        return testing::AssertionFailure() << "size differs";
    const QImage a = actual.convertToFormat(QImage::Format_RGB32);
    const QImage c = control.convertToFormat(QImage::Format_RGB32);
    long differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *pc = reinterpret_cast<const QRgb *>(c.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            if (std::abs(qRed(pa[x]) - qRed(pc[x])) > tolerance ||
                std::abs(qGreen(pa[x]) - qGreen(pc[x])) > tolerance ||
                std::abs(qBlue(pa[x]) - qBlue(pc[x])) > tolerance)
                ++differing;
    }
    if (differing > allowed)
        return testing::AssertionFailure()
               << differing << " pixels differ (allowed " << allowed << ")";
    return testing::AssertionSuccess();
}

// Red where the images differ, the control image faded elsewhere.
QImage difference(const QImage &actual, const QImage &control) {
    const QImage a = actual.convertToFormat(QImage::Format_RGB32);
    QImage d = control.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < d.height() && y < a.height(); ++y) {
        auto *pd = reinterpret_cast<QRgb *>(d.scanLine(y));
        const auto *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        for (int x = 0; x < d.width() && x < a.width(); ++x) {
            const int g = 192 + qGray(pd[x]) / 4;
            pd[x] = pa[x] == pd[x] ? qRgb(g, g, g) : qRgb(255, 0, 0);
        }
    }
    return d;
}

void check_against_control(const std::string &name, const QStringList &extra) {
    TempFolder temp;
    const fs::path out = temp.path() / (name + ".png");
    QStringList args{"--data", sample(), "--out", QString::fromStdString(out.string())};
    args += extra;
    const RunResult r = render(args);
    ASSERT_EQ(r.code, 0) << r.err;
    QImage actual(QString::fromStdString(out.string()));
    ASSERT_FALSE(actual.isNull());
    const fs::path control = kControl / (name + ".png");
    if (std::getenv("TAVI_REBASELINE")) {
        fs::copy_file(out, control, fs::copy_options::overwrite_existing);
        GTEST_SKIP() << "wrote control image " << control;
    }
    QImage expected(QString::fromStdString(control.string()));
    ASSERT_FALSE(expected.isNull())
        << "no control image " << control << " (run with TAVI_REBASELINE=1 to make one)";
    const auto match = images_match(actual, expected, 8, actual.width() * actual.height() / 1000);
    if (!match) {
        std::string kept = (fs::temp_directory_path() / "tavi-render-failure-XXXXXX").string();
        if (::mkdtemp(kept.data()) != nullptr) {
            fs::copy_file(out, fs::path(kept) / (name + ".actual.png"));
            difference(actual, expected)
                .save(QString::fromStdString((fs::path(kept) / (name + ".diff.png")).string()));
        }
        ADD_FAILURE() << name << ": " << match.message() << "; actual and difference images in "
                      << kept;
    }
}

TEST(RenderControlImages, SampleCityAtTheMaximumView) {
    check_against_control("city_maximum_view", {});
}

TEST(RenderControlImages, SampleCityFilledAtStreetLevel) {
    check_against_control("city_street_filled", {"--view", "49590000,36960000,60000", "--fill", "1",
                                                 "--size", "900x600"});
}

TEST(RenderControlImages, GridAndScaleBarCanBeSwitchedOff) {
    check_against_control("city_bare", {"--grid", "0", "--scale-bar", "0", "--size", "600x400"});
}

TEST(RenderControlImages, TheSiteListPlottedOverTheTown) {
    check_against_control(
        "city_sites", {"--sites", "1", "--view", "49590000,36960000,60000", "--size", "600x400"});
}

TEST(RenderArguments, BadInputGivesOneLineAndFailure) {
    TempFolder temp;
    const QString out = QString::fromStdString((temp.path() / "bad.png").string());
    for (const QStringList &args :
         {QStringList{"--data", sample()}, QStringList{"--data", "/nonexistent/tavi", "--out", out},
          QStringList{"--data", sample(), "--out", out, "--size", "12x"},
          QStringList{"--data", sample(), "--out", out, "--view", "1,2"},
          QStringList{"--data", sample(), "--out", out, "--fill", "2"},
          QStringList{"--data", sample(), "--out", out, "--sites", "yes"},
          QStringList{"--data", sample(), "--out", out, "--repeat", "0"},
          QStringList{"--data", sample(), "--out", out, "--bogus"}}) {
        const RunResult r = render(args);
        EXPECT_NE(r.code, 0) << args.join(' ').toStdString();
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("tavi-render: ", 0), 0u) << r.err;
    }
}

TEST(RenderArguments, TimingPrintsTheMedian) {
    TempFolder temp;
    const RunResult r = render({"--data", sample(), "--out",
                                QString::fromStdString((temp.path() / "time.png").string()),
                                "--time", "--repeat", "3", "--size", "300x200"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("redraw ms: ", 0), 0u) << r.out;
}

TEST(RenderArguments, AnUnwritableOutputFails) {
    const RunResult r =
        render({"--data", sample(), "--out", "/nonexistent/dir/x.png", "--size", "100x100"});
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
}

} // namespace
