#include "raster/world_info.h"

#include "platform/base/text.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "platform/base/files.h"
#include "platform/base/numbers.h"

namespace raster {

namespace {

constexpr size_t kItemCount = 16;

template <typename Int> bool integer(const std::string &item, Int &out) {
    double v = 0.0;
    if (!num::field_number(item, v))
        return false;
    const double r = std::nearbyint(v);
    if (r < static_cast<double>(std::numeric_limits<Int>::min()) ||
        r > static_cast<double>(std::numeric_limits<Int>::max()))
        return false;
    out = static_cast<Int>(r);
    return true;
}

bool real(const std::string &item, float &out) {
    double v = 0.0;
    if (!num::field_number(item, v) || std::fabs(v) > FLT_MAX)
        return false;
    out = static_cast<float>(v);
    return true;
}

// An edge computed from a corner and a size, or false when it leaves the 32-bit grid.
bool edge(int32_t origin, int32_t count, float size, int32_t &out) {
    const double r = std::nearbyint(static_cast<double>(origin) +
                                    static_cast<double>(count) * static_cast<double>(size));
    if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
        return false;
    out = static_cast<int32_t>(r);
    return true;
}

} // namespace

WorldInfoResult parse_world_info(std::string_view text) {
    const std::vector<std::string> items = text::split_fields(text, text::BlankLines::Skipped);
    if (items.size() < kItemCount)
        return {std::nullopt, WorldInfoError::Incomplete};
    WorldInfo w;
    w.description = items[0].substr(0, kDescriptionLength);
    const bool ok = integer(items[1], w.west) && integer(items[2], w.south) &&
                    real(items[3], w.pixel_width) && real(items[4], w.pixel_height) &&
                    integer(items[5], w.columns) && integer(items[6], w.rows) &&
                    real(items[7], w.value_8) && real(items[8], w.lowest_height) &&
                    real(items[9], w.highest_height) && integer(items[10], w.value_11) &&
                    integer(items[11], w.raster_class) && integer(items[12], w.value_13) &&
                    integer(items[13], w.value_14) && integer(items[14], w.value_15) &&
                    integer(items[15], w.height_kind);
    // Painting and the height readout divide by the pixel sizes and count cells from the
    // edges: a placement without a positive size places nothing.
    if (!ok || !(w.pixel_width > 0.0f) || !(w.pixel_height > 0.0f) || w.columns < 1 || w.rows < 1 ||
        !edge(w.west, w.columns, w.pixel_width, w.east) ||
        !edge(w.south, w.rows, w.pixel_height, w.north))
        return {std::nullopt, WorldInfoError::Unusable};
    return {w, WorldInfoError::None};
}

WorldInfoResult read_world_info(const std::string &path) {
    return parse_world_info(files::read_text(files::resolve(path)));
}

std::string world_info_message(WorldInfoError error, const std::string &path) {
    switch (error) {
    case WorldInfoError::Incomplete:
        return "World info missing or incomplete: " + path;
    case WorldInfoError::Unusable:
        return "World info not usable: " + path;
    case WorldInfoError::None:
        break;
    }
    return {};
}

} // namespace raster
