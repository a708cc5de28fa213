// One vector layer of any source OGR reads, written as a drawing with its index and
// object table, in the national grid (reprojected when the layer declares another
// coordinate system).
//
// Each feature becomes one group; features sharing a "group_no" value in a row (as the
// export writes them) share one. Polygons become polygon objects, one per ring: a
// drawing polygon holds a single ring, so holes become polygons of their own in the
// same group. Lines become polylines, points annotations; every part of a multi-part
// geometry is its own object in the feature's group. Curves are followed by straight
// segments. Collections of mixed geometry, surfaces and features without geometry are
// counted and left out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace convert {

struct ImportOptions {
    std::filesystem::path from;
    std::string layer;         // may be empty when the source holds one layer
    std::filesystem::path to;  // DIR/NAME.drw
    std::string name_field;    // group names; the layer's name without one
    std::string ref_field;     // object references
    std::optional<int> colour; // palette index for every object
    std::FILE *progress = stderr;
};

struct ImportReport {
    std::string layer;
    int64_t features = 0; // converted
    int64_t objects = 0;
    int64_t groups = 0;
    std::map<std::string, int64_t> refused; // geometry type name: features left out
    int64_t without_geometry = 0;
    int64_t texts_cut = 0; // names, references and texts longer than a field holds
    bool reprojected = false;
    bool assumed_grid = false; // the layer declares no coordinate system
    int64_t refused_total() const;
};

// Throws ConvertError, writing nothing, for a source, layer or field that is not there
// and for coordinates outside the national grid (east 0 to 700 km, north 0 to 1300 km).
ImportReport import_layer(const ImportOptions &options);

} // namespace convert
