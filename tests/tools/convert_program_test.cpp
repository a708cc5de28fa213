// tavi-convert as its users run it: the sample city out and back drawing the same
// picture, a new drawing added to a project, and one-line errors.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QThread>

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "convert_test_support.h"
#include "project/project_file.h"
#include "support/image_compare.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace convert_test;
using testing_support::RunResult;
using testing_support::TempFolder;

const fs::path kSample = fs::path(TAVI_BUILD_DIR) / "share" / "tavi" / "data";

QString q(const fs::path &p) {
    return QString::fromStdString(p.string());
}

RunResult convert(const QStringList &args) {
    return testing_support::run_program("tavi-convert", args);
}

std::string read_file(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> layer_names(const fs::path &path) {
    GDALAllRegister();
    std::vector<std::string> names;
    GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
    for (int i = 0; ds && i < GDALDatasetGetLayerCount(ds); ++i)
        names.push_back(OGR_L_GetName(GDALDatasetGetLayer(ds, i)));
    if (ds)
        GDALClose(ds);
    return names;
}

QImage render(const fs::path &data, const fs::path &png, const QStringList &extra) {
    const RunResult r = testing_support::run_program(
        "tavi-render", QStringList{"--data", q(data), "--out", q(png)} + extra);
    EXPECT_EQ(r.code, 0) << r.err;
    return QImage(q(png));
}

TEST(ConvertProgram, SampleCityToGeoPackageAndBackDrawsTheSamePicture) {
    TempFolder temp;
    const fs::path copy = temp.path() / "copy";
    fs::copy(kSample, copy, fs::copy_options::recursive);
    const fs::path gpkg = temp.path() / "city.gpkg";
    RunResult r = convert({"--data", q(kSample), "--to", q(gpkg)});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> layers = layer_names(gpkg);
    ASSERT_EQ(layers.size(), 9u);
    for (const std::string &name : layers) {
        for (const char *ext : {".drw", ".zix", ".dbf"})
            fs::remove(copy / (name + ext));
        r = convert({"--from", q(gpkg), "--layer", QString::fromStdString(name), "--to",
                     q(copy / (name + ".drw")), "--name-field", "group", "--ref-field",
                     "reference"});
        ASSERT_EQ(r.code, 0) << name << ": " << r.err;
    }
    // What hidden objects widened is narrower now: an annotation's group alone may
    // shrink to the light-grey dot of a tiny group, a handful of pixels in all.
    for (const QStringList &view :
         {QStringList{},
          QStringList{"--view", "49590000,36960000,60000", "--fill", "1", "--size", "900x600"}}) {
        const QImage before = render(kSample, temp.path() / "before.png", view);
        const QImage after = render(copy, temp.path() / "after.png", view);
        ASSERT_FALSE(before.isNull());
        EXPECT_TRUE(testing_support::images_match(after, before, testing_support::kChannelTolerance,
                                                  testing_support::allowed_differences(before)))
            << view.join(' ').toStdString();
        EXPECT_LT(testing_support::differing_pixels(after, before, 0), 20)
            << view.join(' ').toStdString();
    }
}

// One trench, in the national grid.
constexpr const char *kSurvey = R"({"type": "FeatureCollection", "crs": {"type": "name",
    "properties": {"name": "urn:ogc:def:crs:EPSG::27700"}}, "features": [
    {"type": "Feature", "properties": {"name": "TRENCH"}, "geometry":
     {"type": "Polygon", "coordinates": [[[496000, 370000], [496050, 370000],
      [496050, 370020], [496000, 370000]]]}}]})";

TEST(ConvertProgram, AddedDrawingIsListedOnceAndTheRestOfTheProjectKept) {
    TempFolder temp;
    const fs::path shp = temp.path() / "survey.geojson";
    std::ofstream(shp) << kSurvey;
    // A hand-edited project: its own line ends, no line end after the last name.
    const std::string project = "background.zwi\nroman.drw, Villa.DRW";
    write_project(temp.path(), project);
    const QStringList args{"--from", q(shp), "--to", q(temp.path() / "survey.drw"), "--add"};
    RunResult r = convert(args);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(read_file(temp.path() / "tavi.zpj"), project + "\nsurvey.drw\n");
    r = convert(args); // converted again: already listed
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(read_file(temp.path() / "tavi.zpj"), project + "\nsurvey.drw\n");
    EXPECT_NE(r.out.find("already lists"), std::string::npos) << r.out;
}

