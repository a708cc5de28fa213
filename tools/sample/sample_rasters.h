// Raster images for the sample project and the benchmarks: a pale background map of a
// walled river town among fields, an elevation grid of the same ground, and a large
// tiled map for timing. Everything is computed from the position alone, so every run
// writes the same bytes.
//
// Each image is a plain TIFF (no georeferencing tags: the world-information file places
// it) with that file beside it, named as the image with its last three characters
// replaced by "zwi". The items written:
//    1 description (quoted)      2 west   3 south        (world units, hundredths of a metre)
//    4 pixel width  5 pixel height (world units per column / row)
//    6 columns      7 rows
//    8 0            9 lowest height  10 highest height   (world units; 0 0 on maps)
//   11 0           12 raster class  13 0  14 0  15 0
//   16 kind of heights
// Background maps: class 0 and kind 0, so the height readout passes over them.
// Elevation grids: class 16 (they are 16-bit) and kind 20; cells without a height hold
// 32727, which the file also names as its no-data value.
#pragma once

#include <cstdint>
#include <string>

namespace sample {

struct RasterBox {
    int32_t west = 0;
    int32_t south = 0;
    int32_t east = 0;
    int32_t north = 0;
};

// Where the map's features lie, in world units.
struct MapLayout {
    double centre_x = 0, centre_y = 0; // the walled town
    double town_radius = 0;
    double river_west_x = 0, river_west_y = 0; // the river's ends; it meanders between them
    double river_east_x = 0, river_east_y = 0;
    double river_width = 0;
    double street_spacing = 0;
    double street_width = 0;

    // A town in the middle of the box, a river a little south of it.
    static MapLayout for_box(const RasterBox &box);
};

enum class MapColours { Paletted, Rgb };

struct RasterWritten {
    bool ok = false;
    std::string error;
    std::string image;      // the TIFF
    std::string world_info; // its .zwi
    int32_t columns = 0;
    int32_t rows = 0;
};

// A background map covering box at pixel_size world units per pixel (the image reaches
// to the next whole pixel east and north of the box): 8-bit with a colour table, or
// 24-bit RGB; tiled, LZW-compressed, with reduced-resolution copies for zoomed-out views.
RasterWritten write_background_map(const std::string &image_path, const RasterBox &box,
                                   float pixel_size, MapColours colours, const MapLayout &layout);

// An elevation grid of 16-bit signed heights in world units over box: a valley along the
// river, low hills, the town on a rise, and a corner never surveyed (no-data cells).
RasterWritten write_elevation_grid(const std::string &image_path, const RasterBox &box,
                                   float pixel_size, const MapLayout &layout);

// A large RGB background map of columns x rows pixels stretched over box, tiled and
// LZW-compressed with reduced-resolution copies: the worst case for painting speed.
RasterWritten write_large_map(const std::string &image_path, const RasterBox &box, int32_t columns,
                              int32_t rows, const MapLayout &layout);

} // namespace sample
