// A map-service request read into one value and checked whole before anything is drawn:
// GetCapabilities, GetMap or GetFeatureInfo, with the layers as places in the service's
// list, the box in metres and the picture's size. Anything wrong is a ServiceException
// with the code a client expects.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "serve/layers.h"
#include "serve/parameters.h"

namespace serve {

inline constexpr int kMaxSide = 4096;              // pixels, each way
inline constexpr int64_t kMaxPixels = 16'000'000;  // pixels in one picture
inline constexpr std::size_t kMaxLayers = 64;      // layers named in one request
inline constexpr double kGridLimit = 10'000'000.0; // metres from the grid's origin
inline constexpr double kSmallestHeight = 0.01;    // metres: one world unit
inline constexpr int kMaxFeatureCount = 1000;
inline constexpr const char *kCrs = "EPSG:27700";

enum class ImageFormat { Png, Jpeg };
enum class InfoFormat { Json, Html, Xml };

const char *mime_type(ImageFormat f);
const char *mime_type(InfoFormat f);

struct CapabilitiesRequest {};

struct MapRequest {
    std::vector<int> layers; // places in ServiceLayers::layers, in the order given
    Box bbox;                // metres
    int width = 0, height = 0;
    ImageFormat format = ImageFormat::Png;
    bool transparent = false;
    uint32_t background = 0xFFFFFF; // 0xRRGGBB
};

struct FeatureInfoRequest {
    MapRequest map;
    std::vector<int> query_layers; // places in ServiceLayers::layers
    InfoFormat info_format = InfoFormat::Html;
    int i = 0, j = 0; // the pixel, from the top left
    int feature_count = 1;
};

using WmsRequest = std::variant<CapabilitiesRequest, MapRequest, FeatureInfoRequest>;

// Reads and checks the parameters of a request to the service; ServiceException when
// they do not make a request it can answer.
WmsRequest parse_wms(const Parameters &p, const ServiceLayers &layers);

// The request's values in one fixed form (for the cache's tag): the same request however
// it was spelt gives the same text.
std::string canonical(const MapRequest &m);

} // namespace serve
