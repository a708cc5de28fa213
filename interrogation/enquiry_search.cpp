// The enquiry's searches: the plotted sites and the drawn features within the radius of
// the shape, and the search area drawn on the map. The shape is parsed by OGR and handed
// to GEOS once, prepared, so that each candidate costs one indexed distance.
#include <geos_c.h>
#include <ogr_geometry.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>

#include "drawing/drw_format.h"
#include "drawing/drw_reader.h"
#include "interrogation/enquiry.h"
#include "interrogation/index_walk.h"
#include "platform/base/files.h"
#include "platform/base/text.h"
#include "state/view_state.h"

namespace interrogation {

namespace {

OGRGeometryUniquePtr parsed(const std::string &wkt) {
    OGRGeometry *g = nullptr;
    if (OGRGeometryFactory::createFromWkt(wkt.c_str(), nullptr, &g) != OGRERR_NONE || g == nullptr)
        throw EnquiryError("the enquiry's shape is not WKT that parses");
    return OGRGeometryUniquePtr(g);
}

// The shape handed to GEOS and prepared: distances from it to points and geometries.
class Measure {
  public:
    explicit Measure(const OGRGeometry &shape) : ctx_(OGRGeometry::createGEOSContext()) {
        geometry_ = shape.exportToGEOS(ctx_);
        if (geometry_ != nullptr)
            prepared_ = GEOSPrepare_r(ctx_, geometry_);
    }
    ~Measure() {
        if (prepared_ != nullptr)
            GEOSPreparedGeom_destroy_r(ctx_, prepared_);
        if (geometry_ != nullptr)
            GEOSGeom_destroy_r(ctx_, geometry_);
        OGRGeometry::freeGEOSContext(ctx_);
    }
    Measure(const Measure &) = delete;
    Measure &operator=(const Measure &) = delete;

    bool ready() const { return prepared_ != nullptr; }

    // The distance from the shape to (x, y) in metres; infinity when it cannot be had.
    double to_point(double x, double y) const {
        GEOSGeometry *p = GEOSGeom_createPointFromXY_r(ctx_, x, y);
        double d = std::numeric_limits<double>::infinity();
        if (p != nullptr && GEOSPreparedDistance_r(ctx_, prepared_, p, &d) != 1)
            d = std::numeric_limits<double>::infinity();
        GEOSGeom_destroy_r(ctx_, p);
        return d;
    }
    // Whether an OGR geometry comes within r metres of the shape.
    bool within(const OGRGeometry &g, double r) const {
        GEOSGeometry *other = g.exportToGEOS(ctx_);
        if (other == nullptr)
            return false;
        const char answer = GEOSPreparedDistanceWithin_r(ctx_, prepared_, other, r);
        GEOSGeom_destroy_r(ctx_, other);
        return answer == 1;
    }

