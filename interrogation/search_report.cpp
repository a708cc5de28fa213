#include "interrogation/search_report.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "interrogation/label_layout.h"
#include "platform/base/numbers.h"
#include "view/furniture.h"
#include "view/grid_ref.h"

namespace interrogation {

namespace {

// The map is drawn for print: at least this many pixels to the inch of paper.
constexpr double kPictureDpi = 300;
// Room around the searched area: this share of its larger side, at least 5 m.
constexpr double kMarginShare = 0.08;
constexpr double kLeastMargin = 5 * state::kUnitsPerMetre;
// A searched area smaller than this across is shown this large (a point, a short line).
constexpr double kLeastExtent = 20 * state::kUnitsPerMetre;

const QColor kSearchColour(230, 110, 0);
const QColor kBufferFill(255, 160, 0, 60);
const QColor kAreaFill(255, 160, 0, 28);
const QColor kHatch(230, 110, 0, 110);
const QColor kSiteColour(215, 0, 0);
const QColor kFeatureColour(190, 0, 150);
const QColor kGridColour(40, 40, 40, 160);
const QColor kGridText(0, 0, 255); // the map's own grid labels are blue
const QColor kBacking(255, 255, 255, 215);

std::string metres(double units) {
    char b[48];
    std::snprintf(b, sizeof b, "%.2f", units / state::kUnitsPerMetre);
    return b;
}

// A distance in metres as short as it reads: "50", "12.5".
std::string distance(double units) {
    return QString::number(units / state::kUnitsPerMetre, 'g', 12).toStdString();
}

std::string place(const ShapePoint &v) {
    return view::grid_reference(v.x, v.y) + " (" + metres(v.x) + " E, " + metres(v.y) + " N)";
}

std::string vertex_list(const Shape &shape) {
    std::string s = std::to_string(shape.size()) + " vertices: ";
    for (std::size_t i = 0; i < shape.size(); ++i)
        s += (i > 0 ? "; " : "") + std::to_string(i + 1) + ". " + place(shape[i]);
    return s;
}

// A box of world positions.
struct Box {
    double x0 = std::numeric_limits<double>::max(), y0 = x0;
    double x1 = std::numeric_limits<double>::lowest(), y1 = x1;
    void add(double x, double y, double grow = 0) {
        x0 = std::min(x0, x - grow);
        y0 = std::min(y0, y - grow);
        x1 = std::max(x1, x + grow);
        y1 = std::max(y1, y + grow);
    }
    bool empty() const { return x1 < x0; }
};

// What the map shows: the search shape with its buffer and everything marked.
Box searched_area(const SearchReport &report) {
    Box b;
    const SearchDescription &s = report.search;
    const double r = s.search_buffer / 2;
    const bool buffered = s.kind != SearchKind::Polygon && s.kind != SearchKind::Enquiry;
    for (const ShapePoint &v : s.vertices)
        b.add(v.x, v.y, buffered ? r : 0.0);
    for (const Shape &ring : s.area)
        for (const ShapePoint &v : ring)
            b.add(v.x, v.y);
    for (const Shape &part : s.parts)
        for (const ShapePoint &v : part)
            b.add(v.x, v.y);
    for (const Shape &mark : report.marks)
        for (const ShapePoint &v : mark)
            b.add(v.x, v.y);
    return b;
}

// The view the map picture is drawn in and how world positions land on the page.
struct MapFrame {
    state::ViewState view;
    int width_px = 1, height_px = 1;
    double scale = 1;      // pixels per world unit, as the library has it
    double xr = 0, yr = 0; // the view's corner as the library rounds it
    QRectF area;

