// What the rasters say about the point under the mouse: the height for the coordinate
// readout, and the name of the raster a click falls on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "state/raster_table.h"

namespace raster {

// The image cell under a world point of a raster: row 0 at the northern edge.
struct RasterCell {
    int32_t row = 0;
    int32_t column = 0;
};
RasterCell Raster_Cell(const state::RasterEntry &e, int32_t x, int32_t y);

// The extent test of the readout and the click: strictly inside, edges excluded.
bool Strictly_Contains(const state::RasterEntry &e, int32_t x, int32_t y);

// Elevation grids hold heights in world units; this value marks a cell without one.
inline constexpr int32_t kNoElevation = 32727;
// 8-bit height rasters and surface-model layers mark a cell without a value so.
inline constexpr int32_t kNoByteValue = 255;

// Height of an 8-bit height raster's byte: 0 for the no-value byte, else the byte
// scaled between the raster's lowest and highest height.
int32_t Byte_Height(const state::RasterEntry &e, int32_t byte);

// One layer value read for the surface-model text; nullopt when the layer has none.
struct LayerReading {
    std::string label;
    float scale = 0.0f;
    float offset = 0.0f;
    std::optional<int32_t> byte;
};

// The surface-model text for the layers' values at a point (layer 1 is the surface,
// the others give depths below it), and the height it reports: 0 without a surface.
struct SurfaceReadout {
    std::string text;
    int32_t height = 0;
};
SurfaceReadout Surface_Text(const std::vector<LayerReading> &layers);

// The readout of a mouse move over the loaded rasters: the height found (0 = none, the
// value of Current_Height) and the status texts to show, in order.
struct HeightReadout {
    int32_t height = 0;
    std::vector<std::string> messages;
};
HeightReadout Height_Readout(const state::RasterTable &table, int32_t x, int32_t y);

inline const char *const kBeyondSurfaceModel = "Mouse is beyond limits of surface model";

// The raster a click at (x, y) falls on, searched from the last loaded to the first: its
// file name is trimmed in the table, and the part after the last separator is returned
// for the status bar's second panel. nullopt when the click is outside every raster.
std::optional<std::string> Raster_Name_At(state::RasterTable &table, int32_t x, int32_t y);

} // namespace raster
