// tavi-search: the viewer's interrogations without a window. It loads a project as the
// viewer does, plots its site list as the control panel's plot switch does, runs one of
// the viewer's searches and writes what it found as the results window exports it.
//
//   tavi-search --data DIR [--buffer METRES] (--point E,N | --polygon E,N;E,N;...
//               | --polyline E,N;E,N;... | --planning E,N) --out FILE
//
// E,N are full national-grid coordinates in metres. The file's name picks its form:
// ".xls" at the end an Excel 97 workbook, ".htm" anywhere an HTML table, otherwise XML.
// Exit codes: 0 done, 1 the file could not be written, 2 bad arguments or data.
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QImage>
#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "interrogation/planning_search.h"
#include "interrogation/site_search.h"
#include "platform/base/files.h"
#include "platform/exports/export_table.h"
#include "platform/exports/grid_table.h"
#include "project/app_state.h"
#include "project/load_data.h"
#include "search_input.h"
#include "sites/point_plot.h"
#include "sites/site_lookups.h"
#include "view/transform.h"
#include "zent32i_binding.h"

namespace {

constexpr int kBadInput = 2;
constexpr int kNotWritten = 1;

[[noreturn]] void fail(const std::string &message, int code = kBadInput) {
    std::fprintf(stderr, "tavi-search: %s\n", message.c_str());
    std::exit(code);
}

interrogation::Shape shape_of(const std::string &option, const QString &text, std::size_t least) {
    try {
        return search_input::parse_shape(option, text.toStdString(), least);
    } catch (const search_input::BadInput &e) {
        fail(e.what());
    }
}

exporting::Table planning_table(const interrogation::PlanningHits &hits) {
    exporting::Table t;
    t.headers = {"Feature Class", "Feature Name"};
    for (const interrogation::PlanningHit &h : hits.hits)
        t.rows.push_back({h.feature_class, h.feature_name});
    return t;
}

} // namespace

