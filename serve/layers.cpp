#include "serve/layers.h"

#include <algorithm>
#include <filesystem>

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

// Where a drawing has anything, from its index's group boxes; empty without an index.
Box drawing_box(const state::DrawingEntry &e) {
    Box box;
    if (!e.has_index)
        return box;
    const drawing::DrawingIndex index =
        drawing::DrawingIndex::read(files::resolve(files::with_extension3(e.file_name, "zix")));
    int32_t divisor = 1;
    for (std::size_t i = 0; i < index.size(); ++i) {
        const drawing::IndexEntry &r = index[i];
        if (const int32_t d = drawing::divisor_of_kind(r.kind); d != 0)
            divisor = d;
        // Entries that are not groups hold no box (zeros): they are not at the grid's origin.
        if (r.x_max < r.x_min || r.y_max < r.y_min || (r.x_min == 0 && r.y_min == 0))
            continue;
        box.add(units_box(double(r.x_min) / divisor, double(r.y_min) / divisor,
                          double(r.x_max) / divisor, double(r.y_max) / divisor));
    }
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

ServiceLayers service_layers(const project::AppState &state) {
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
        l.box = drawing_box(e);
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
