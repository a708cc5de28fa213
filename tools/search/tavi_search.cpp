// tavi-search: the viewer's interrogations without a window. It loads a project as the
// viewer does, plots its site list as the control panel's plot switch does, runs one of
// the viewer's searches and writes what it found as the results window exports it, and
// the search report as the window's "Report..." button writes it.
//
//   tavi-search --data DIR [--buffer METRES] (--point E,N | --polygon E,N;E,N;...
//               | --polyline E,N;E,N;... | --planning E,N) [--out FILE [--format F]]
//               [--report FILE.pdf [--title TEXT]]
//   tavi-search --data DIR --around SHAPE --radius METRES [--out ...] [--report ...]
//
// E,N are full national-grid coordinates in metres. SHAPE is WKT in national-grid
// metres or a vector file's name (the enquiry: sites and drawn features within the
// radius). The file's name picks its form:
// ".xls" at the end an Excel 97 workbook, ".htm" anywhere an HTML table, otherwise XML;
// --format xls|html|xml says otherwise. FILE "-" is standard output (the row count then
// goes to standard error); a named pipe or a device is written in place.
// Exit codes: 0 done, 1 a file could not be written, 2 bad arguments or data.
#include <QCommandLineParser>
#include <QDateTime>
#include <QGuiApplication>
#include <QHashSeed>
#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "interrogation/enquiry.h"
#include "interrogation/enquiry_report.h"
#include "interrogation/planning_search.h"
#include "interrogation/search_report.h"
#include "interrogation/site_search.h"
#include "platform/base/files.h"
#include "platform/base/outputs.h"
#include "platform/db/dao.h"
#include "platform/exports/export_table.h"
#include "platform/exports/grid_table.h"
#include "project/load_data.h"
#include "project/session.h"
#include "search_input.h"
#include "sites/site_lookups.h"

namespace {

constexpr int kBadInput = 2;
constexpr int kNotWritten = 1;

[[noreturn]] void fail(const std::string &message, int code = kBadInput) {
    std::fprintf(stderr, "tavi-search: %s\n", message.c_str());
    std::exit(code);
}

enum class Search { Point, Polygon, Polyline, Planning, Around };

// What the command line asks for, checked before any project is loaded.
struct Request {
    std::string folder; // the data folder, ending with a separator
    std::string out;    // none: no export
    exporting::Format format = exporting::Format::Xml;
    std::string report; // none: no report
    std::string title = interrogation::kReportTitle;
    double metres = 0.0; // the buffer
    bool titled = false; // --title given
    Search search = Search::Point;
    interrogation::Shape shape;
    interrogation::Enquiry enquiry; // --around
};

interrogation::Shape shape_of(const std::string &option, const QString &text, std::size_t least) {
    try {
        return search_input::parse_shape(option, text.toStdString(), least);
    } catch (const search_input::BadInput &e) {
        fail(e.what());
    }
}

// The drawings are read through the same drawing code as the viewer's, which wants a
// font database even though nothing is shown. The toolkit's chatter would drown the
// one-line errors.
void quiet_toolkit() {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (std::getenv("TAVI_VERBOSE") == nullptr)
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "tavi-search: %s\n", msg.toLocal8Bit().constData());
        });
}

// Whether two paths on the command line name one file: the same path once links and
// dots are resolved, or, for files already there, the same file by another name.
bool same_file(const std::string &a, const std::string &b) {
    if (a == b)
        return true;
    if (a == outputs::kStandardOutput || b == outputs::kStandardOutput)
        return false;
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec) && !ec)
        return true;
    const auto ca = std::filesystem::weakly_canonical(std::filesystem::absolute(a, ec), ec);
    const auto cb = std::filesystem::weakly_canonical(std::filesystem::absolute(b, ec), ec);
    return !ec && ca == cb;
}