int main(int argc, char **argv) {
    // The drawings are read through the same drawing code as the viewer's, which wants a
    // font database even though nothing is shown. The toolkit's chatter would drown the
    // one-line errors.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (std::getenv("TAVI_VERBOSE") == nullptr)
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "tavi-search: %s\n", msg.toLocal8Bit().constData());
        });
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName("tavi-search");
    QCoreApplication::setApplicationVersion(TAVI_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Searches a TAVI project's site list (by point, polygon or polyline) or its drawn "
        "features (planning search) as the viewer does, and writes the rows found to FILE: "
        "an Excel 97 workbook when FILE ends in .xls, an HTML table when it contains .htm, "
        "otherwise XML. Coordinates E,N are national-grid metres. Prints the number of rows.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption data({"d", "data"}, "The project's data folder (holding tavi.zpj).",
                                  "DIR");
    const QCommandLineOption buffer(
        {"b", "buffer"},
        "Search buffer in metres, 1 to 100 (default 100): a diameter, so the point search finds "
        "sites within half of it and the polyline search sites within half of it of the line.",
        "METRES", "100");
    const QCommandLineOption point("point", "Sites within half the buffer of the point E,N.",
                                   "E,N");
    const QCommandLineOption polygon(
        "polygon", "Sites inside the polygon or on its edges (three vertices or more).",
        "E,N;E,N;...");
    const QCommandLineOption polyline(
        "polyline", "Sites within half the buffer of the polyline (two vertices or more).",
        "E,N;E,N;...");
    const QCommandLineOption planning(
        "planning", "Drawn features of the active drawings whose polygons hold the point E,N.",
        "E,N");
    const QCommandLineOption out({"o", "out"}, "The file to write.", "FILE");
    parser.addOptions({data, buffer, point, polygon, polyline, planning, out});
    if (!parser.parse(QCoreApplication::arguments()))
        fail(parser.errorText().toStdString());
    if (parser.isSet("help")) {
        // The parser names the program by the path it was started with; users know it by name.
        std::fputs(qPrintable(parser.helpText().replace(QCoreApplication::arguments().first(),
                                                        QStringLiteral("tavi-search"))),
                   stdout);
        return 0;
    }
    if (parser.isSet("version"))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        fail("unexpected argument '" + parser.positionalArguments().front().toStdString() +
             "' (see --help)");

    int searches = 0;
    for (const auto *o : {&point, &polygon, &polyline, &planning})
        searches += parser.isSet(*o) ? 1 : 0;
    if (!parser.isSet(data) || !parser.isSet(out) || searches != 1)
        fail("give --data DIR, --out FILE and one of --point, --polygon, --polyline or "
             "--planning (see --help)");
    const std::string buffer_text = parser.value(buffer).toStdString();
    double metres = 0.0;
    try {
        metres = search_input::parse_buffer(buffer_text);
    } catch (const search_input::BadInput &e) {
        fail(e.what());
    }
    const std::string out_file = parser.value(out).toStdString();
    if (out_file.empty())
        fail("--out names no file");

    // The shape first: a mistyped coordinate should not wait for the project to load.
    interrogation::Shape shape;
    if (parser.isSet(polygon))
        shape = shape_of("polygon", parser.value(polygon), 3);
    else if (parser.isSet(polyline))
        shape = shape_of("polyline", parser.value(polyline), 2);
    else
        shape = shape_of(parser.isSet(point) ? "point" : "planning",
                         parser.value(parser.isSet(point) ? point : planning), 1);
    if ((parser.isSet(point) || parser.isSet(planning)) && shape.size() != 1)
        fail("--" + std::string(parser.isSet(point) ? "point" : "planning") +
             " takes one point E,N");

    const std::string folder = files::resolve(parser.value(data).toStdString()).string() + "/";
    if (!files::exists(folder + project::kProjectFileName))
        fail("cannot read the project " + folder + project::kProjectFileName);

    // The project as the viewer loads it: every drawing registered and read once, into a
    // picture of a view that shows none of them (nothing here is ever looked at).
    zt::ZT_Ini_Zent32dll();
    project::AppState state;
    state.settings.Data_Folder = folder;
    state.settings.Search_Buffer = metres * state::kUnitsPerMetre;
    QImage image(16, 16, QImage::Format_RGB32);
    gdi::DeviceContext dc(image);
    state.view.View_X_Min = -1e6;
    state.view.View_Y_Min = -1e6;
    state.view.View_Height_Units = 100;
    view::Prepare_View(state.view, dc, image.width(), image.height());
    state::UiHooks quiet;
    drawing::DisplayContext ctx{state.view,
                                state.drawings,
                                state.display,
                                quiet,
                                dc,
                                folder,
                                QCoreApplication::applicationDirPath().toStdString(),
                                1,
                                nullptr};
    if (!project::Load_Project_Files(ctx, folder, {}))
        fail("cannot read the project " + folder + project::kProjectFileName);

    exporting::Table table;
    std::vector<std::string> warnings;
    if (parser.isSet(planning)) {
        table = planning_table(
            interrogation::Planning_Search_Object(state, shape[0].x, shape[0].y, quiet));
    } else {
        const sites::LinkedData linked = sites::linked_data(state.drawings);
        if (!sites::database_present(state.drawings, quiet))
            fail("the project names no site database that is there: '" + linked.path + "'");
        interrogation::SiteRows rows;
        try {
            sites::Plot_Excavation_Points(state.points, linked.path, sites::kSiteTable, state.view,
                                          nullptr, 0, quiet);
            if (parser.isSet(point))
                rows =
                    interrogation::Point_Data_Search(state, shape[0].x, shape[0].y, nullptr, quiet)
                        .value_or(interrogation::SiteRows{});
            else if (parser.isSet(polygon))
                rows = interrogation::polygon_search(state, shape, nullptr, quiet);
            else
                rows = interrogation::polyline_search(state, shape, nullptr, quiet);
        } catch (const dao::Error &e) {
            fail(e.what());
        }
        warnings = rows.unreadable;
        table = grid::to_table(
            interrogation::result_sheet(rows, interrogation::export_headers(state.points, rows)));
    }

    for (const std::string &w : warnings)
        std::fprintf(stderr, "tavi-search: %s\n", w.c_str());
    const exporting::Outcome written =
        exporting::write_table(out_file, table, exporting::format_for_name(out_file));
    if (!written)
        fail("cannot write " + out_file + ": " + written.error, kNotWritten);
    std::printf("%zu rows found\n", table.rows.size());
    return 0;
}
