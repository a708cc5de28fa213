// Renders a project's map into a PNG file, headless, with the map window's own redraw.
//
//   tavi-render --data DIR --out FILE.png [--size WxH] [--view XMIN,YMIN,HEIGHT]
//               [--fill 0|1] [--grid 0|1] [--scale-bar 0|1] [--background 0|1]
//               [--sites 0|1] [--time] [--repeat N] | --help | --version
//
// Settings are the viewer's own after start-up: filling off, grid every 1 km labelled
// in metres, the maximum view unless --view gives one.
#include <QBuffer>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QImage>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/files.h"
#include "platform/base/outputs.h"
#include "platform/db/dao.h"
#include "project/load_data.h"
#include "project/session.h"
#include "raster/raster_painting.h"
#include "sites/site_lookups.h"

namespace {

struct Options {
    std::string data, out;
    int width = 1200, height = 800;
    std::optional<std::array<double, 3>> view;
    bool fill = false, grid = true, scale_bar = true, background = true, time = false;
    bool sites = false;
    int repeat = 1;
    int ratio = 1; // device pixels per pixel, as on a HiDPI screen
};

[[noreturn]] void fail(const std::string &message) {
    std::fprintf(stderr, "tavi-render: %s\n", message.c_str());
    std::exit(2);
}

bool parse_int(const std::string &s, int &v, int lo, int hi) {
    char *end = nullptr;
    const long n = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || n < lo || n > hi)
        return false;
    v = static_cast<int>(n);
    return true;
}

bool parse_switch(const std::string &s, bool &v) {
    int n;
    if (!parse_int(s, n, 0, 1))
        return false;
    v = n == 1;
    return true;
}

Options parse(int argc, char **argv) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Draws a TAVI project's map into a PNG file without a window, through the viewer's "
        "own redraw."));
    parser.addHelpOption();
    parser.addVersionOption();
    const auto option = [&parser](const char *name, const char *what, const char *value = "") {
        QCommandLineOption o(QString::fromLatin1(name), QString::fromLatin1(what),
                             QString::fromLatin1(value));
        parser.addOption(o);
        return o;
    };
    const auto data = option("data", "The data folder holding the project tavi.zpj.", "DIR");
    const auto out = option("out", "The PNG file to write.", "FILE");
    const auto size = option("size", "Picture size in pixels (default 1200x800).", "WxH");
    const auto view =
        option("view", "South-west corner and height in world units.", "XMIN,YMIN,HEIGHT");
    const auto fill = option("fill", "Draw polygons filled (default 0).", "0|1");
    const auto grid = option("grid", "Draw the grid (default 1).", "0|1");
    const auto bar = option("scale-bar", "Draw the scale bar (default 1).", "0|1");
    const auto background = option("background", "Paint the background map (default 1).", "0|1");
    const auto sites = option("sites", "Plot the project's site list (default 0).", "0|1");
    const auto time = option("time", "Time the redraw and print the median.");
    const auto repeat = option("repeat", "With --time, redraw N times.", "N");
    const auto ratio = option("ratio",
                              "Draw at N device pixels per pixel, as a HiDPI screen shows the "
                              "map; the picture is N times the size each way (default 1).",
                              "N");

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments))
        fail(parser.errorText().toStdString());
    if (parser.isSet(QStringLiteral("help"))) {
        // Asked before any application object exists, the parser cannot name the program.
        std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                        QStringLiteral("tavi-render"))),
                   stdout);
        std::exit(0);
    }
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        fail("unknown argument '" + parser.positionalArguments().front().toStdString() + "'");

    Options o;
    const auto text = [&parser](const QCommandLineOption &opt) {
        return parser.value(opt).toStdString();
    };
    o.data = text(data);
    o.out = text(out);
    if (parser.isSet(size)) {
        const std::string s = text(size);
        const auto x = s.find('x');
        if (x == std::string::npos || !parse_int(s.substr(0, x), o.width, 16, 20000) ||
            !parse_int(s.substr(x + 1), o.height, 16, 20000))
            fail("--size wants WxH, each 16 to 20000 pixels, not '" + s + "'");
    }
    if (parser.isSet(view)) {
        const std::string s = text(view);
        std::array<double, 3> v{};
        char *p = const_cast<char *>(s.c_str());
        for (int k = 0; k < 3; ++k) {
            char *end = nullptr;
            v[k] = std::strtod(p, &end);
            if (end == p || (k < 2 && *end != ',') || (k == 2 && *end != '\0'))
                fail("--view wants XMIN,YMIN,HEIGHT in world units, not '" + s + "'");
            p = end + 1;
        }
        // Written so that a number that is none (nan) fails as infinity does.
        if (!(v[2] > 0 && v[2] <= 2e9 && std::abs(v[0]) <= 2e9 && std::abs(v[1]) <= 2e9))
            fail("--view is outside the national grid: '" + s + "'");
        o.view = v;
    }
    const auto flag = [&](const QCommandLineOption &opt, const char *name, bool &v) {
        if (parser.isSet(opt) && !parse_switch(text(opt), v))
            fail(std::string("--") + name + " wants 0 or 1");
    };
    flag(fill, "fill", o.fill);
    flag(grid, "grid", o.grid);
    flag(bar, "scale-bar", o.scale_bar);
    flag(background, "background", o.background);
    flag(sites, "sites", o.sites);
    o.time = parser.isSet(time);
    if (parser.isSet(repeat) && !parse_int(text(repeat), o.repeat, 1, 100000))
        fail("--repeat wants a count of 1 or more");
    if (parser.isSet(ratio) && !parse_int(text(ratio), o.ratio, 1, 4))
        fail("--ratio wants 1, 2, 3 or 4");
    if (o.data.empty() || o.out.empty())
        fail("--data DIR and --out FILE.png are needed (see --help)");
    return o;
}

