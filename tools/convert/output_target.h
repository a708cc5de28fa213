// Where an export goes: the OGR driver chosen from the output's name, what that format
// can hold, and a staging place beside the output, so that a failed conversion never
// leaves a half-written file where the user expects a finished one.
#pragma once

#include <filesystem>
#include <string>

namespace convert {

struct OutputFormat {
    std::string driver;         // OGR driver name
    bool folder = false;        // the output is a folder of files (one per layer)
    bool one_layer = false;     // the output holds a single layer
    bool mixed_geometry = true; // a layer may hold polygons, lines and points together
};

// The format for an output path: by its extension (.gpkg, .geojson, .dxf, .fgb, .shp and
// whatever else an OGR driver that creates vector data claims); a path without extension
// or an existing folder is a folder of Shapefiles. Throws ConvertError for an extension
// no driver writes.
OutputFormat choose_format(const std::filesystem::path &out);

// A temporary folder beside the final output. The output is first written to path(),
// with any companion files beside it; commit() moves them into place (each file
// replaces the old one of its name; a folder's files join the folder); otherwise the
// destructor removes it all.
class Staging {
  public:
    Staging(const std::filesystem::path &final_path, bool folder);
    ~Staging();
    Staging(const Staging &) = delete;
    Staging &operator=(const Staging &) = delete;

    const std::filesystem::path &path() const { return staged_; }
    void commit();

  private:
    std::filesystem::path final_, dir_, staged_;
    bool folder_;
};

} // namespace convert