Request parse(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Searches a TAVI project's site list (by point, polygon or polyline) or its drawn "
        "features (planning search) as the viewer does, and writes the rows found to FILE: "
        "an Excel 97 workbook when FILE ends in .xls, an HTML table when it contains .htm, "
        "otherwise XML (--format says otherwise); and the search report (the search, a map of "
        "the searched area and the rows, on numbered pages) to a PDF file. FILE - is standard "
        "output; a named pipe or a device is written in place, a symbolic link through to its "
        "file. Coordinates E,N are national-grid metres. Prints the number of rows.");
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
    const QCommandLineOption out({"o", "out"},
                                 "The file to write the rows to; - for standard output.", "FILE");
    const QCommandLineOption format(
        "format", "xls, html or xml, whatever FILE's name says (standard output: xml).", "F");
    const QCommandLineOption report({"r", "report"}, "The PDF file to write the search report to.",
                                    "FILE.pdf");
    const QCommandLineOption title(
        "title", "The report's title (default \"" + QString(interrogation::kReportTitle) + "\").",
        "TEXT", interrogation::kReportTitle);
    const QCommandLineOption around(
        "around",
        "The enquiry: sites and drawn features within --radius of SHAPE, WKT in national-grid "
        "metres (POINT, LINESTRING, POLYGON, MULTIPOLYGON) or a vector file GDAL reads "
        "(GeoJSON, Shapefile, GeoPackage, KML, DXF), transformed to the national grid.",
        "SHAPE");
    const QCommandLineOption radius("radius",
                                    "The enquiry's radius in metres, 0 to 5000: sites inside a "
                                    "boundary or within this distance of the shape.",
                                    "METRES");
    parser.addOptions({data, buffer, point, polygon, polyline, planning, around, radius, out,
                       format, report, title});
    if (!parser.parse(arguments))
        fail(parser.errorText().toStdString());
    if (parser.isSet("help")) {
        // The parser names the program by the path it was started with; users know it by name.
        std::fputs(
            qPrintable(parser.helpText().replace(arguments.first(), QStringLiteral("tavi-search"))),
            stdout);
        std::exit(0);
    }
    if (parser.isSet("version"))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        fail("unexpected argument '" + parser.positionalArguments().front().toStdString() +
             "' (see --help)");

    int searches = 0;
    for (const auto *o : {&point, &polygon, &polyline, &planning})
        searches += parser.isSet(*o) ? 1 : 0;
    if (parser.isSet(around) && searches > 0)
        fail("--around is a search of its own: give it without --point, --polygon, --polyline "
             "or --planning");
    if (parser.isSet(around) && parser.isSet(buffer))
        fail("--around takes --radius, not --buffer");
    if (parser.isSet(radius) && !parser.isSet(around))
        fail("--radius is the enquiry's: give --around SHAPE too");
    if (parser.isSet(around) && !parser.isSet(radius))
        fail("--around needs --radius METRES (0 to 5000)");
    searches += parser.isSet(around) ? 1 : 0;
    if (!parser.isSet(data) || !(parser.isSet(out) || parser.isSet(report)) || searches != 1)
        fail("give --data DIR, --out FILE or --report FILE.pdf (or both), and one of --point, "
             "--polygon, --polyline, --planning or --around (see --help)");
    if (parser.isSet(title) && !parser.isSet(report))
        fail("--title is the report's: give --report FILE.pdf too");
    Request r;
    try {
        if (!parser.isSet(around))
            r.metres = search_input::parse_buffer(parser.value(buffer).toStdString());
    } catch (const search_input::BadInput &e) {
        fail(e.what());
    }
    r.out = parser.value(out).toStdString();
    if (parser.isSet(out) && r.out.empty())
        fail("--out names no file");
    r.format = exporting::format_for_name(r.out);
    if (parser.isSet(format)) {
        const QString f = parser.value(format).toLower();
        if (f == "xls")
            r.format = exporting::Format::Excel97;
        else if (f == "html" || f == "htm")
            r.format = exporting::Format::Html;
        else if (f == "xml")
            r.format = exporting::Format::Xml;
        else
            fail("--format wants xls, html or xml, not '" + parser.value(format).toStdString() +
                 "'");
    }
    r.report = parser.value(report).toStdString();
    if (parser.isSet(report) && r.report.empty())
        fail("--report names no file");
    if (r.out == outputs::kStandardOutput && r.report == outputs::kStandardOutput)
        fail("--out and --report cannot both be standard output");
    if (!r.out.empty() && !r.report.empty() && same_file(r.out, r.report))
        fail("--out and --report name the same file '" + r.report +
             "': the report would replace the rows");
    r.title = parser.value(title).toStdString();
    r.titled = parser.isSet(title);

    // The shape first: a mistyped coordinate should not wait for the project to load.
    if (parser.isSet(around)) {
        r.search = Search::Around;
        try {
            r.enquiry.radius_m = interrogation::enquiry_radius(parser.value(radius).toStdString());
            r.enquiry.shape =
                interrogation::shape_from_text_or_file(parser.value(around).toStdString());
        } catch (const interrogation::EnquiryError &e) {
            fail(std::string("--around: ") + e.what());
        }
    } else if (parser.isSet(polygon)) {
        r.search = Search::Polygon;
        r.shape = shape_of("polygon", parser.value(polygon), 3);
    } else if (parser.isSet(polyline)) {
        r.search = Search::Polyline;
        r.shape = shape_of("polyline", parser.value(polyline), 2);
    } else {
        r.search = parser.isSet(point) ? Search::Point : Search::Planning;
        const char *name = r.search == Search::Point ? "point" : "planning";
        r.shape = shape_of(name, parser.value(parser.isSet(point) ? point : planning), 1);
        if (r.shape.size() != 1)
            fail("--" + std::string(name) + " takes one point E,N");
    }
    r.folder = files::resolve(parser.value(data).toStdString()).string() + "/";
    if (!files::exists(project::project_file_of(r.folder)))
        fail("cannot read the project " + project::project_file_of(r.folder));
    return r;
}

