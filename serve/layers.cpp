#include "serve/layers.h"

#include <algorithm>
#include <filesystem>

#include "drawing/data_extent.h"
#include "drawing/drawing_index.h"
#include "drawing/drw_format.h"
#include "platform/base/files.h"
#include "view/navigation.h"

namespace serve {

namespace {

constexpr double kMetresPerUnit = 1.0 / state::kUnitsPerMetre;

Box units_box(double x0, double y0, double x1, double y1) {
    return Box{x0 * kMetresPerUnit, y0 * kMetresPerUnit, x1 * kMetresPerUnit, y1 * kMetresPerUnit};
}

// Where a drawing has anything, from its groups' boxes.
Box drawing_box(const state::DrawingEntry &e, drawing::DrawingCache &cache) {
    Box box;
    if (const std::optional<drawing::WorldExtent> w = drawing::drawing_extent(e, cache))
        box = units_box(w->x_min, w->y_min, w->x_max, w->y_max);
    return box;
}

Box points_box(const state::PointStore &points) {
    Box box;
    for (int32_t i = 0; i < points.count(); ++i) {
        const double x = points.easting(i), y = points.northing(i);
        box.add(units_box(x, y, x, y));
    }
    return box;
}

std::string stem_of(const std::string &path) {
    return std::filesystem::path(path).stem().string();
}

} // namespace

void Box::add(const Box &b) {
    if (!(b.max_x >= b.min_x && b.max_y >= b.min_y))
        return;
    min_x = std::min(min_x, b.min_x);
    min_y = std::min(min_y, b.min_y);
    max_x = std::max(max_x, b.max_x);
    max_y = std::max(max_y, b.max_y);
}

int ServiceLayers::find(std::string_view name) const {
    for (std::size_t i = 0; i < layers.size(); ++i)
        if (layers[i].name == name)
            return static_cast<int>(i);
    return -1;
}

ServiceLayers service_layers(const project::AppState &state, drawing::DrawingCache &cache) {
    ServiceLayers out;
    const auto unique = [&out](std::string name) {
        // Two drawings of one stem in different folders, or a drawing called "sites".
        const std::string base = name;
        for (int k = 2; out.find(name) >= 0 || name == kSitesLayer || name == kBackgroundLayer; ++k)
            name = base + "_" + std::to_string(k);
        return name;
    };
    if (state.rasters.count() >= 1) {
        const state::RasterEntry &r = state.rasters.entry(1);
        Layer l;
        l.kind = Layer::Kind::Background;
        l.name = kBackgroundLayer;
        l.title = r.description.empty() ? std::string("Background map") : r.description;
        l.box = units_box(r.west, r.south, r.east, r.north);
        out.layers.push_back(std::move(l));
    }
    for (int n = 1; n <= state.drawings.count(); ++n) {
        const state::DrawingEntry &e = state.drawings.entry(n);
        if (e.missing)
            continue;
        Layer l;
        l.kind = Layer::Kind::Drawing;
        l.drawing = n;
        l.name = unique(stem_of(e.file_name));
        l.title = state::period_name(n);
        if (l.title.empty())
            l.title = l.name;
        l.box = drawing_box(e, cache);
        out.layers.push_back(std::move(l));
    }
    if (!state.points.empty()) {
        Layer l;
        l.kind = Layer::Kind::Sites;
        l.name = kSitesLayer;
        l.title = "Sites";
        l.box = points_box(state.points);
        out.layers.push_back(std::move(l));
    }
    for (const Layer &l : out.layers)
        out.extent.add(l.box);
    if (out.extent.empty())
        out.extent = units_box(view::kMaxViewOriginX, view::kMaxViewOriginY,
                               view::kMaxViewOriginX + view::kMaxViewHeight,
                               view::kMaxViewOriginY + view::kMaxViewHeight);
    for (Layer &l : out.layers)
        if (l.box.empty())
            l.box = out.extent;
    return out;
}

} // namespace serve
