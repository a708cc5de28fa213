// The loaded rasters, numbered from 1 in load order. Entries are never removed while the
// program runs; the table is bounded and refuses rasters beyond its capacity.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/surface/rasterlib.h"

namespace state {

// Values of a raster's class (world-info item 12) and kind of heights (item 16).
inline constexpr uint8_t kHeightClassMin = 8;
inline constexpr uint8_t kSurfaceModel = 13;
inline constexpr uint8_t kElevationGrid = 20;

// One layer of a surface model: a byte image whose values scale to heights.
struct HeightLayer {
    std::shared_ptr<rasterlib::Image> bitmap; // none: the layer has no values anywhere
    float scale = 0.0f;
    float offset = 0.0f;
    std::string label; // at most 24 characters
};

struct RasterEntry {
    std::string description; // world-info item 1
    int32_t west = 0;
    int32_t south = 0;
    float pixel_width = 0.0f;
    float pixel_height = 0.0f;
    int32_t columns = 0; // as the world-info file states them, whatever the image holds
    int32_t rows = 0;
    int32_t east = 0;
    int32_t north = 0;
    float value_8 = 0.0f;
    float lowest_height = 0.0f;  // item 9
    float highest_height = 0.0f; // item 10
    int16_t value_11 = 0;
    uint8_t raster_class = 0; // item 12; from a raster list: the image's bits per pixel
    uint8_t value_13 = 0;
    uint8_t value_14 = 0;
    int16_t value_15 = 0;
    uint8_t height_kind = 0; // item 16
    std::string file_name;   // the image's path, trimmed
    uint8_t display = 0;     // 1: painted (entry 1 by every redraw)
    uint8_t from_list = 0;   // 1: loaded from a raster list
    int32_t layer_count = 0; // layers of a surface model
    std::vector<HeightLayer> layers;
    std::shared_ptr<rasterlib::Image> bitmap;
};

class RasterTable {
  public:
    static constexpr int kMaxRasters = 64;

    explicit RasterTable(int capacity = kMaxRasters) : capacity_(capacity) {}

    int count() const { return static_cast<int>(entries_.size()); }
    int capacity() const { return capacity_; }
    bool full() const { return count() >= capacity_; }
    // Entry n, numbered from 1. Precondition: 1 <= n <= count().
    RasterEntry &entry(int n) { return entries_.at(static_cast<size_t>(n - 1)); }
    const RasterEntry &entry(int n) const { return entries_.at(static_cast<size_t>(n - 1)); }
    // Appends an entry and returns its number, or 0 when the table is full.
    int add(RasterEntry e);
    // The first entry whose trimmed image name equals the trimmed name; 0 if none.
    int find(const std::string &image) const;
    // Frees every image (the end of the run).
    void clear() { entries_.clear(); }

  private:
    int capacity_;
    std::vector<RasterEntry> entries_;
};

} // namespace state
