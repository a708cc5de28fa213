// The GetCapabilities document: the service, the operations with their formats, and the
// layers with their boxes on the national grid and in longitude and latitude.
#pragma once

#include <string>

#include "serve/layers.h"

namespace serve {

// url is where clients send requests (the service's /wms); title names the project.
std::string capabilities(const ServiceLayers &layers, const std::string &url,
                         const std::string &title);

// A box on the national grid as west, south, east and north in degrees; the box itself
// when the coordinate systems are not to be had.
Box geographic_box(const Box &grid);

} // namespace serve
