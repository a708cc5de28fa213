// Renders a project's map into a PNG file, headless, with the map window's own redraw.
//
//   tavi-render --data DIR --out FILE.png [--size WxH] [--view XMIN,YMIN,HEIGHT]
//               [--fill 0|1] [--grid 0|1] [--scale-bar 0|1] [--background 0|1]
//               [--sites 0|1] [--time] [--repeat N] | --help | --version
//
// Settings are the viewer's own after start-up: filling off, grid every 1 km labelled
// in metres, the maximum view unless --view gives one.
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QImage>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "drawing/map_fonts.h"
#include "platform/base/files.h"
#include "project/load_data.h"
#include "raster/raster_loading.h"
#include "raster/raster_painting.h"
#include "sites/point_plot.h"
#include "sites/site_lookups.h"
#include "view/redraw.h"
#include "zent32i_binding.h"

namespace {

struct Options {
    std::string data, out;
    int width = 1200, height = 800;
    std::optional<std::array<double, 3>> view;
    bool fill = false, grid = true, scale_bar = true, background = true, time = false;
    bool sites = false;
    int repeat = 1;
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
        if (v[2] <= 0 || v[2] > 2e9 || std::abs(v[0]) > 2e9 || std::abs(v[1]) > 2e9)
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
    if (o.data.empty() || o.out.empty())
        fail("--data DIR and --out FILE.png are needed (see --help)");
    return o;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication::setApplicationName(QStringLiteral("tavi-render"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVI_VERSION));
    const Options opt = parse(argc, argv);
    const std::string data = files::resolve(opt.data).string();
    if (!files::exists(data + "/tavi.zpj"))
        fail("cannot read the project " + data + "/tavi.zpj");

    // Fonts come from the platform layer even without a screen. The toolkit's own
    // chatter (no runtime folder and the like) would drown the one-line errors.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (std::getenv("TAVI_VERBOSE") == nullptr)
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "tavi-render: %s\n", msg.toLocal8Bit().constData());
        });
    QGuiApplication app(argc, argv);

    QImage image(opt.width, opt.height, QImage::Format_RGB32);
    image.fill(gdi::to_qrgb(view::kMapBackground));
    gdi::DeviceContext dc(image);

    state::ViewState view;
    state::DrawingTable drawings;
    drawing::DisplayState state;
    state.Polygon_Filling = opt.fill;
    zt::ZT_Ini_Zent32dll();
    zt::ZT_Init_Zent_Palette(state.Drawing_Palette.data());
    state::FurnitureSettings furniture;
    furniture.Grid_Spacing = 100000;
    furniture.Grid_Precision = 3;
    furniture.Grid_On = opt.grid ? 1 : 0;
    furniture.Scale_Bar_On = opt.scale_bar ? 1 : 0;
    state::FurnitureBoxes boxes;
    state::UiHooks ui; // quiet
    drawing::MapFonts fonts;
    drawing::create_map_fonts(dc, fonts);

    drawing::DisplayContext ctx{view,
                                drawings,
                                state,
                                ui,
                                dc,
                                data + "/",
                                QCoreApplication::applicationDirPath().toStdString(),
                                1,
                                &fonts.Initial_Font};
    state::RasterTable rasters;
    raster::RasterUi raster_ui{ui, {}, [](int) {}, 1};
    state::PointStore points;
    view::RedrawContext rc{ctx,
                           furniture,
                           boxes,
                           &points,
                           [&] { raster::Paint_Rasters(rasters, view, raster_ui); },
                           opt.width,
                           opt.height};

    // As the viewer starts: the maximum view, then the project registered and drawn.
    view.View_X_Min = 49'200'000;
    view.View_Y_Min = 36'552'000;
    view.View_Height_Units = 878'800;
    view::Redraw_Everything(rc);
    if (!project::Load_Project_Files(ctx, data, [&](const std::string &path) {
            raster::Load_A_Lead_Raster(rasters, path, view, raster_ui);
        }))
        fail("cannot read the project " + data + "/tavi.zpj");
    raster::Set_Background_Display(rasters, opt.background);
    if (opt.sites) {
        // The site list of the project's site database, plotted as the control panel's
        // plot switch plots it, in the panel's starting colour.
        const sites::LinkedData linked = sites::linked_data(drawings);
        if (!sites::database_present(drawings, ui))
            fail("the project names no site database that is there: '" + linked.path + "'");
        try {
            sites::Plot_Excavation_Points(points, linked.path, sites::kSiteTable, view, nullptr, 0,
                                          ui);
        } catch (const dao::Error &e) {
            fail(e.what());
        }
    }
    if (opt.view) {
        view.View_X_Min = (*opt.view)[0];
        view.View_Y_Min = (*opt.view)[1];
        view.View_Height_Units = static_cast<int32_t>((*opt.view)[2]);
    }

    std::vector<double> ms;
    for (int r = 0; r < (opt.time ? opt.repeat : 1); ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        view::Redraw_Everything(rc);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    if (opt.time) {
        std::sort(ms.begin(), ms.end());
        const double median =
            ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
        std::printf("redraw ms: %.2f\n", median);
    }
    drawing::release_map_fonts(dc, fonts);
    if (!image.save(QString::fromStdString(opt.out), "PNG"))
        fail("cannot write " + opt.out);
    return 0;
}