// A drawing name holding a comma is listed quoted, and the project reads it back whole;
// a name that no line of the project can give back is refused before anything is
// written.
TEST(ConvertProgram, AnAddedDrawingIsListedSoThatTheProjectReadsItBack) {
    TempFolder temp;
    const fs::path shp = temp.path() / "survey.geojson";
    std::ofstream(shp) << kSurvey;
    write_project(temp.path(), "roman.drw\n");
    struct Case {
        std::string name;
        const char *refused; // why, or nothing when listed
    } cases[] = {
        {"we,ird.drw", nullptr},
        {"we\"ird.drw", "holds a quote"},
        {"we\\ird.drw", "holds a backslash"},
        {"line\nbreak.drw", "holds a line break"},
        {" blank.drw", "begins or ends with a blank"},
    };
    std::vector<std::string> listed = {temp.folder() + "roman.drw"};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = read_file(temp.path() / "tavi.zpj");
        const RunResult r = convert({"--from", q(shp), "--to", q(temp.path() / c.name), "--add"});
        if (c.refused == nullptr) {
            EXPECT_EQ(r.code, 0) << r.err;
            listed.push_back(temp.folder() + c.name);
        } else {
            EXPECT_EQ(r.code, 2);
            EXPECT_NE(r.err.find(c.refused), std::string::npos) << r.err;
            EXPECT_FALSE(fs::exists(temp.path() / c.name));
            EXPECT_EQ(read_file(temp.path() / "tavi.zpj"), before);
        }
        std::vector<std::string> read;
        for (const project::ProjectItem &item : project::read_project(temp.folder() + "tavi.zpj"))
            read.push_back(item.path);
        EXPECT_EQ(read, listed);
    }
}

