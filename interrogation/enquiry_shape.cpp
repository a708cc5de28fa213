// The enquiry's shapes: typed as WKT, read from a vector file, or digitised on the map,
// each made national-grid metres and described for the search line.
#include <gdal_priv.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <QString>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <mutex>

#include "interrogation/enquiry.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"
#include "state/view_state.h"
#include "view/grid_ref.h"

namespace interrogation {

namespace {

// The national grid's extent in metres.
constexpr double kGridEast = 700000.0, kGridNorth = 1300000.0;
// Coordinates all within this of the grid's origin are not taken for the grid's.
constexpr double kHuddle = 1000.0;
constexpr int kNationalGrid = 27700;

struct DatasetCloser {
    void operator()(GDALDataset *d) const { GDALClose(d); }
};
using DatasetPtr = std::unique_ptr<GDALDataset, DatasetCloser>;

void register_drivers() {
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

std::string upper(std::string s) {
    for (char &c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The simple parts of a geometry, collections opened and curves made lines.
void flatten(const OGRGeometry &g, std::vector<OGRGeometryUniquePtr> &out) {
    const OGRwkbGeometryType t = wkbFlatten(g.getGeometryType());
    if (OGR_GT_IsSubClassOf(t, wkbGeometryCollection)) {
        for (const OGRGeometry *part : *g.toGeometryCollection())
            if (part != nullptr)
                flatten(*part, out);
        return;
    }
    if (g.IsEmpty())
        return;
    OGRGeometryUniquePtr linear(g.hasCurveGeometry() ? g.getLinearGeometry() : g.clone());
    if (linear == nullptr)
        return;
    if (OGR_GT_IsSubClassOf(wkbFlatten(linear->getGeometryType()), wkbGeometryCollection)) {
        flatten(*linear, out);
        return;
    }
    linear->flattenTo2D();
    out.push_back(std::move(linear));
}

ShapePoint world(double x, double y) {
    return ShapePoint{num::nearest_clamped(x * state::kUnitsPerMetre),
                      num::nearest_clamped(y * state::kUnitsPerMetre), 0};
}

Shape line_of(const OGRSimpleCurve &c) {
    Shape s;
    s.reserve(static_cast<std::size_t>(c.getNumPoints()));
    for (int i = 0; i < c.getNumPoints(); ++i)
        s.push_back(world(c.getX(i), c.getY(i)));
    return s;
}

bool on_grid(const OGREnvelope &e) {
    return e.MinX >= 0 && e.MaxX <= kGridEast && e.MinY >= 0 && e.MaxY <= kGridNorth;
}

std::string envelope_text(const OGREnvelope &e) {
    const auto n = [](double v) { return QString::number(v, 'g', 10).toStdString(); };
    return n(e.MinX) + " " + n(e.MinY) + " to " + n(e.MaxX) + " " + n(e.MaxY);
}

// The shape of simple parts (points, lines, polygons; at least one): its kind by the
// widest part it holds, its geometry one of them or a collection of them, valid.
EnquiryShape shape_of(std::vector<OGRGeometryUniquePtr> parts, const std::string &named) {
    EnquiryShape s;
    bool polygons = false, lines = false;
    for (const auto &p : parts) {
        const OGRwkbGeometryType t = wkbFlatten(p->getGeometryType());
        polygons = polygons || t == wkbPolygon;
        lines = lines || t == wkbLineString;
    }
    s.kind = polygons ? EnquiryKind::Boundary : lines ? EnquiryKind::Route : EnquiryKind::Point;

    OGRGeometryUniquePtr whole;
    if (parts.size() == 1) {
        whole = std::move(parts.front());
    } else {
        auto collection = std::make_unique<OGRGeometryCollection>();
        if (!lines && polygons)
            collection = std::make_unique<OGRMultiPolygon>();
        else if (lines && !polygons && s.kind == EnquiryKind::Route)
            collection = std::make_unique<OGRMultiLineString>();
        for (auto &p : parts)
            if (wkbFlatten(p->getGeometryType()) != wkbPoint || s.kind == EnquiryKind::Point)
                collection->addGeometryDirectly(p.release());
        whole.reset(collection.release());
    }
    // A ring that crosses itself would measure wrongly; GEOS mends it as a GIS would.
    if (s.kind == EnquiryKind::Boundary && !whole->IsValid())
        if (OGRGeometry *valid = whole->MakeValid(); valid != nullptr)
            whole.reset(valid);

    OGREnvelope box;
    whole->getEnvelope(&box);
    if (!on_grid(box))
        throw EnquiryError(named + " lies off the national grid (" + envelope_text(box) +
                           " metres)");

    std::vector<OGRGeometryUniquePtr> simple;
    flatten(*whole, simple);
    for (const auto &p : simple) {
        const OGRwkbGeometryType t = wkbFlatten(p->getGeometryType());
        if (t == wkbPoint) {
            s.parts.push_back(Shape{world(p->toPoint()->getX(), p->toPoint()->getY())});
        } else if (t == wkbLineString) {
            s.parts.push_back(line_of(*p->toLineString()));
        } else if (t == wkbPolygon) {
            const OGRPolygon &poly = *p->toPolygon();
            for (const OGRLinearRing *ring : poly)
                s.parts.push_back(line_of(*ring));
            s.area_m2 += poly.get_Area();
        }
    }
    char *text = nullptr;
    whole->exportToWkt(&text);
    s.wkt = text != nullptr ? text : "";
    CPLFree(text);
    return s;
}

// A closed line read from a file (DXF and KML often hold a red-line boundary so) is the
// boundary it encloses: searched as a line, the sites deep inside it would be missed.
OGRGeometryUniquePtr closed_lines_as_boundaries(OGRGeometryUniquePtr g) {
    if (wkbFlatten(g->getGeometryType()) != wkbLineString)
        return g;
    const OGRLineString &line = *g->toLineString();
    if (line.getNumPoints() < 4 || !line.get_IsClosed())
        return g;
    auto ring = std::make_unique<OGRLinearRing>();
    ring->addSubLineString(&line);
    auto poly = std::make_unique<OGRPolygon>();
    poly->addRingDirectly(ring.release());
    return OGRGeometryUniquePtr(poly.release());
}

OGRSpatialReference national_grid() {
    OGRSpatialReference grid;
    grid.importFromEPSG(kNationalGrid);
    grid.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return grid;
}

} // namespace

bool grid_plausible(double x_min, double y_min, double x_max, double y_max) {
    OGREnvelope e;
    e.MinX = x_min;
    e.MinY = y_min;
    e.MaxX = x_max;
    e.MaxY = y_max;
    return on_grid(e) && (x_max > kHuddle || y_max > kHuddle);
}

EnquiryShape shape_from_wkt(const std::string &wkt) {
    const std::string text = text::trim_blanks(wkt);
    OGRGeometry *parsed = nullptr;
    if (OGRGeometryFactory::createFromWkt(text.c_str(), nullptr, &parsed) != OGRERR_NONE ||
        parsed == nullptr)
        throw EnquiryError("the shape is not WKT that parses: '" + text.substr(0, 60) +
                           (text.size() > 60 ? "...'" : "'"));
    OGRGeometryUniquePtr g(parsed);
    const OGRwkbGeometryType t = wkbFlatten(g->getGeometryType());
    if (t != wkbPoint && t != wkbLineString && t != wkbMultiLineString && t != wkbPolygon &&
        t != wkbMultiPolygon)
        throw EnquiryError(std::string("the shape is a ") + OGRGeometryTypeToName(t) +
                           ": give a POINT, LINESTRING, POLYGON or MULTIPOLYGON");
    g->flattenTo2D();
    std::vector<OGRGeometryUniquePtr> parts;
    flatten(*g, parts);
    if (parts.empty())
        throw EnquiryError("the shape is empty");
    return shape_of(std::move(parts), "the shape");
}

EnquiryShape shape_from_file(const std::filesystem::path &file) {
    register_drivers();
    const std::string name = file.filename().string();
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        throw EnquiryError("cannot read " + file.string() + ": no such file");
    if (std::filesystem::is_regular_file(file, ec) && std::filesystem::file_size(file, ec) == 0)
        throw EnquiryError(name + " is empty");
    CPLPushErrorHandler(CPLQuietErrorHandler);
    DatasetPtr ds(GDALDataset::Open(file.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    CPLPopErrorHandler();
    if (ds == nullptr)
        throw EnquiryError("cannot read " + name +
                           " as a vector file (GeoJSON, Shapefile, "
                           "GeoPackage, KML, DXF, ...)");
    const OGRSpatialReference grid = national_grid();
    std::vector<OGRGeometryUniquePtr> parts;
    bool points = false;
    for (OGRLayer *layer : ds->GetLayers()) {
        const OGRSpatialReference *crs = layer->GetSpatialRef();
        std::unique_ptr<OGRCoordinateTransformation> to_grid;
        if (crs != nullptr && !crs->IsSame(&grid)) {
            OGRSpatialReference from(*crs);
            from.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
            CPLPushErrorHandler(CPLQuietErrorHandler);
            to_grid.reset(OGRCreateCoordinateTransformation(&from, &grid));
            CPLPopErrorHandler();
            if (to_grid == nullptr)
                throw EnquiryError(name + ": its coordinate system cannot be transformed to the "
                                          "national grid");
        }
        std::vector<OGRGeometryUniquePtr> found;
        layer->ResetReading();
        for (const auto &feature : *layer) {
            const OGRGeometry *g = feature->GetGeometryRef();
            if (g != nullptr)
                flatten(*g, found);
        }
        OGREnvelope box;
        bool any = false;
        for (auto &g : found) {
            const OGRwkbGeometryType t = wkbFlatten(g->getGeometryType());
            if (t == wkbPoint) {
                points = true;
                continue;
            }
            if (to_grid != nullptr && g->transform(to_grid.get()) != OGRERR_NONE)
                throw EnquiryError(name + ": a shape cannot be transformed to the national grid");
            OGREnvelope e;
            g->getEnvelope(&e);
            box.Merge(e);
            any = true;
            parts.push_back(closed_lines_as_boundaries(std::move(g)));
        }
        if (crs == nullptr && any && !grid_plausible(box.MinX, box.MinY, box.MaxX, box.MaxY))
            throw EnquiryError(name + " has no coordinate system and its coordinates (" +
                               envelope_text(box) + ") are not national-grid metres");
    }
    if (parts.empty())
        throw EnquiryError(points ? name + " holds points only: an enquiry needs a boundary or a "
                                           "route from a file (give a point as WKT)"
                                  : name + " holds no polygon or line");
    EnquiryShape s = shape_of(std::move(parts), name);
    s.source = name;
    return s;
}

EnquiryShape shape_from_vertices(EnquiryKind kind, const Shape &vertices) {
    const std::size_t least = kind == EnquiryKind::Boundary ? 3
                              : kind == EnquiryKind::Route  ? 2
                                                            : 1;
    if (vertices.size() < least)
        throw EnquiryError("a " + kind_word(kind) + " needs at least " + std::to_string(least) +
                           (least == 1 ? " vertex" : " vertices"));
    const auto metres = [](const ShapePoint &v) {
        return std::pair{static_cast<double>(v.x) / state::kUnitsPerMetre,
                         static_cast<double>(v.y) / state::kUnitsPerMetre};
    };
    std::vector<OGRGeometryUniquePtr> parts;
    if (kind == EnquiryKind::Point) {
        const auto [x, y] = metres(vertices.front());
        parts.emplace_back(new OGRPoint(x, y));
    } else {
        auto line = kind == EnquiryKind::Boundary ? std::make_unique<OGRLinearRing>()
                                                  : std::make_unique<OGRLineString>();
        for (const ShapePoint &v : vertices) {
            const auto [x, y] = metres(v);
            line->addPoint(x, y);
        }
        if (kind == EnquiryKind::Route) {
            parts.emplace_back(line.release());
        } else {
            line->closeRings();
            auto poly = std::make_unique<OGRPolygon>();
            poly->addRingDirectly(static_cast<OGRLinearRing *>(line.release()));
            parts.emplace_back(poly.release());
        }
    }
    EnquiryShape s = shape_of(std::move(parts), "the drawn " + kind_word(kind));
    s.drawn = true;
    return s;
}

EnquiryShape shape_from_text_or_file(const std::string &shape) {
    const std::string t = upper(text::trim_blanks(shape));
    for (const char *type : {"POINT", "LINESTRING", "POLYGON", "MULTIPOINT", "MULTILINESTRING",
                             "MULTIPOLYGON", "GEOMETRYCOLLECTION"}) {
        const std::string name = type;
        if (t.rfind(name, 0) != 0 || t.size() == name.size())
            continue;
        const char next = t[name.size()];
        if (next == ' ' || next == '(' || next == 'Z' || next == 'M')
            return shape_from_wkt(shape);
    }
    return shape_from_file(shape);
}

double checked_radius(double metres) {
    if (!(metres >= 0.0 && metres <= kMaxEnquiryRadius))
        throw EnquiryError("the radius must be 0 to 5000 metres, not " + radius_text(metres));
    return metres;
}

double enquiry_radius(const std::string &text) {
    const std::string t = text::trim_blanks(text);
    if (!num::is_numeric(t))
        throw EnquiryError("the radius must be 0 to 5000 metres, not '" + t + "'");
    return checked_radius(num::Val(t));
}

std::string kind_word(EnquiryKind kind) {
    switch (kind) {
    case EnquiryKind::Point:
        return "point";
    case EnquiryKind::Route:
        return "route";
    case EnquiryKind::Boundary:
        return "boundary";
    }
    return "shape";
}

std::string radius_text(double metres) {
    return QString::number(metres, 'g', 12).toStdString();
}

namespace {

// "the point SK 97160 71050", "boundary.shp", "the drawn route".
std::string named_shape(const EnquiryShape &s) {
    if (!s.source.empty())
        return s.source;
    if (s.kind == EnquiryKind::Point && s.parts.size() == 1 && !s.parts.front().empty())
        return "the point " + view::grid_reference(s.parts.front()[0].x, s.parts.front()[0].y);
    return (s.drawn ? "the drawn " : "the ") + kind_word(s.kind);
}

std::string hectares(double m2) {
    const double ha = m2 / 10000.0;
    return QString::number(ha, 'f', ha < 10 ? (ha < 0.1 ? 2 : 1) : 0).toStdString() + " ha";
}

} // namespace

std::string enquiry_title(const Enquiry &e) {
    return "Sites within " + radius_text(e.radius_m) + " m of " + named_shape(e.shape);
}

std::string enquiry_line(const Enquiry &e) {
    const EnquiryShape &s = e.shape;
    std::string line = "Within " + radius_text(e.radius_m) + " m of ";
    if (s.kind == EnquiryKind::Point)
        line += named_shape(s);
    else if (!s.source.empty())
        line += "the " + kind_word(s.kind) + " in " + s.source;
    else
        line += named_shape(s);
    if (s.kind == EnquiryKind::Boundary)
        line += " (" + hectares(s.area_m2) + ")";
    return line;
}

} // namespace interrogation
