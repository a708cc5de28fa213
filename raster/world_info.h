// World-information files (".zwi"): where a raster image lies on the national grid.
//
// A text file of sixteen items separated by commas or line ends, a text item optionally
// in double quotes:
//    1 description            text
//    2 west, 3 south          world units of the image's left and bottom edges
//    4, 5 pixel width, height world units per column and per row
//    6, 7 columns, rows       the image size the placement was made for
//    8, 9, 10                 reals; 9 and 10 are the lowest and highest height an 8-bit
//                             height raster's bytes 0 and 255 stand for
//   11                        16-bit integer
//   12, 13, 14                bytes; 12 is the raster's class: 8 or more marks a raster
//                             that the pointer's height readout reads
//   15                        16-bit integer
//   16                        byte: the kind of heights (13 surface model, 20 elevation
//                             grid of 16-bit values, anything else 8-bit heights)
// Anything after the sixteenth item is ignored. Row 0 of the image is its northern edge.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace raster {

struct WorldInfo {
    std::string description; // at most 512 characters
    int32_t west = 0;
    int32_t south = 0;
    float pixel_width = 0.0f;
    float pixel_height = 0.0f;
    int32_t columns = 0;
    int32_t rows = 0;
    float value_8 = 0.0f;
    float lowest_height = 0.0f;  // item 9
    float highest_height = 0.0f; // item 10
    int16_t value_11 = 0;
    uint8_t raster_class = 0; // item 12
    uint8_t value_13 = 0;
    uint8_t value_14 = 0;
    int16_t value_15 = 0;
    uint8_t height_kind = 0; // item 16
    int32_t east = 0;        // west + columns x pixel width, to the nearest unit
    int32_t north = 0;       // south + rows x pixel height, to the nearest unit
};

inline constexpr size_t kDescriptionLength = 512;

enum class WorldInfoError {
    None,
    Incomplete, // missing file, or fewer than sixteen items
    Unusable,   // an item that is not a number or does not fit, or a placement that
                // cannot be drawn (pixel sizes, columns or rows not above 0, edges
                // beyond the grid's range)
};

struct WorldInfoResult {
    std::optional<WorldInfo> info;
    WorldInfoError error = WorldInfoError::None;
};

WorldInfoResult parse_world_info(std::string_view text);

// Reads the file; backslashes and mismatched case in the path are resolved as for
// every data-folder file.
WorldInfoResult read_world_info(const std::string &path);

// The status text for a world-information file that places nothing.
std::string world_info_message(WorldInfoError error, const std::string &path);

} // namespace raster
