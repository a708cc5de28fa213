// The headless renderer end to end: the sample city compared with control images, and
// its handling of bad arguments. Every run writes into a temporary folder of its own; a
// failed comparison keeps the actual image and a difference image in a folder it names.
// TAVI_REBASELINE=1 writes new control images on purpose.
#include <gtest/gtest.h>

#include <QProcess>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/control_image.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

const fs::path kBuild = TAVI_BUILD_DIR;

using testing_support::run_program;
using testing_support::RunResult;
using testing_support::TempFolder;

RunResult render(const QStringList &args) {
    return run_program("tavi-render", args);
}

QString sample() {
    return QString::fromStdString((kBuild / "share" / "tavi" / "data").string());
}

void check_against_control(const std::string &name, const QStringList &extra) {
    TempFolder temp;
    const fs::path out = temp.path() / (name + ".png");
    QStringList args{"--data", sample(), "--out", QString::fromStdString(out.string())};
    args += extra;
    const RunResult r = render(args);
    ASSERT_EQ(r.code, 0) << r.err;
    testing_support::expect_control_image(out, name);
}

TEST(RenderControlImages, SampleCityAtTheMaximumView) {
    check_against_control("city_maximum_view", {});
}

// As a HiDPI screen shows it: twice the pixels each way, lines one device pixel wide,
// text and symbols drawn at the finer resolution, everything where it is at ratio 1.
TEST(RenderControlImages, SampleCityAtTheMaximumViewAtRatioTwo) {
    check_against_control("city_maximum_view_ratio2", {"--ratio", "2", "--size", "600x400"});
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
          QStringList{"--data", sample(), "--out", out, "--ratio", "1.5"},
          QStringList{"--data", sample(), "--out", out, "--bogus"}}) {
        const RunResult r = render(args);
        EXPECT_NE(r.code, 0) << args.join(' ').toStdString();
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("tavi-render: ", 0), 0u) << r.err;
    }
}

// A view that is no number is refused as an infinite one is, rather than drawn as garbage.
TEST(RenderArguments, AViewThatIsNoNumberIsRefused) {
    TempFolder temp;
    const QString out = QString::fromStdString((temp.path() / "nan.png").string());
    for (const char *view : {"0,0,nan", "nan,36960000,60000", "49590000,-nan,60000", "0,0,inf"}) {
        const RunResult r = render({"--data", sample(), "--out", out, "--view", view});
        EXPECT_EQ(r.code, 2) << view;
        EXPECT_EQ(r.err, "tavi-render: --view is outside the national grid: '" + std::string(view) +
                             "'\n");
        EXPECT_FALSE(fs::exists(out.toStdString()));
    }
}

// A picture too large for the memory the program may have says so.
TEST(RenderArguments, APictureTooLargeForTheMemorySaysSo) {
#ifdef TAVI_RENDER_UNCOMPARED
    GTEST_SKIP() << "the sanitizers' shadow memory does not fit under a limit of address space";
#endif
    TempFolder temp;
    const QString out = QString::fromStdString((temp.path() / "huge.png").string());
    // 20000 x 20000 pixels take 1.6 GB; the program is given a gigabyte of address space.
    QProcess p;
    p.setProgram("/bin/sh");
    p.setArguments({"-c", "ulimit -v 1000000 && exec \"$0\" \"$@\"",
                    QString::fromStdString((kBuild / "bin" / "tavi-render").string()), "--data",
                    sample(), "--out", out, "--size", "20000x20000"});
    p.start();
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_EQ(p.readAllStandardError().toStdString(),
              "tavi-render: there is not enough memory for a 20000 × 20000 picture\n");
    EXPECT_FALSE(fs::exists(out.toStdString()));
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
