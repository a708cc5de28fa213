#include "interrogation/planning_search.h"

#include <limits>
#include <utility>

#include "drawing/drw_reader.h"
#include "interrogation/geometry.h"
#include "interrogation/index_walk.h"
#include "interrogation/mouse_tools.h"
#include "platform/base/files.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"
#include "view/grid_ref.h"

namespace interrogation {

namespace {

// The drawing of the excavated areas, whose groups are named by site codes.
constexpr int32_t kExcavatedAreasDrawing = 8;
// Period text references are numbered by era; era 5 is the first drawing.
constexpr int32_t kFirstEra = 5;

// The point and buffer in the units a group is stored in: tenths for kind 10, whole
// units otherwise.
struct InUnits {
    int64_t x = 0, y = 0;
    double buffer = 0.0;
};
InUnits in_units(int16_t kind, int32_t wx, int32_t wy, double buffer) {
    const int32_t scale = kind == drawing::kKindTenths ? 10 : 1;
    return {static_cast<int64_t>(wx) * scale, static_cast<int64_t>(wy) * scale, buffer * scale};
}

void search_group(files::BinaryFile &drw, const drawing::IndexRecord &r, const InUnits &p,
                  int32_t drawing_number, Shape &shape, std::vector<PlanningHit> &hits) {
    if (!drawing::seek_unit(drw, r.first_unit))
        return;
    drawing::DrawingWalker walk(drw);
    // The record names its group's first unit; anything else there names no group.
    if (!walk.next() || walk.kind() != drawing::DrawingWalker::Kind::Group)
        return;
    const std::string name = drawing::trimmed(r.name);
    // Coordinates outside 32 bits cannot lie in any drawn polygon.
    constexpr int64_t lo = std::numeric_limits<int32_t>::min();
    constexpr int64_t hi = std::numeric_limits<int32_t>::max();
    if (p.x < lo || p.x > hi || p.y < lo || p.y > hi)
        return;
    const auto px = static_cast<int32_t>(p.x), py = static_cast<int32_t>(p.y);
    while (walk.next()) {
        const auto kind = walk.kind();
        if (kind == drawing::DrawingWalker::Kind::Group ||
            kind == drawing::DrawingWalker::Kind::EndMark)
            break;
        if (kind != drawing::DrawingWalker::Kind::Object || walk.code() != drawing::kCodePolygon)
            continue;
        const int32_t n = walk.point_count();
        if (n < 3)
            continue;
        shape.assign(walk.points(), walk.points() + n);
        shape.push_back(shape.front());
        if (vbPolyProcess(shape, n, px, py, p.buffer).result != kInside)
            continue;
        PlanningHit hit;
        hit.feature_name = name;
        hit.feature_class = name.find("RE") != std::string::npos
                                ? std::string(kExcavatedAreaClass)
                                : drawing::trimmed(walk.object().text2);
        hit.drawing = drawing_number;
        hit.first_unit = r.first_unit;
        hit.outline.assign(shape.begin(), shape.begin() + n + 1);
        if (r.kind == drawing::kKindTenths)
            for (ShapePoint &v : hit.outline) {
                v.x = num::nearest(v.x / 10.0);
                v.y = num::nearest(v.y / 10.0);
            }
        hits.push_back(std::move(hit));
    }
}

void search_drawing(const state::DrawingEntry &e, int32_t drawing_number, int32_t wx, int32_t wy,
                    double buffer, Shape &shape, std::vector<PlanningHit> &hits) {
    const UnitBox box{wx - buffer, wy - buffer, wx + buffer, wy + buffer};
    for_each_group_in_box(e, box, [&](files::BinaryFile &drw, const drawing::IndexRecord &r) {
        search_group(drw, r, in_units(r.kind, wx, wy, buffer), drawing_number, shape, hits);
    });
}

} // namespace

PlanningHits planning_hits(const state::DrawingTable &drawings, int32_t wx, int32_t wy,
                           double search_buffer) {
    PlanningHits out;
    int32_t east = wx, north = wy;
    std::string letters;
    view::Zent_to_NGR(east, north, letters);
    out.label = "Search @ " + letters + " " + num::Str(east) + "/" + num::Str(north);
    Shape shape;
    for (int d = 1; d <= drawings.count(); ++d) {
        const state::DrawingEntry &e = drawings.entry(d);
        if (!e.active || e.missing)
            continue;
        search_drawing(e, d, wx, wy, search_buffer, shape, out.hits);
    }
    return out;
}

PlanningHits Planning_Search_Object(const state::DrawingTable &drawings,
                                    const state::SettingsValues &settings,
                                    state::InteractionState &interaction, int32_t wx, int32_t wy,
                                    const state::UiHooks &ui) {
    ui.pointer(state::kPointerBusy);
    PlanningHits hits = planning_hits(drawings, wx, wy, settings.Search_Buffer);
    interaction.Tool_Code = state::ToolCode::None;
    ui.pointer(interaction.Cursor_Style + 1);
    return hits;
}

std::string raz_reference(const PlanningHit &hit) {
    const auto is_reference = [](const std::string &s) {
        return s.find("RE") != std::string::npos || s.find('.') != std::string::npos;
    };
    if (is_reference(hit.feature_name) || !is_reference(hit.feature_class))
        return hit.feature_name;
    return hit.feature_class;
}

int32_t drawing_of_reference(const std::string &reference) {
    int32_t n = 0;
    const std::size_t dot = reference.find('.');
    if (dot != std::string::npos)
        n = static_cast<int32_t>(num::Val(reference.substr(0, dot))) - (kFirstEra - 1);
    if (reference.find("RE") != std::string::npos)
        n = kExcavatedAreasDrawing;
    return n;
}

} // namespace interrogation