    QPointF at(double x, double y) const {
        const double px = scale * (x - xr), py = height_px - scale * (y - yr);
        return {area.left() + px * area.width() / width_px,
                area.top() + py * area.height() / height_px};
    }
    // World units as a length on the page.
    double length(double units) const { return units * scale * area.width() / width_px; }
    double x_max() const { return xr + width_px / scale; }
    double y_max() const { return yr + height_px / scale; }
};

MapFrame frame_for(Box box, const QRectF &area, double dpi) {
    if (box.empty())
        box.add(0, 0);
    const double cx = (box.x0 + box.x1) / 2, cy = (box.y0 + box.y1) / 2;
    double w = std::max(box.x1 - box.x0, kLeastExtent), h = std::max(box.y1 - box.y0, kLeastExtent);
    const double margin = std::max(kMarginShare * std::max(w, h), kLeastMargin);
    w += 2 * margin;
    h += 2 * margin;
    MapFrame f;
    // The map takes the page's width whatever the searched area's shape: a tall area
    // shows the country either side of it.
    f.area = area;
    f.width_px = std::max(1, static_cast<int>(std::lround(f.area.width() / dpi * kPictureDpi)));
    f.height_px = std::max(1, static_cast<int>(std::lround(f.area.height() / dpi * kPictureDpi)));
    const double height = std::min(std::ceil(std::max(h, w * f.height_px / f.width_px)), 2.0e9);
    f.view.View_Height_Units = static_cast<int32_t>(height);
    f.scale = f.height_px / height;
    const double width = f.width_px / f.scale;
    f.view.View_X_Min = num::nearest(cx - width / 2);
    f.view.View_Y_Min = num::nearest(cy - height / 2);
    f.xr = f.view.View_X_Min;
    f.yr = f.view.View_Y_Min;
    return f;
}

QFont font_of(double points, bool bold = false) {
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// A text with a white ground behind it, its baseline's left end at `at`.
// The box backed_text() fills for text with its baseline's left end at `at`.
QRectF text_box(const QFontMetricsF &fm, QPointF at, const QString &text, double pad) {
    return QRectF(at.x() - pad, at.y() - fm.ascent() - pad, fm.horizontalAdvance(text) + 2 * pad,
                  fm.ascent() + fm.descent() + 2 * pad);
}

QRectF backed_text(QPainter &p, QPointF at, const QString &text, const QColor &colour, double pad,
                   const QColor &border = Qt::transparent) {
    const QFontMetricsF fm(p.font(), p.device());
    const QRectF box = text_box(fm, at, text, pad);
    p.setPen(border == Qt::transparent ? QPen(Qt::NoPen) : QPen(border, pad / 2));
    p.setBrush(kBacking);
    p.drawRect(box);
    p.setPen(colour);
    p.drawText(at, text);
    return box;
}

// The box moved up (or down) until it covers none of the boxes given.
QRectF clear_of(QRectF box, const std::vector<QRectF> &taken, bool upwards, double gap) {
    for (int round = 0; round < 8; ++round) {
        bool moved = false;
        for (const QRectF &t : taken)
            if (box.intersects(t)) {
                box.moveTop(upwards ? t.top() - gap - box.height() : t.bottom() + gap);
                moved = true;
            }
        if (!moved)
            break;
    }
    return box;
}

// The grid and its labels; the labels' boxes come back, for the furniture to keep clear of.
std::vector<QRectF> draw_grid(QPainter &p, const MapFrame &f,
                              const state::FurnitureSettings &furniture, double pt) {
    const double step = view::page_grid_step(f.view.View_Height_Units);
    p.setPen(QPen(kGridColour, 0.4 * pt, Qt::DashLine));
    std::vector<std::pair<double, bool>> lines; // coordinate, easting
    for (double x = std::ceil(f.xr / step) * step; x <= f.x_max(); x += step) {
        p.drawLine(f.at(x, f.yr), f.at(x, f.y_max()));
        lines.emplace_back(x, true);
    }
    for (double y = std::ceil(f.yr / step) * step; y <= f.y_max(); y += step) {
        p.drawLine(f.at(f.xr, y), f.at(f.x_max(), y));
        lines.emplace_back(y, false);
    }
    // Labelled as the map labels its grid: the same precision and the same characters left off.
    p.setFont(font_of(6.5));
    std::vector<QRectF> boxes;
    const QFontMetricsF fm(p.font(), p.device());
    for (const auto &[coord, easting] : lines) {
        int32_t omit = furniture.Omit_Chars;
        const QString label =
            QString::fromStdString(
                view::grid_label(static_cast<int32_t>(coord), furniture.Grid_Precision, omit))
                .trimmed();
        const QPointF at = easting ? f.at(coord, f.yr) : f.at(f.xr, coord);
        const QPointF baseline = easting ? QPointF(at.x() + 1.5 * pt, at.y() - 2 * pt)
                                         : QPointF(at.x() + 2 * pt, at.y() - 1.5 * pt);
        // Lines closer than their labels are wide (a wide map's eastings) are labelled
        // every other one or fewer, rather than one label over the next.
        const QRectF box = text_box(fm, baseline, label, 0.8 * pt);
        if (std::any_of(boxes.begin(), boxes.end(), [&](const QRectF &b) {
                return b.intersects(box.adjusted(-pt, -pt, pt, pt));
            }))
            continue;
        boxes.push_back(backed_text(p, baseline, label, kGridText, 0.8 * pt));
    }
    return boxes;
}

QPainterPath path_of(const MapFrame &f, const std::vector<Shape> &rings, bool closed) {
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (const Shape &ring : rings) {
        if (ring.empty())
            continue;
        path.moveTo(f.at(ring[0].x, ring[0].y));
        for (std::size_t i = 1; i < ring.size(); ++i)
            path.lineTo(f.at(ring[i].x, ring[i].y));
        if (closed)
            path.closeSubpath();
    }
    return path;
}

// The enquiry's area (the shape grown by the radius) outlined and lightly hatched, and
// the shape itself over it: a boundary or route drawn solid, a point as a cross.
void draw_enquiry(QPainter &p, const MapFrame &f, const SearchDescription &s, double pt) {
    const QPainterPath area = path_of(f, s.area, true);
    p.setPen(Qt::NoPen);
    p.setBrush(kAreaFill);
    p.drawPath(area);
    p.save();
    p.setClipPath(area, Qt::IntersectClip);
    p.setPen(QPen(kHatch, 0.5 * pt));
    const QRectF b = area.boundingRect();
    const double step = 5 * pt;
    for (double x = b.left() - b.height(); x < b.right(); x += step)
        p.drawLine(QPointF(x, b.bottom()), QPointF(x + b.height(), b.top()));
    p.restore();
    p.setPen(QPen(kSearchColour, 1.0 * pt, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawPath(area);
    const double c = 3 * pt;
    for (const Shape &part : s.parts) {
        if (part.size() == 1) {
            const QPointF at = f.at(part[0].x, part[0].y);
            p.setPen(QPen(kSearchColour, 1.2 * pt));
            p.drawLine(at + QPointF(-c, 0), at + QPointF(c, 0));
            p.drawLine(at + QPointF(0, -c), at + QPointF(0, c));
            continue;
        }
        p.setPen(QPen(kSearchColour, 1.5 * pt));
        p.drawPath(path_of(f, {part}, false));
    }
}

void draw_search(QPainter &p, const MapFrame &f, const SearchDescription &s, double pt) {
    if (s.kind == SearchKind::Enquiry) {
        draw_enquiry(p, f, s, pt);
        return;
    }
    if (s.vertices.empty())
        return;
    const double r = f.length(s.search_buffer / 2);
    QPainterPath shape;
    shape.moveTo(f.at(s.vertices[0].x, s.vertices[0].y));
    for (std::size_t i = 1; i < s.vertices.size(); ++i)
        shape.lineTo(f.at(s.vertices[i].x, s.vertices[i].y));
    const QPointF first = f.at(s.vertices[0].x, s.vertices[0].y);
    switch (s.kind) {
    case SearchKind::Point: {
        p.setPen(QPen(kSearchColour, pt, Qt::DashLine));
        p.setBrush(kBufferFill);
        p.drawEllipse(first, r, r);
        break;
    }
    case SearchKind::Polyline: {
        QPainterPathStroker corridor;
        corridor.setWidth(2 * r);
        corridor.setCapStyle(Qt::RoundCap);
        corridor.setJoinStyle(Qt::RoundJoin);
        p.setPen(QPen(kSearchColour, 0.6 * pt, Qt::DashLine));
        p.setBrush(kBufferFill);
        p.drawPath(corridor.createStroke(shape).simplified());
        p.setPen(QPen(kSearchColour, 1.5 * pt));
        p.setBrush(Qt::NoBrush);
        p.drawPath(shape);
        break;
    }
    case SearchKind::Polygon:
        shape.closeSubpath();
        p.setPen(QPen(kSearchColour, 1.5 * pt));
        p.setBrush(kBufferFill);
        p.drawPath(shape);
        break;
    case SearchKind::Planning:
    case SearchKind::Enquiry:
        break;
    }
    // The point searched from, or the shape's first vertex: a cross.
    const double c = 3 * pt;
    p.setPen(QPen(kSearchColour, 1.2 * pt));
    p.drawLine(first + QPointF(-c, 0), first + QPointF(c, 0));
    p.drawLine(first + QPointF(0, -c), first + QPointF(0, c));
}

// The drawn features an enquiry found, outlined (their numbers are in their own table).
void draw_outlines(QPainter &p, const MapFrame &f, const std::vector<Shape> &outlines, double pt) {
    p.setPen(QPen(kFeatureColour, 1.2 * pt));
    p.setBrush(Qt::NoBrush);
    for (const Shape &o : outlines)
        if (o.size() > 1)
            p.drawPath(path_of(f, {o}, false));
}

void draw_marks(QPainter &p, const MapFrame &f, const std::vector<Shape> &marks, double pt) {
    const double ring = 6 * pt;
    p.setFont(font_of(7, true));
    // The outlines first, so that no outline crosses a number.
    for (const Shape &m : marks)
        if (m.size() > 1) {
            QPolygonF outline;
            for (const ShapePoint &v : m)
                outline << f.at(v.x, v.y);
            p.setPen(QPen(kFeatureColour, 1.6 * pt));
            p.setBrush(Qt::NoBrush);
            p.drawPolygon(outline);
        }
    for (const Shape &m : marks)
        if (m.size() == 1) {
            p.setPen(QPen(kSiteColour, 1.2 * pt));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(f.at(m[0].x, m[0].y), ring, ring);
        }
    // The sites' numbers, placed so that none covers another (see label_layout.h).
    const QFontMetricsF fm(p.font(), p.device());
    const double pad = 0.8 * pt;
    std::vector<QPointF> centres;
    std::vector<QSizeF> sizes;
    std::vector<std::size_t> of;
    for (std::size_t i = 0; i < marks.size(); ++i)
        if (marks[i].size() == 1) {
            centres.push_back(f.at(marks[i][0].x, marks[i][0].y));
            sizes.push_back(text_box(fm, {}, QString::number(i + 1), pad).size());
            of.push_back(i);
        }
    const std::vector<RingLabel> labels = place_ring_labels(centres, sizes, ring, pad, f.area);
    for (std::size_t k = 0; k < labels.size(); ++k) {
        const QRectF &box = labels[k].box;
        if (labels[k].leader) {
            // From the ring's edge towards the label, to the label's nearest point.
            const QPointF c = centres[k];
            const QPointF to(std::clamp(c.x(), box.left(), box.right()),
                             std::clamp(c.y(), box.top(), box.bottom()));
            const QPointF d = to - c;
            const double len = std::hypot(d.x(), d.y());
            if (len > ring) {
                p.setPen(QPen(kSiteColour, 0.6 * pt));
                p.drawLine(c + d * (ring / len), to);
            }
        }
        const QPointF baseline(box.left() + pad, box.top() + pad + fm.ascent());
        backed_text(p, baseline, QString::number(of[k] + 1), kSiteColour, pad, kSiteColour);
    }
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const Shape &m = marks[i];
        if (m.size() < 2)
            continue;
        const QString number = QString::number(i + 1);
        {
            // On the outline's northernmost vertex: each number stands on its own outline
            // even where the features nest around the point searched.
            const ShapePoint top =
                *std::max_element(m.begin(), m.end(), [](const ShapePoint &a, const ShapePoint &b) {
                    return a.y < b.y;
                });
            const QRectF inside = f.area.adjusted(4 * pt, 10 * pt, -12 * pt, -4 * pt);
            const QPointF v = f.at(top.x, top.y);
            const QPointF at(std::clamp(v.x() - 2 * pt, inside.left(), inside.right()),
                             std::clamp(v.y() - 2 * pt, inside.top(), inside.bottom()));
            backed_text(p, at, number, kFeatureColour, 0.8 * pt, kFeatureColour);
        }
    }
}

void draw_scale_bar(QPainter &p, const MapFrame &f, const std::vector<QRectF> &grid_labels,
                    double pt) {
    const view::ScaleBarChoice bar = view::page_scale_bar(f.x_max() - f.xr);
    const double length = f.length(bar.length);
    const int divisions = bar.divisions;
    const double h = 4 * pt;
    p.setFont(font_of(7));
    const QFontMetricsF fm(p.font(), p.device());
    const QString label = QString::fromStdString(bar.label);
    QPointF origin(f.area.right() - length - fm.horizontalAdvance(label) - 14 * pt,
                   f.area.bottom() - 8 * pt);
    QRectF backing(origin.x() - 8 * pt, origin.y() - h - fm.height() - 4 * pt,
                   length + fm.horizontalAdvance(label) + 18 * pt, h + fm.height() + 8 * pt);
    // Above the grid's labels along the foot, never over them.
    const QRectF clear = clear_of(backing, grid_labels, true, pt);
    origin.ry() += clear.top() - backing.top();
    backing = clear;
    p.setPen(Qt::NoPen);
    p.setBrush(kBacking);
    p.drawRect(backing);
    for (int d = 0; d < divisions; ++d) {
        p.setPen(QPen(Qt::black, 0.5 * pt));
        p.setBrush(d % 2 == 0 ? Qt::black : Qt::white);
        p.drawRect(
            QRectF(origin.x() + d * length / divisions, origin.y() - h, length / divisions, h));
    }
    p.setPen(Qt::black);
    p.drawText(QPointF(origin.x() - fm.horizontalAdvance("0") / 2, origin.y() - h - 2 * pt), "0");
    p.drawText(QPointF(origin.x() + length + 3 * pt, origin.y()), label);
}

void draw_north_point(QPainter &p, const MapFrame &f, const std::vector<QRectF> &grid_labels,
                      double pt) {
    const QPointF corner(f.area.right() - 18 * pt, f.area.top() + 22 * pt);
    // Below any grid label it would cover.
    const QRectF round(corner - QPointF(16 * pt, 16 * pt), QSizeF(32 * pt, 32 * pt));
    const QPointF c = clear_of(round, grid_labels, false, pt).center();
    p.setPen(Qt::NoPen);
    p.setBrush(kBacking);
    p.drawEllipse(c, 14 * pt, 14 * pt);
    const view::NorthPoint n = view::page_north_point();
    const auto at = [&](const view::NorthPoint::At &a) { return c + QPointF(a.x * pt, a.y * pt); };
    const QPointF tip = at(n.tip), left = at(n.left_barb), right = at(n.right_barb);
    const QPointF notch = at(n.notch);
    p.setPen(QPen(Qt::black, 0.7 * pt));
    p.setBrush(Qt::black);
    p.drawPolygon(QPolygonF({tip, notch, left}));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({tip, right, notch}));
    p.setFont(font_of(8, true));
    const QFontMetricsF fm(p.font(), p.device());
    p.setPen(Qt::black);
    p.drawText(QPointF(c.x() - fm.horizontalAdvance("N") / 2, tip.y() - 1.5 * pt), "N");
}

void draw_picture(QPainter &p, const QRectF &area, project::Session &session,
                  const SearchReport &report) {
    const double dpi = p.device()->logicalDpiX();
    const double pt = dpi / 72;
    const MapFrame f = frame_for(searched_area(report), area, dpi);
    const QImage map = session.render_view(f.view, f.width_px, f.height_px);
    p.setClipRect(f.area);
    p.drawImage(f.area, map);
    p.setRenderHint(QPainter::Antialiasing);
    const std::vector<QRectF> grid_labels = draw_grid(p, f, session.state().furniture, pt);
    draw_search(p, f, report.search, pt);
    draw_outlines(p, f, report.feature_outlines, pt);
    draw_marks(p, f, report.marks, pt);
    draw_scale_bar(p, f, grid_labels, pt);
    draw_north_point(p, f, grid_labels, pt);
    p.setClipping(false);
    p.setPen(QPen(Qt::black, 0.8 * pt));
    p.setBrush(Qt::NoBrush);
    p.drawRect(f.area);
}

} // namespace

std::vector<Shape> site_marks(const state::PointStore &store, const SiteRows &rows,
                              const std::vector<int> &order) {
    std::vector<Shape> marks(order.size());
    for (std::size_t r = 0; r < order.size(); ++r) {
        const int at = order[r];
        if (at < 0 || at >= rows.count())
            continue;
        const auto &row = rows.rows[static_cast<std::size_t>(at)];
        if (row.size() < static_cast<std::size_t>(kPointColumn) ||
            !row[kPointColumn - 1].is_number())
            continue;
        const int64_t i = row[kPointColumn - 1].as_integer();
        if (i < 0 || i >= store.count())
            continue;
        const auto n = static_cast<int32_t>(i);
        marks[r] = Shape{ShapePoint{store.easting(n), store.northing(n), 0}};
    }
    return marks;
}

std::vector<Shape> feature_marks(const PlanningHits &hits) {
    std::vector<Shape> marks;
    marks.reserve(hits.hits.size());
    for (const PlanningHit &h : hits.hits)
        marks.push_back(h.outline);
    return marks;
}

grid::Sheet planning_sheet(const PlanningHits &hits) {
    grid::Sheet s(2, static_cast<int>(hits.hits.size()));
    s.set_text(1, 0, "Feature Class");
    s.set_text(2, 0, "Feature Name");
    for (std::size_t i = 0; i < hits.hits.size(); ++i) {
        const int r = static_cast<int>(i) + 1;
        s.set_text(1, r, QString::fromStdString(hits.hits[i].feature_class));
        s.set_text(2, r, QString::fromStdString(hits.hits[i].feature_name));
    }
    return s;
}

std::vector<std::string> report_lines(const SearchReport &report) {
    const SearchDescription &s = report.search;
    std::vector<std::string> lines;
    lines.push_back(kReportTimeLabel +
                    report.made.toString(QStringLiteral("yyyy-MM-dd HH:mm")).toStdString());
    lines.push_back("Project: " + project_name(report.project));
    const std::string within = distance(s.search_buffer / 2);
    const ShapePoint at = s.vertices.empty() ? ShapePoint{0, 0, 0} : s.vertices.front();
    switch (s.kind) {
    case SearchKind::Point:
        lines.push_back("Search: point data search, the sites within " + within + " m of " +
                        place(at));
        break;
    case SearchKind::Polygon:
        lines.push_back("Search: polygon search, the sites inside the polygon or on its edges; " +
                        vertex_list(s.vertices));
        break;
    case SearchKind::Polyline:
        lines.push_back("Search: polyline search, the sites within " + within + " m of the line; " +
                        vertex_list(s.vertices));
        break;
    case SearchKind::Planning:
        lines.push_back("Search: planning search, the drawn features whose polygons hold " +
                        place(at));
        break;
    case SearchKind::Enquiry:
        lines.push_back("Search: " + s.enquiry_line);
        break;
    }
    const int found = report.table != nullptr ? report.table->row_count() : 0;
    if (s.kind == SearchKind::Enquiry) {
        const int features = report.features != nullptr ? report.features->row_count() : 0;
        lines.push_back("Sites found: " + std::to_string(found) +
                        "; drawn features found: " + std::to_string(features));
        return lines;
    }
    const bool uses_buffer = s.kind == SearchKind::Point || s.kind == SearchKind::Polyline;
    lines.push_back("Buffer: " + distance(s.search_buffer) + " m" +
                    (uses_buffer ? "" : " (not used by this search)"));
    lines.push_back("Records found: " + std::to_string(found));
    return lines;
}

std::string project_name(const std::string &data_folder) {
    std::filesystem::path folder(data_folder);
    if (folder.filename().empty())
        folder = folder.parent_path();
    const std::string name = folder.filename().string();
    return name.empty() ? data_folder : name;
}

grid::Sheet printed_table(const grid::Sheet &table) {
    std::vector<int> kept;
    for (int c = 1; c <= table.column_count(); ++c) {
        const QString h = table.text(c, 0).trimmed();
        if (h == kDataRefHeader || h == kRecPosHeader || h == kSetHeader || h == kPointHeader)
            continue;
        kept.push_back(c);
    }
    const int rows = table.row_count();
    grid::Sheet out(static_cast<int>(kept.size()) + 1, rows);
    out.set_text(1, 0, QStringLiteral("No."));
    out.set_column_type(1, grid::CellType::Numeric, 0);
    for (int r = 1; r <= rows; ++r)
        out.set_value(1, r, r);
    for (std::size_t k = 0; k < kept.size(); ++k) {
        const int from = kept[k], to = static_cast<int>(k) + 2;
        out.set_column_type(to, table.column_type(from), table.column_decimals(from));
        out.set_text(to, 0, table.text(from, 0));
        for (int r = 1; r <= rows; ++r) {
            if (table.holds_number(from, r))
                out.set_value(to, r, table.value(from, r));
            else
                out.set_text(to, r, table.text(from, r));
        }
    }
    return out;
}

reports::Written write_search_report(project::Session &session, const SearchReport &report,
                                     const std::filesystem::path &path,
                                     const reports::Progress &progress) {
    reports::Document doc;
    doc.title = QString::fromStdString(report.title).trimmed();
    if (doc.title.isEmpty())
        doc.title = kReportTitle;
    for (const std::string &line : report_lines(report))
        doc.lines << QString::fromStdString(line);
    doc.picture = [&](QPainter &p, const QRectF &area) { draw_picture(p, area, session, report); };
    grid::Sheet printed;
    if (report.table != nullptr) {
        printed = printed_table(*report.table);
        doc.table = &printed;
    }
    doc.second_heading = QString::fromStdString(report.features_heading);
    doc.second_table = report.features;
    doc.creator = QStringLiteral("TAVI");
    doc.made = report.made;
    return reports::write_pdf(path, doc, progress);
}

} // namespace interrogation
