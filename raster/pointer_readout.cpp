#include "raster/pointer_readout.h"

#include "platform/base/text.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/base/numbers.h"

namespace raster {

namespace {

int32_t clamped(double v, int32_t lo, int32_t hi) {
    if (std::isnan(v))
        return lo;
    const double r = std::nearbyint(v);
    if (r <= lo)
        return lo;
    if (r >= hi)
        return hi;
    return static_cast<int32_t>(r);
}

int32_t nearest32(double v) {
    return clamped(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
}

// The first band's value at a cell, as the byte a height raster stores there; nullopt
// where the image has no cell (it holds fewer than its world-info file states) or no
// image at all.
std::optional<int32_t> byte_at(const std::shared_ptr<rasterlib::Image> &bitmap,
                               const RasterCell &cell) {
    double v = 0.0;
    if (!bitmap || !bitmap->read_pixel(1, cell.column, cell.row, v))
        return std::nullopt;
    return clamped(v, 0, 255);
}

LayerReading reading(const state::RasterEntry &e, size_t index, const RasterCell &cell) {
    if (index >= e.layers.size())
        return {}; // a layer never loaded: no label, no values
    const state::HeightLayer &layer = e.layers[index];
    return LayerReading{layer.label, layer.scale, layer.offset, byte_at(layer.bitmap, cell)};
}

bool has_value(const std::optional<int32_t> &byte) {
    return byte.has_value() && *byte != kNoByteValue;
}

} // namespace

RasterCell Raster_Cell(const state::RasterEntry &e, int32_t x, int32_t y) {
    const double rows_up = std::floor((static_cast<double>(y) - e.south) / e.pixel_height);
    RasterCell c;
    c.row = nearest32(static_cast<double>(e.rows) - rows_up - 1.0);
    c.column = nearest32(std::floor((static_cast<double>(x) - e.west) / e.pixel_width));
    return c;
}

bool Strictly_Contains(const state::RasterEntry &e, int32_t x, int32_t y) {
    return e.west < x && x < e.east && e.south < y && y < e.north;
}

int32_t Byte_Height(const state::RasterEntry &e, int32_t byte) {
    if (byte == kNoByteValue)
        return 0;
    const double low = e.lowest_height;
    const double high = e.highest_height;
    return nearest32((high - low) * byte / 255.0 + low);
}

SurfaceReadout Surface_Text(const std::vector<LayerReading> &layers) {
    SurfaceReadout r;
    const LayerReading surface = layers.empty() ? LayerReading{} : layers.front();
    int32_t height = 0;
    if (has_value(surface.byte)) {
        height = nearest32(static_cast<double>(*surface.byte) * surface.scale + surface.offset);
        r.height = height;
        r.text = text::trim_blanks(surface.label) + " Surface @" + num::Str(height);
    } else {
        r.text = surface.label + " No Surface @ ";
    }
    for (size_t k = 1; k < layers.size(); ++k) {
        const LayerReading &layer = layers[k];
        if (has_value(layer.byte)) {
            const int32_t depth =
                nearest32(static_cast<double>(*layer.byte) * layer.scale + layer.offset) - height;
            r.text += " Depth to: " + layer.label + " " + num::Str(depth);
        } else {
            r.text += " Depth to: " + layer.label + " Not Defined ";
        }
    }
    return r;
}

HeightReadout Height_Readout(const state::RasterTable &table, int32_t x, int32_t y) {
    HeightReadout out;
    for (int n = 1; n <= table.count(); ++n) {
        const state::RasterEntry &e = table.entry(n);
        if (e.raster_class < state::kHeightClassMin)
            continue;
        if (!Strictly_Contains(e, x, y)) {
            if (e.height_kind == state::kSurfaceModel)
                out.messages.emplace_back(kBeyondSurfaceModel);
            continue;
        }
        const RasterCell cell = Raster_Cell(e, x, y);
        if (e.height_kind == state::kSurfaceModel) {
            // Layer 1 is read even when the model has no layers: it then reports no surface.
            std::vector<LayerReading> layers{reading(e, 0, cell)};
            for (int32_t k = 2; k <= e.layer_count; ++k)
                layers.push_back(reading(e, static_cast<size_t>(k - 1), cell));
            SurfaceReadout s = Surface_Text(layers);
            out.height = s.height;
            out.messages.push_back(std::move(s.text));
        } else if (e.height_kind == state::kElevationGrid) {
            double v = 0.0;
            if (e.bitmap && e.bitmap->read_pixel(1, cell.column, cell.row, v)) {
                const int32_t value = clamped(v, std::numeric_limits<int16_t>::min(),
                                              std::numeric_limits<int16_t>::max());
                if (value != kNoElevation)
                    out.height = value;
            }
        } else {
            const std::optional<int32_t> byte = byte_at(e.bitmap, cell);
            out.height = byte ? Byte_Height(e, *byte) : 0;
        }
        break;
    }
    return out;
}

std::optional<std::string> Raster_Name_At(state::RasterTable &table, int32_t x, int32_t y) {
    for (int n = table.count(); n >= 1; --n) {
        state::RasterEntry &e = table.entry(n);
        if (!Strictly_Contains(e, x, y))
            continue;
        e.file_name = text::trim_blanks(e.file_name);
        const size_t cut = e.file_name.find_last_of("\\/");
        return cut == std::string::npos ? e.file_name : e.file_name.substr(cut + 1);
    }
    return std::nullopt;
}

} // namespace raster