// Fonts come from the platform layer even without a screen. The toolkit's own chatter
// (no runtime folder and the like) would drown the one-line errors.
void quiet_toolkit() {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (std::getenv("TAVI_VERBOSE") == nullptr)
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "tavi-render: %s\n", msg.toLocal8Bit().constData());
        });
}

// The project opened as the viewer opens it, with the switches of the command line.
void open_project(project::Session &session, const Options &opt, const std::string &data) {
    if (!session.open(data))
        fail("cannot read the project " + project::project_file_of(data + "/"));
    project::AppState &state = session.state();
    state.display.Polygon_Filling = opt.fill;
    state.furniture.Grid_On = opt.grid ? 1 : 0;
    state.furniture.Scale_Bar_On = opt.scale_bar ? 1 : 0;
    raster::Set_Background_Display(state.rasters, opt.background);
    if (opt.sites) {
        // The site list of the project's site database, plotted as the control panel's
        // plot switch plots it, in the panel's starting colour.
        try {
            if (!session.plot_sites())
                fail("the project names no site database that is there: '" +
                     dao::shown_location(sites::linked_data(state.drawings).path) + "'");
        } catch (const dao::Error &e) {
            fail(e.what());
        }
    }
    if (opt.view) {
        state.view.View_X_Min = (*opt.view)[0];
        state.view.View_Y_Min = (*opt.view)[1];
        state.view.View_Height_Units = static_cast<int32_t>((*opt.view)[2]);
    }
}

// The map redrawn once, or opt.repeat times with the median time printed.
void redraw(project::Session &session, const Options &opt) {
    std::vector<double> ms;
    for (int r = 0; r < (opt.time ? opt.repeat : 1); ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        session.redraw();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    if (opt.time) {
        std::sort(ms.begin(), ms.end());
        const double median =
            ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
        // Standard output holds the picture itself when it went there.
        std::fprintf(opt.out == outputs::kStandardOutput ? stderr : stdout, "redraw ms: %.2f\n",
                     median);
    }
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication::setApplicationName(QStringLiteral("tavi-render"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVI_VERSION));
    const Options opt = parse(argc, argv);
    const std::string data = files::resolve(opt.data).string();
    if (!files::exists(project::project_file_of(data + "/")))
        fail("cannot read the project " + project::project_file_of(data + "/"));
    quiet_toolkit();
    QGuiApplication app(argc, argv);

    project::Session session(opt.width, opt.height, project::quiet_hooks(),
                             QCoreApplication::applicationDirPath().toStdString() + "/");
    if (opt.ratio != 1)
        session.resize_picture(opt.width, opt.height, opt.ratio);
    if (session.picture().isNull())
        fail("there is not enough memory for a " + std::to_string(opt.width * opt.ratio) + " × " +
             std::to_string(opt.height * opt.ratio) + " picture");
    open_project(session, opt, data);
    redraw(session, opt);
    // Encoded first and written whole through the shared writer, so that a file is
    // replaced only once complete and a link, a pipe, a device or "-" is written as every
    // tool writes it.
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    if (!session.picture().save(&png, "PNG"))
        fail("cannot write " + opt.out + ": the picture cannot be encoded");
    if (const int error =
            outputs::write(opt.out, std::string_view(png.data().constData(),
                                                     static_cast<std::size_t>(png.data().size()))))
        fail("cannot write " + opt.out + ": " + outputs::reason(error));
    return 0;
}
