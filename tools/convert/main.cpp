// tavi-convert: drawings to and from the formats of other GIS programs, through OGR.
//
//   tavi-convert --data DIR --to OUT [--format EXT] [--sites 1]
//   tavi-convert --from IN [--layer NAME] --to DIR/NAME.drw [--name-field F]
//                [--ref-field F] [--colour N] [--add]
//
// Errors are one line on standard error and exit code 2; a conversion that had to leave
// something out writes the rest and says so the same way.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "project/project_list.h"
#include "state/drawing_table.h"
#include "tools/convert/convert_error.h"
#include "tools/convert/export_project.h"
#include "tools/convert/ogr_to_drawing.h"

namespace {

using convert::ConvertError;

[[noreturn]] void fail(const std::string &message) {
    std::fflush(stdout);
    std::fprintf(stderr, "tavi-convert: %s\n", message.c_str());
    std::exit(2);
}

const char *const kDescription =
    "Converts the drawings of a project to the formats of other GIS programs, and a layer\n"
    "of any vector data OGR reads into a drawing.\n"
    "\n"
    "  tavi-convert --data DIR --to OUT [--format EXT] [--sites 1]\n"
    "      Every drawing listed in DIR/tavi.zpj becomes a layer of OUT named after it, in\n"
    "      the national grid (EPSG:27700, metres). The format follows OUT's extension:\n"
    "      .gpkg, .geojson, .dxf, .fgb, .shp and whatever else OGR writes; a path without\n"
    "      extension, or a folder, becomes a folder of Shapefiles (one per drawing and\n"
    "      kind of geometry). Formats holding a single layer get every drawing in it, with\n"
    "      a field \"drawing\"; a single .shp holds one kind of geometry only. OUT - is\n"
    "      standard output, and a named pipe or a device is written in place (both a\n"
    "      GeoPackage unless --format or the name's extension says otherwise, and of one\n"
    "      file only); a symbolic link is written through to its file, which is replaced.\n"
    "\n"
    "  tavi-convert --from IN [--layer NAME] --to DIR/NAME.drw [options]\n"
    "      One layer of IN becomes a drawing with its index (.zix) and object table (.dbf),\n"
    "      reprojected to the national grid when the layer declares another coordinate\n"
    "      system (a layer that declares none is taken to be in the national grid).";

const char *const kDetails =
    "\n"
    "Drawings to other formats:\n"
    "  Polygons become polygons, polylines line strings, annotations points with their\n"
    "  text. Drawings have no symbol objects (the site list's symbols are its points:\n"
    "  --sites 1). Hidden objects, never shown on the map, are left out. Fields: group,\n"
    "  group_no (objects of one group share it), kind (1 whole units, 10 tenths),\n"
    "  reference, text, colour (#rrggbb from the drawing palette), colour_no, fill,\n"
    "  pen_style (0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 none),\n"
    "  line_width (as stored: hundredths of a metre, thousandths in tenth-unit groups),\n"
    "  layer, layer_name, extra_pts (an annotation's points after the first).\n"
    "  --sites 1 adds the site list of the project's site database as the point layer\n"
    "  \"sites\", with every field of the site table.\n"
    "\n"
    "Other formats to a drawing:\n"
    "  Each feature becomes a group (features with the same group_no in a row share one).\n"
    "  A drawing polygon holds one ring: each ring of a polygon, its holes included,\n"
    "  becomes a polygon object of its own in the feature's group. Every part of a\n"
    "  multi-part geometry is one object; lines become polylines, points annotations;\n"
    "  curves are followed by straight segments. Geometry collections, surfaces (TIN,\n"
    "  polyhedral) and features without geometry are left out and counted. Fields named\n"
    "  as above are read back when the layer has them. Coordinates must lie in the\n"
    "  national grid: 0 to 700 km east, 0 to 1300 km north.\n"
    "\n"
    "Exit status: 0 done; 2 an error (one line on standard error). When features or\n"
    "drawings had to be left out, the rest is written and the status is 2.\n";

struct Parsed {
    QCommandLineParser parser;
    QCommandLineOption data{"data", "The project folder (holding tavi.zpj) to export.", "DIR"};
    QCommandLineOption to{"to",
                          "The output: a GIS file or folder, - for standard output, or "
                          "DIR/NAME.drw.",
                          "OUT"};
    QCommandLineOption sites{"sites", "With 1, the site list as a point layer too.", "0|1"};
    QCommandLineOption format{"format",
                              "The format by its extension (gpkg, geojson, ...), whatever OUT's "
                              "name says; for - (standard output), a pipe or a device without "
                              "one, GeoPackage unless given.",
                              "EXT"};
    QCommandLineOption from{"from", "The vector data to make a drawing of.", "IN"};
    QCommandLineOption layer{"layer", "The layer of IN (needed when IN has several).", "NAME"};
    QCommandLineOption name_field{"name-field",
                                  "The field naming each feature's group "
                                  "(default: the layer's name).",
                                  "F"};
    QCommandLineOption ref_field{"ref-field", "The field giving object references.", "F"};
    QCommandLineOption colour{"colour",
                              "Palette index (0-255) for every object, instead of "
                              "the colour fields.",
                              "N"};
    QCommandLineOption add{"add", "List the new drawing in tavi.zpj of its folder."};
};

int to_int(const QString &s, int lo, int hi, const char *what) {
    bool ok = false;
    const int v = s.toInt(&ok);
    if (!ok || v < lo || v > hi)
        fail(std::string(what) + " '" + s.toStdString() + "'");
    return v;
}

std::string str(const QString &s) {
    return s.toStdString();
}

int run_export(Parsed &p) {
    convert::ExportOptions o;
    o.data = str(p.parser.value(p.data));
    o.out = str(p.parser.value(p.to));
    o.format = str(p.parser.value(p.format));
    if (p.parser.isSet(p.sites))
        o.sites = to_int(p.parser.value(p.sites), 0, 1, "--sites wants 0 or 1, not") == 1;
    const convert::ExportReport r = convert::export_project(o);
    // Standard output holds the data itself when the data went there.
    std::FILE *said = o.out == "-" ? stderr : stdout;
    int64_t features = 0;
    for (const auto &l : r.layers)
        features += l.features;
    std::fprintf(said, "wrote %s: %zu layers, %lld features\n", o.out.c_str(), r.layers.size(),
                 static_cast<long long>(features));
    for (const auto &l : r.layers)
        std::fprintf(said, "  %-24s %10lld\n", l.name.c_str(), static_cast<long long>(l.features));
    if (r.hidden > 0)
        std::fprintf(said, "left out %lld hidden objects (never shown on the map)\n",
                     static_cast<long long>(r.hidden));
    if (r.unplaced > 0)
        std::fprintf(said, "left out %lld site records without coordinates\n",
                     static_cast<long long>(r.unplaced));
    for (const std::string &d : r.damaged)
        std::fprintf(said, "%s is damaged: converted as far as it reads\n", d.c_str());
    for (const std::string &d : r.not_loaded)
        std::fprintf(said, "%s is beyond the %d drawings the viewer loads: not converted\n",
                     d.c_str(), state::DrawingTable::kMaxDrawings);
    if (!r.missing.empty()) {
        std::string names;
        for (const std::string &m : r.missing)
            names += (names.empty() ? "" : ", ") + m;
        fail(std::to_string(r.missing.size()) + " drawing(s) listed in the project are missing (" +
             names + "); the others were written");
    }
    return 0;
}

int run_import(Parsed &p) {
    convert::ImportOptions o;
    o.from = str(p.parser.value(p.from));
    o.layer = str(p.parser.value(p.layer));
    o.to = str(p.parser.value(p.to));
    o.name_field = str(p.parser.value(p.name_field));
    o.ref_field = str(p.parser.value(p.ref_field));
    if (p.parser.isSet(p.colour))
        o.colour = to_int(p.parser.value(p.colour), 0, 255,
                          "--colour wants a palette index from 0 to 255, not");
    // A name the project cannot list is refused before anything is written.
    if (p.parser.isSet(p.add))
        project::project_entry(o.to.filename().string());
    const convert::ImportReport r = convert::import_layer(o);
    std::printf("wrote %s: %lld features as %lld objects in %lld groups\n", o.to.c_str(),
                static_cast<long long>(r.features), static_cast<long long>(r.objects),
                static_cast<long long>(r.groups));
    if (r.reprojected)
        std::printf("reprojected from the layer's coordinate system to the national grid\n");
    if (r.assumed_grid)
        std::printf("the layer declares no coordinate system: read as the national grid\n");
    if (r.texts_cut > 0)
        std::printf("%lld names, references or texts were cut to the 12 characters a drawing "
                    "holds\n",
                    static_cast<long long>(r.texts_cut));
    if (p.parser.isSet(p.add)) {
        const project::ProjectAddition a = project::add_to_project(o.to);
        if (a.already_listed)
            std::printf("%s already lists %s\n", a.project.c_str(), o.to.filename().c_str());
        else
            std::printf("%s %s\n", a.created ? "made the project" : "listed in", a.project.c_str());
        if (a.drawings > state::DrawingTable::kMaxDrawings)
            std::printf("note: the project lists %d drawings; the viewer loads the first %d\n",
                        a.drawings, state::DrawingTable::kMaxDrawings);
    }
    if (r.refused_total() > 0 || r.without_geometry > 0) {
        std::string what;
        for (const auto &[type, n] : r.refused)
            what += (what.empty() ? "" : ", ") + type + " (" + std::to_string(n) + ")";
        if (r.without_geometry > 0)
            what += (what.empty() ? "" : ", ") + std::string("no geometry (") +
                    std::to_string(r.without_geometry) + ")";
        fail(std::to_string(r.refused_total() + r.without_geometry) +
             " features left out, a drawing cannot hold them: " + what + "; the other " +
             std::to_string(r.features) + " were written");
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tavi-convert");
    QCoreApplication::setApplicationVersion(TAVI_VERSION);
    Parsed p;
    p.parser.setApplicationDescription(kDescription);
    const QCommandLineOption help = p.parser.addHelpOption();
    const QCommandLineOption version = p.parser.addVersionOption();
    p.parser.addOptions({p.data, p.to, p.format, p.sites, p.from, p.layer, p.name_field,
                         p.ref_field, p.colour, p.add});
    if (!p.parser.parse(QCoreApplication::arguments()))
        fail(str(p.parser.errorText()));
    if (p.parser.isSet(help)) {
        // The program by its name, not by the path it was started with.
        const QString text = p.parser.helpText().replace(QCoreApplication::arguments().first(),
                                                         QStringLiteral("tavi-convert"));
        std::printf("%s%s", text.toLocal8Bit().constData(), kDetails);
        return 0;
    }
    if (p.parser.isSet(version)) {
        std::printf("tavi-convert %s\n", TAVI_VERSION);
        return 0;
    }
    if (!p.parser.positionalArguments().isEmpty())
        fail("unexpected argument '" + str(p.parser.positionalArguments().first()) + "'");

    const bool exporting = p.parser.isSet(p.data), importing = p.parser.isSet(p.from);
    if (exporting == importing)
        fail("give either --data DIR (export a project) or --from IN (make a drawing); see "
             "--help");
    if (!p.parser.isSet(p.to))
        fail("--to is required; see --help");
    for (const QCommandLineOption *o : {&p.layer, &p.name_field, &p.ref_field, &p.colour, &p.add})
        if (exporting && p.parser.isSet(*o))
            fail("--" + str(o->names().first()) + " belongs with --from");
    for (const QCommandLineOption *o : {&p.sites, &p.format})
        if (importing && p.parser.isSet(*o))
            fail("--" + str(o->names().first()) + " belongs with --data");
    try {
        return exporting ? run_export(p) : run_import(p);
    } catch (const ConvertError &e) {
        fail(e.what());
    } catch (const std::exception &e) {
        fail(e.what());
    }
}