// What a search found: the rows as the results window shows them, and what the report's
// map marks for each.
struct Found {
    grid::Sheet sheet;
    std::vector<interrogation::Shape> marks;
};

Found planning_found(project::Session &session, const Request &r) {
    project::AppState &state = session.state();
    const interrogation::PlanningHits hits =
        interrogation::Planning_Search_Object(state.drawings, state.settings, state.interaction,
                                              r.shape[0].x, r.shape[0].y, session.ui());
    return Found{interrogation::planning_sheet(hits), interrogation::feature_marks(hits)};
}

// The site list plotted as the viewer plots it; a project without one is refused.
void plot(project::Session &session) {
    const std::optional<sites::PlotResult> plotted = session.plot_sites();
    if (!plotted)
        fail("the project names no site database that is there: '" +
             dao::shown_location(sites::linked_data(session.state().drawings).path) + "'");
    // As the viewer's status line says it: these can never be found.
    if (plotted->skipped > 0)
        std::fprintf(stderr, "tavi-search: %d sites skipped without a place on the grid\n",
                     plotted->skipped);
}

// The site list plotted, then searched; the rows the records could not be read for are
// said on standard error.
Found site_found(project::Session &session, const Request &r) {
    project::AppState &state = session.state();
    const state::UiHooks &quiet = session.ui();
    interrogation::SiteSearchState searched{state.points, state.settings, state.interaction,
                                            state.view};
    interrogation::SiteRows rows;
    try {
        plot(session);
        const interrogation::Shape &shape = r.shape;
        if (r.search == Search::Point)
            rows =
                interrogation::Point_Data_Search(searched, shape[0].x, shape[0].y, nullptr, quiet)
                    .value_or(interrogation::SiteRows{});
        else if (r.search == Search::Polygon)
            rows = interrogation::polygon_search(searched, shape, nullptr, quiet);
        else
            rows = interrogation::polyline_search(searched, shape, nullptr, quiet);
    } catch (const dao::Error &e) {
        fail(e.what());
    }
    // Rows without their records are no result: the database (a server lost since the
    // plot, a file damaged) is named, as when it cannot be opened at all.
    if (!rows.unreadable.empty())
        fail(rows.unreadable.front());
    for (const std::string &note : rows.notes)
        std::fprintf(stderr, "tavi-search: %s\n", note.c_str());
    std::vector<int> order(rows.rows.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    return Found{
        interrogation::result_sheet(rows, interrogation::export_headers(state.points, rows)),
        interrogation::site_marks(state.points, rows, order)};
}

// The enquiry over the plotted site list and the drawings.
interrogation::EnquiryResult enquiry_found(project::Session &session, const Request &r) {
    interrogation::EnquiryResult result;
    try {
        plot(session);
        result = interrogation::run_enquiry(session.state().points, session.state().drawings,
                                            r.enquiry, session.ui());
    } catch (const dao::Error &e) {
        fail(e.what());
    }
    for (const std::string &w : result.rows.unreadable)
        std::fprintf(stderr, "tavi-search: %s\n", w.c_str());
    return result;
}

// When the report says it was made: now, or the time SOURCE_DATE_EPOCH gives (seconds
// since 1970, in UTC), so that a report can be made again byte for byte. A value that is
// not such a time (a word, or past the year 9999, which no PDF date holds) is said and
// left aside.
QDateTime report_time() {
    constexpr qint64 kLastSecond = 253402300799; // 9999-12-31 23:59:59 UTC
    if (const char *epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr && *epoch != 0) {
        bool ok = false;
        const qint64 seconds = QByteArray(epoch).trimmed().toLongLong(&ok);
        if (ok && seconds >= 0 && seconds <= kLastSecond)
            return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
        std::fprintf(stderr,
                     "tavi-search: SOURCE_DATE_EPOCH '%s' is not a time in seconds from 1970 to "
                     "the year 9999; the report gives the time it was made\n",
                     epoch);
    }
    return QDateTime::currentDateTime();
}

interrogation::SearchDescription description(const Request &r, double search_buffer) {
    interrogation::SearchDescription d;
    d.kind = r.search == Search::Point      ? interrogation::SearchKind::Point
             : r.search == Search::Polygon  ? interrogation::SearchKind::Polygon
             : r.search == Search::Polyline ? interrogation::SearchKind::Polyline
                                            : interrogation::SearchKind::Planning;
    d.vertices = r.shape;
    d.search_buffer = search_buffer;
    return d;
}

} // namespace

