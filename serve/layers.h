// The layers the service offers, fixed when a worker opens the project: one per drawing
// of the project (named by its file's stem, titled by its period), the site points
// ("sites") and the background maps ("background"). A request names layers only from
// this list, so no part of it ever names a file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "drawing/drawing_cache.h"
#include "project/app_state.h"

namespace serve {

// A box in national-grid metres; the default box holds nothing, and grows by add().
struct Box {
    double min_x = kNothing, min_y = kNothing, max_x = -kNothing, max_y = -kNothing;
    static constexpr double kNothing = 1e300;
    bool empty() const { return !(max_x > min_x && max_y > min_y); }
    void add(const Box &b);
};

inline constexpr const char *kSitesLayer = "sites";
inline constexpr const char *kBackgroundLayer = "background";

struct Layer {
    enum class Kind { Drawing, Sites, Background };
    Kind kind = Kind::Drawing;
    std::string name;
    std::string title;
    int drawing = 0; // Kind::Drawing: its entry in the drawing table, from 1
    Box box;         // where it has anything; empty: unknown (the project's box stands in)
    bool queryable() const { return kind != Kind::Background; }
};

struct ServiceLayers {
    std::vector<Layer> layers;
    Box extent; // every layer's box together (the project's maximum view when none is known)
    // The layer of that name (names compared exactly), as its place in the list; -1: none.
    int find(std::string_view name) const;
};

// The layers of the project the state has loaded: its drawings that are there, the site
// points when any are plotted, the background when a raster is loaded.
ServiceLayers service_layers(const project::AppState &state, drawing::DrawingCache &cache);

} // namespace serve