  private:
    GEOSContextHandle_t ctx_;
    GEOSGeometry *geometry_ = nullptr;
    const GEOSPreparedGeometry *prepared_ = nullptr;
};

// The shape's box grown by r, in metres.
OGREnvelope grown_box(const OGRGeometry &g, double r) {
    OGREnvelope e;
    g.getEnvelope(&e);
    e.MinX -= r;
    e.MinY -= r;
    e.MaxX += r;
    e.MaxY += r;
    return e;
}

std::unique_ptr<OGRGeometry> ogr_of(const ZT_Point3 *points, int32_t n, bool polygon,
                                    double metres_per_unit) {
    auto line = polygon ? std::make_unique<OGRLinearRing>() : std::make_unique<OGRLineString>();
    line->setNumPoints(n, FALSE);
    for (int32_t i = 0; i < n; ++i)
        line->setPoint(i, points[i].x * metres_per_unit, points[i].y * metres_per_unit);
    if (!polygon)
        return line;
    line->closeRings();
    auto poly = std::make_unique<OGRPolygon>();
    poly->addRingDirectly(static_cast<OGRLinearRing *>(line.release()));
    return poly;
}

Shape outline_of(const ZT_Point3 *points, int32_t n, bool polygon, int32_t scale) {
    Shape s;
    for (int32_t i = 0; i < n; ++i)
        s.push_back(ShapePoint{static_cast<int32_t>(std::lround(points[i].x / double(scale))),
                               static_cast<int32_t>(std::lround(points[i].y / double(scale))), 0});
    if (polygon && !s.empty() && (s.front().x != s.back().x || s.front().y != s.back().y))
        s.push_back(s.front());
    return s;
}

std::string drawing_name(const state::DrawingEntry &e, int32_t d) {
    const std::string period = state::period_name(d);
    if (!period.empty())
        return period;
    return std::filesystem::path(text::trim_blanks(e.file_name)).stem().string();
}

void search_group(files::BinaryFile &drw, const drawing::IndexRecord &r, const Measure &m,
                  double radius, EnquiryFeature &f) {
    if (!drawing::seek_unit(drw, r.first_unit))
        return;
    drawing::DrawingWalker walk(drw);
    if (!walk.next() || walk.kind() != drawing::DrawingWalker::Kind::Group)
        return;
    const int32_t scale = r.kind == drawing::kKindTenths ? 10 : 1;
    const double metres_per_unit = 1.0 / (state::kUnitsPerMetre * scale);
    bool polygons = false, lines = false;
    while (walk.next()) {
        const auto kind = walk.kind();
        if (kind == drawing::DrawingWalker::Kind::Group ||
            kind == drawing::DrawingWalker::Kind::EndMark)
            break;
        if (kind != drawing::DrawingWalker::Kind::Object)
            continue;
        const bool polygon = walk.code() == drawing::kCodePolygon;
        if (!polygon && walk.code() != drawing::kCodePolyline)
            continue;
        const int32_t n = walk.point_count();
        if (n < (polygon ? 3 : 2))
            continue;
        const auto g = ogr_of(walk.points(), n, polygon, metres_per_unit);
        if (!m.within(*g, radius))
            continue;
        (polygon ? polygons : lines) = true;
        f.outlines.push_back(outline_of(walk.points(), n, polygon, scale));
        if (f.reference.empty() && polygon)
            f.reference = drawing::trimmed(walk.object().text2);
    }
    f.kind = polygons && lines ? "polygon and line" : polygons ? "polygon" : lines ? "line" : "";
}

void search_drawing(const state::DrawingEntry &e, int32_t d, const OGREnvelope &box,
                    const Measure &m, double radius, std::vector<EnquiryFeature> &out) {
    const double u = state::kUnitsPerMetre;
    const UnitBox units{box.MinX * u, box.MinY * u, box.MaxX * u, box.MaxY * u};
    for_each_group_in_box(e, units, [&](files::BinaryFile &drw, const drawing::IndexRecord &r) {
        EnquiryFeature f;
        f.drawing = d;
        f.first_unit = r.first_unit;
        search_group(drw, r, m, radius, f);
        if (f.outlines.empty())
            return;
        const std::string name = drawing::trimmed(r.name);
        if (!name.empty())
            f.reference = name;
        f.drawing_name = drawing_name(e, d);
        out.push_back(std::move(f));
    });
}

Shape ring_of(const OGRSimpleCurve &c) {
    Shape s;
    for (int i = 0; i < c.getNumPoints(); ++i)
        s.push_back(ShapePoint{static_cast<int32_t>(std::lround(c.getX(i) * state::kUnitsPerMetre)),
                               static_cast<int32_t>(std::lround(c.getY(i) * state::kUnitsPerMetre)),
                               0});
    return s;
}

void rings_of(const OGRGeometry &g, std::vector<Shape> &out) {
    const OGRwkbGeometryType t = wkbFlatten(g.getGeometryType());
    if (t == wkbPolygon) {
        for (const OGRLinearRing *ring : *g.toPolygon())
            out.push_back(ring_of(*ring));
    } else if (OGR_GT_IsSubClassOf(t, wkbGeometryCollection)) {
        for (const OGRGeometry *part : *g.toGeometryCollection())
            rings_of(*part, out);
    }
}

} // namespace

std::vector<EnquiryPoint> enquiry_points(const state::PointStore &store, const Enquiry &e) {
    const OGRGeometryUniquePtr shape = parsed(e.shape.wkt);
    const Measure m(*shape);
    std::vector<EnquiryPoint> found;
    if (!m.ready())
        return found;
    const double r = e.radius_m;
    const OGREnvelope box = grown_box(*shape, r);
    const double u = state::kUnitsPerMetre;
    const auto [lo, hi] = store.x_slice(box.MinX * u, box.MaxX * u);
    const double y_lo = box.MinY * u, y_hi = box.MaxY * u;
    for (int32_t i = lo; i < hi; ++i) {
        const int32_t y = store.northing(i);
        if (y < y_lo || y > y_hi)
            continue;
        const double d = m.to_point(store.easting(i) / u, y / u);
        if (d <= r)
            found.push_back(EnquiryPoint{i, d});
    }
    return found;
}

std::vector<EnquiryFeature> enquiry_features(const state::DrawingTable &drawings,
                                             const Enquiry &e) {
    const OGRGeometryUniquePtr shape = parsed(e.shape.wkt);
    const Measure m(*shape);
    std::vector<EnquiryFeature> out;
    if (!m.ready())
        return out;
    const OGREnvelope box = grown_box(*shape, e.radius_m);
    for (int d = 1; d <= drawings.count(); ++d) {
        const state::DrawingEntry &entry = drawings.entry(d);
        if (!entry.active || entry.missing)
            continue;
        search_drawing(entry, d, box, m, e.radius_m, out);
    }
    return out;
}

std::vector<Shape> enquiry_area(const Enquiry &e) {
    const OGRGeometryUniquePtr shape = parsed(e.shape.wkt);
    std::vector<Shape> rings;
    if (e.radius_m > 0) {
        const OGRGeometryUniquePtr grown(shape->Buffer(e.radius_m));
        if (grown != nullptr)
            rings_of(*grown, rings);
    }
    if (rings.empty())
        return e.shape.parts;
    return rings;
}

double EnquiryResult::row_distance(std::size_t row) const {
    if (row >= rows.rows.size() || rows.rows[row].size() < static_cast<std::size_t>(kPointColumn))
        return 0.0;
    const int64_t index = rows.rows[row][kPointColumn - 1].as_integer();
    const auto at =
        std::lower_bound(points.begin(), points.end(), index, [](const EnquiryPoint &p, int64_t i) {
            return static_cast<int64_t>(p.index) < i;
        });
    return at != points.end() && at->index == index ? at->distance_m : 0.0;
}

EnquiryResult run_enquiry(const state::PointStore &store, const state::DrawingTable &drawings,
                          const Enquiry &e, const state::UiHooks &ui) {
    EnquiryResult out;
    out.enquiry = e;
    out.points = enquiry_points(store, e);
    std::vector<int32_t> found;
    found.reserve(out.points.size());
    for (const EnquiryPoint &p : out.points)
        found.push_back(p.index);
    out.rows = site_rows(store, found, ui);
    out.features = enquiry_features(drawings, e);
    return out;
}

} // namespace interrogation