// Ended by SIGINT or SIGTERM part way, tavi-convert removes its staging folder (here
// while it waits for a pipe's reader); one left by a run that was killed outright goes at
// the next run in its folder, while those of live processes and of other hosts stay.
TEST(ConvertProgram, StagingFoldersGoWithTheRunThatMadeThem) {
    TempFolder temp;
    const fs::path staging_place = temp.path() / "tmp";
    fs::create_directory(staging_place);
    const auto staging_folders = [](const fs::path &dir) {
        std::vector<std::string> names;
        for (const fs::directory_entry &e : fs::directory_iterator(dir))
            if (e.path().filename().string().rfind(".tavi-convert.", 0) == 0)
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    for (const int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        const fs::path pipe = temp.path() / "city.geojson";
        fs::remove(pipe);
        ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", q(staging_place));
        p.setProcessEnvironment(env);
        p.start(q(fs::path(TAVI_BUILD_DIR) / "bin" / "tavi-convert"),
                {"--data", q(kSample), "--to", q(pipe)});
        ASSERT_TRUE(p.waitForStarted());
        for (int waited = 0; staging_folders(staging_place).empty() && waited < 30000; waited += 20)
            QThread::msleep(20);
        ASSERT_EQ(staging_folders(staging_place).size(), 1u);
        QThread::msleep(300);
        ::kill(static_cast<pid_t>(p.processId()), sig);
        if (!p.waitForFinished(20000)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "still running after the signal";
        }
        EXPECT_EQ(p.exitStatus(), QProcess::CrashExit);
        EXPECT_EQ(staging_folders(staging_place), std::vector<std::string>{});
    }

    // A process that has gone, for the folder one killed outright would leave.
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    const fs::path out = temp.path() / "out";
    const std::string ours = std::string(".tavi-convert.") + host + ".";
    const std::vector<std::string> left = {
        ours + std::to_string(gone) + ".a1b2c3",                       // killed outright: goes
        ours + std::to_string(::getpid()) + ".d4e5f6",                 // alive: stays
        ".tavi-convert.elsewhere." + std::to_string(gone) + ".g7h8i9", // another host's
    };
    for (const std::string &name : left) {
        fs::create_directories(out / name);
        std::ofstream(out / name / "city.gpkg") << "partial";
    }
    const RunResult r = convert({"--data", q(kSample), "--to", q(out / "city.gpkg")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(staging_folders(out), (std::vector<std::string>{left[2], left[1]}));
}

// A disc that fills up part way is named as such, whatever the driver's own words were
// (an SQLite statement for a GeoPackage, or an error about a table whose creation found
// the disc full), and leaves nothing behind. Needs a small file system of its own, which
// only a user allowed to mount gets.
TEST(ConvertProgram, ADiscThatFillsUpIsNamedAsSuch) {
    TempFolder temp;
    const fs::path tiny = temp.path() / "tiny";
    fs::create_directories(tiny);
    if (::mount("tavi-test", tiny.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    for (const char *name : {"city.gpkg", "city.geojson"}) {
        const RunResult r = convert({"--data", q(kSample), "--to", q(tiny / name)});
        EXPECT_EQ(r.code, 2) << name;
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
        EXPECT_TRUE(fs::is_empty(tiny)) << name;
    }
    ::umount(tiny.c_str());
}

TEST(ConvertProgram, ErrorsAreOneLineAndExitCodeTwo) {
    TempFolder temp;
    const fs::path mixed = temp.path() / "mixed.geojson";
    std::ofstream(mixed) << R"({"type": "FeatureCollection", "crs": {"type": "name",
        "properties": {"name": "urn:ogc:def:crs:EPSG::27700"}}, "features": [
        {"type": "Feature", "properties": {}, "geometry": {"type": "Point",
         "coordinates": [496000, 370000]}},
        {"type": "Feature", "properties": {}, "geometry": {"type": "GeometryCollection",
         "geometries": [{"type": "Point", "coordinates": [496000, 370000]}]}}]})";
    const QString drw = q(temp.path() / "x.drw"), gpkg = q(temp.path() / "x.gpkg");
    struct Case {
        QStringList args;
        const char *message;
    } cases[] = {
        {{}, "either --data"},
        {{"--data", q(kSample), "--from", q(mixed), "--to", gpkg}, "either --data"},
        {{"--data", q(kSample)}, "--to is required"},
        {{"--data", q(kSample), "--to", gpkg, "--bogus"}, "bogus"},
        {{"--data", q(kSample), "--to", gpkg, "--sites", "2"}, "--sites wants 0 or 1"},
        {{"--data", q(kSample), "--to", gpkg, "--layer", "x"}, "--layer belongs with --from"},
        {{"--data", q(temp.path() / "none"), "--to", gpkg}, "cannot read the project"},
        {{"--data", q(kSample), "--to", q(temp.path() / "x.xyz")}, "no OGR driver"},
        {{"--from", q(mixed), "--layer", "roads", "--to", drw}, "no layer 'roads'"},
        {{"--from", q(mixed), "--to", drw, "--colour", "300"}, "--colour wants"},
        {{"--from", q(mixed), "--to", q(temp.path() / "x.png")}, "NAME.drw"},
        // Converted but for what a drawing cannot hold: written, and still an error.
        {{"--from", q(mixed), "--to", drw}, "1 features left out"},
    };
    for (const Case &c : cases) {
        const RunResult r = convert(c.args);
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(r.code, 2) << what;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << what << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("tavi-convert: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << what << "\n" << r.err;
    }
    EXPECT_EQ(read_drawing_file(temp.path() / "x.drw").objects.size(), 1u);
    EXPECT_FALSE(fs::exists(temp.path() / "x.gpkg"));
}

TEST(ConvertProgram, HelpAndVersion) {
    RunResult r = convert({"--help"});
    ASSERT_EQ(r.code, 0);
    for (const char *word :
         {"--data", "--to", "--sites", "--from", "--layer", "--name-field", "--ref-field",
          "--colour", "--add", "--version", "holes", "EPSG:27700", "no symbol objects"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    r = convert({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "tavi-convert 1.0.0\n");
}

} // namespace