int main(int argc, char **argv) {
    // A report made again for the same SOURCE_DATE_EPOCH is the same bytes: the PDF
    // writer keeps its fonts in hash tables, whose order is otherwise each run's own, and
    // writes its dates in the local zone, whose name is as long as the zone has it.
    if (const char *epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr && *epoch != 0) {
        QHashSeed::setDeterministicGlobalSeed();
        setenv("TZ", "UTC", 1);
    }
    quiet_toolkit();
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName("tavi-search");
    QCoreApplication::setApplicationVersion(TAVI_VERSION);
    const Request r = parse(QCoreApplication::arguments());

    // The project as the viewer opens it; nothing is drawn (the report draws its own map).
    project::Session session(16, 16, project::quiet_hooks(),
                             QCoreApplication::applicationDirPath().toStdString() + "/");
    if (!session.open(r.folder))
        fail("cannot read the project " + project::project_file_of(r.folder));
    session.state().settings.Search_Buffer = r.metres * state::kUnitsPerMetre;

    Found found;
    interrogation::EnquiryResult enquiry;
    if (r.search == Search::Around) {
        enquiry = enquiry_found(session, r);
        found.sheet = interrogation::enquiry_sites_sheet(session.state().points, enquiry);
    } else if (r.search == Search::Planning) {
        // The report's map shows the site list as the viewer shows it once plotted.
        if (!r.report.empty() && sites::database_present(session.state().drawings, session.ui()))
            try {
                session.plot_sites();
            } catch (const dao::Error &e) {
                std::fprintf(stderr, "tavi-search: %s\n", e.what());
            }
        found = planning_found(session, r);
    } else {
        found = site_found(session, r);
    }
    if (!r.out.empty()) {
        const exporting::Outcome written =
            exporting::write_table(r.out, grid::to_table(found.sheet), r.format);
        if (!written)
            fail("cannot write " + r.out + ": " + written.error, kNotWritten);
        if (const std::string warning = exporting::warning(written); !warning.empty())
            std::fprintf(stderr, "tavi-search: %s\n", warning.c_str());
    }
    if (!r.report.empty() && r.search == Search::Around) {
        const reports::Written written = interrogation::write_enquiry_report(
            session, enquiry, r.titled ? r.title : std::string(), r.report, report_time());
        if (!written.outcome)
            fail("cannot write " + r.report + ": " + written.outcome.error, kNotWritten);
    } else if (!r.report.empty()) {
        interrogation::SearchReport report;
        report.title = r.title;
        report.made = report_time();
        report.project = r.folder;
        report.search = description(r, session.state().settings.Search_Buffer);
        report.table = &found.sheet;
        report.marks = found.marks;
        const reports::Written written =
            interrogation::write_search_report(session, report, r.report);
        if (!written.outcome)
            fail("cannot write " + r.report + ": " + written.outcome.error, kNotWritten);
    }
    // Standard output holds the rows or the report themselves when they went there.
    const bool taken = r.out == outputs::kStandardOutput || r.report == outputs::kStandardOutput;
    const int rows = found.sheet.row_count();
    if (r.search == Search::Around)
        std::fprintf(taken ? stderr : stdout, "%d %s found; %d drawn %s within the area\n", rows,
                     rows == 1 ? "row" : "rows", static_cast<int>(enquiry.features.size()),
                     enquiry.features.size() == 1 ? "feature" : "features");
    else
        std::fprintf(taken ? stderr : stdout, "%d %s found\n", rows, rows == 1 ? "row" : "rows");
    return 0;
}
