#include "interrogation/enquiry_tool.h"

#include <ogr_geometry.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "interrogation/mouse_tools.h"
#include "zent32i_binding.h"

namespace interrogation {

namespace {

constexpr gdi::Colour kAreaOutline = gdi::rgb(230, 110, 0);
constexpr gdi::Colour kAreaHatch = gdi::rgb(255, 190, 120);
constexpr gdi::Colour kShapeColour = gdi::rgb(200, 0, 0);
// The hatch's lines this many pixels apart, and never more lines than this.
constexpr double kHatchPixels = 10.0;
constexpr int kMostHatchLines = 400;

EnquiryKind kind_of(state::EnquiryShapeKind k) {
    switch (k) {
    case state::EnquiryShapeKind::Route:
        return EnquiryKind::Route;
    case state::EnquiryShapeKind::Point:
        return EnquiryKind::Point;
    case state::EnquiryShapeKind::Boundary:
        break;
    }
    return EnquiryKind::Boundary;
}

std::vector<gdi::Point> on_screen(const Shape &s) {
    std::vector<gdi::Point> out;
    out.reserve(s.size());
    for (const ShapePoint &v : s) {
        int32_t px = 0, py = 0;
        zt::ZT_Calc_3D_xy(v.x, v.y, 0, &px, &py);
        out.push_back(gdi::Point{px, py});
    }
    return out;
}

void add_lines(const OGRGeometry &g, std::vector<Shape> &out) {
    const OGRwkbGeometryType t = wkbFlatten(g.getGeometryType());
    if (t == wkbLineString) {
        const OGRLineString &l = *g.toLineString();
        Shape s;
        for (int i = 0; i < l.getNumPoints(); ++i)
            s.push_back(ShapePoint{
                static_cast<int32_t>(std::lround(l.getX(i) * state::kUnitsPerMetre)),
                static_cast<int32_t>(std::lround(l.getY(i) * state::kUnitsPerMetre)), 0});
        out.push_back(std::move(s));
    } else if (OGR_GT_IsSubClassOf(t, wkbGeometryCollection)) {
        for (const OGRGeometry *part : *g.toGeometryCollection())
            add_lines(*part, out);
    }
}

} // namespace

std::optional<Enquiry> Digitise_Enquiry(state::InteractionState &ia, DrawnShape &shape,
                                        gdi::DeviceContext *dc, int32_t sx, int32_t sy, int32_t wx,
                                        int32_t wy, int32_t button, const state::UiHooks &ui) {
    if (ia.Tool_Code == state::ToolCode::EnquiryStart) {
        shape.count = 0;
        ia.Tool_Code = state::ToolCode::Enquiry;
    }
    if (button != kLeftButton && button != kRightButton)
        return std::nullopt;
    const EnquiryKind kind = kind_of(ia.Enquiry_Shape);
    const bool left = button == kLeftButton;
    if (left) {
        shape.add(ShapePoint{wx, wy, 0}, gdi::Point{sx, sy}, dc);
        if (kind != EnquiryKind::Point)
            return std::nullopt;
    }
    ia.Tool_Code = state::ToolCode::None;
    const Shape vertices(shape.world.begin(), shape.world.begin() + shape.count);
    try {
        Enquiry e;
        e.radius_m = checked_radius(ia.Enquiry_Radius);
        e.shape = shape_from_vertices(kind, kind == EnquiryKind::Point && !vertices.empty()
                                                ? Shape{vertices.back()}
                                                : vertices);
        return e;
    } catch (const EnquiryError &error) {
        ui.message(std::string("Nothing was searched: ") + error.what());
        return std::nullopt;
    }
}

std::vector<Shape> enquiry_hatch(const Enquiry &e, double spacing) {
    std::vector<Shape> lines;
    OGRGeometry *parsed = nullptr;
    if (OGRGeometryFactory::createFromWkt(e.shape.wkt.c_str(), nullptr, &parsed) != OGRERR_NONE)
        return lines;
    const OGRGeometryUniquePtr shape(parsed);
    OGRGeometryUniquePtr area;
    if (e.radius_m > 0)
        area.reset(shape->Buffer(e.radius_m));
    else if (e.shape.kind == EnquiryKind::Boundary)
        area.reset(shape->clone());
    if (area == nullptr || area->IsEmpty())
        return lines;
    OGREnvelope box;
    area->getEnvelope(&box);
    const double across = (box.MaxX - box.MinX) + (box.MaxY - box.MinY);
    const double step = std::max(spacing / state::kUnitsPerMetre, across / kMostHatchLines);
    if (!(step > 0))
        return lines;
    // Lines rising at 45 degrees, x - y constant, across the whole box.
    OGRMultiLineString hatch;
    for (double c = box.MinX - box.MaxY; c <= box.MaxX - box.MinY; c += step) {
        auto line = std::make_unique<OGRLineString>();
        line->addPoint(box.MinY + c, box.MinY);
        line->addPoint(box.MaxY + c, box.MaxY);
        hatch.addGeometryDirectly(line.release());
    }
    const OGRGeometryUniquePtr clipped(area->Intersection(&hatch));
    if (clipped != nullptr)
        add_lines(*clipped, lines);
    return lines;
}

void draw_enquiry_area(gdi::DeviceContext &dc, const state::ViewState &view, const Enquiry &e) {
    state::Set_Library_View(view);
    const gdi::Rop2 old_rop = dc.set_rop2(gdi::Rop2::CopyPen);
    const gdi::Brush old_brush = dc.select(gdi::Brush::null());
    const gdi::Pen old_pen = dc.select(gdi::Pen{gdi::PenStyle::Solid, 0, kAreaHatch});
    // World units per pixel: the view's height over the picture's.
    const double per_pixel = view.View_Scale > 0 ? 1.0 / view.View_Scale : 1.0;
    for (const Shape &line : enquiry_hatch(e, kHatchPixels * per_pixel)) {
        const std::vector<gdi::Point> pts = on_screen(line);
        dc.polyline(pts.data(), static_cast<int>(pts.size()));
    }
    dc.select(gdi::Pen{gdi::PenStyle::Solid, 2, kAreaOutline});
    for (const Shape &ring : enquiry_area(e)) {
        const std::vector<gdi::Point> pts = on_screen(ring);
        if (pts.size() == 1)
            dc.ellipse(pts[0].x - 4, pts[0].y - 4, pts[0].x + 5, pts[0].y + 5);
        else
            dc.polyline(pts.data(), static_cast<int>(pts.size()));
    }
    dc.select(gdi::Pen{gdi::PenStyle::Solid, 2, kShapeColour});
    for (const Shape &part : e.shape.parts) {
        const std::vector<gdi::Point> pts = on_screen(part);
        if (pts.size() == 1) {
            dc.move_to(pts[0].x - 5, pts[0].y);
            dc.line_to(pts[0].x + 6, pts[0].y);
            dc.move_to(pts[0].x, pts[0].y - 5);
            dc.line_to(pts[0].x, pts[0].y + 6);
        } else {
            dc.polyline(pts.data(), static_cast<int>(pts.size()));
        }
    }
    dc.select(old_pen);
    dc.select(old_brush);
    dc.set_rop2(old_rop);
}

} // namespace interrogation
