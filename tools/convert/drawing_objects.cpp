#include "tools/convert/drawing_objects.h"

#include "drawing/drw_reader.h"
#include "platform/base/files.h"
#include "tools/convert/convert_error.h"

namespace convert {

namespace {

using drawing::DrawingWalker;

files::BinaryFile open_drawing(const std::filesystem::path &drw) {
    auto f = files::BinaryFile::open_existing(drw, 1 << 20);
    if (!f.is_open())
        throw ConvertError("cannot read the drawing " + drw.string());
    return f;
}

// Walks the file, keeping the group in force. A group kind that names no units (not
// 0, 1 or 10) leaves the units of the group before it, as the display does.
template <typename OnElement> void walk(const std::filesystem::path &drw, OnElement on_element) {
    files::BinaryFile f = open_drawing(drw);
    DrawingWalker w(f);
    DrawnGroup group;
    int groups = 0;
    bool in_layer_table = false;
    while (w.next()) {
        if (w.kind() == DrawingWalker::Kind::Group) {
            const drawing::GroupRecord &g = w.group();
            in_layer_table = drawing::trimmed(g.name) == drawing::kLayerTableName;
            group.name = drawing::trimmed(g.name);
            group.kind = g.kind;
            if (const int32_t d = drawing::divisor_of_kind(g.kind); d != 0)
                group.divisor = d;
            if (!in_layer_table)
                group.number = ++groups;
        }
        on_element(w, group, in_layer_table);
    }
}

bool is_shown(const DrawingWalker &w) {
    return (w.kind() == DrawingWalker::Kind::Object &&
            (w.code() == drawing::kCodePolygon || w.code() == drawing::kCodePolyline)) ||
           w.kind() == DrawingWalker::Kind::Annotation;
}

} // namespace

DrawingSurvey survey_drawing(const std::filesystem::path &drw) {
    DrawingSurvey s;
    walk(drw, [&](const DrawingWalker &w, const DrawnGroup &, bool) {
        if (!w.complete())
            s.damaged = true;
        if (w.kind() == DrawingWalker::Kind::Layer) {
            const drawing::LayerRecord &l = w.layer();
            if (l.number >= 0 && l.number <= 255)
                s.layer_names[static_cast<std::size_t>(l.number)] = drawing::trimmed(l.name);
            return;
        }
        if (w.kind() == DrawingWalker::Kind::Object && !is_shown(w)) {
            ++s.hidden;
            return;
        }
        if (!is_shown(w))
            return;
        if (w.point_count() == 0) {
            ++s.empty;
            return;
        }
        if (w.kind() == DrawingWalker::Kind::Annotation)
            ++s.annotations;
        else if (w.code() == drawing::kCodePolygon)
            ++s.polygons;
        else
            ++s.polylines;
        for (int32_t k = 0; k < w.point_count() && !s.has_z; ++k)
            s.has_z = w.points()[k].z != 0;
    });
    return s;
}

void read_drawing(const std::filesystem::path &drw,
                  const std::function<void(const DrawnObject &)> &each) {
    DrawnObject o;
    walk(drw, [&](const DrawingWalker &w, const DrawnGroup &group, bool) {
        if (!is_shown(w) || w.point_count() == 0)
            return;
        o.group = &group;
        o.points =
            std::span<const ZT_Point3>(w.points(), static_cast<std::size_t>(w.point_count()));
        if (w.kind() == DrawingWalker::Kind::Annotation) {
            const drawing::AnnotationRecord &a = w.annotation();
            o.kind = ObjectKind::Annotation;
            o.colour = a.colour;
            o.fill = a.fill;
            o.layer = a.layer;
            o.pen_style = (a.pen_style == 0 ? 1 : a.pen_style) - 1;
            o.line_width = a.line_width;
            o.text = drawing::trimmed(a.text1);
            o.reference = drawing::trimmed(a.text2);
        } else {
            const drawing::ObjectHeader &h = w.object();
            o.kind = w.code() == drawing::kCodePolygon ? ObjectKind::Polygon : ObjectKind::Polyline;
            o.colour = h.colour;
            o.fill = h.fill;
            o.layer = h.layer;
            o.pen_style = (h.pen_style == 0 ? 1 : h.pen_style) - 1;
            o.line_width = h.line_width;
            o.text = drawing::trimmed(h.text1);
            o.reference = drawing::trimmed(h.text2);
        }
        each(o);
    });
}

} // namespace convert
