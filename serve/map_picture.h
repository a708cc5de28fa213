// A GetMap picture: the layers asked for drawn by the map window's own content pass into
// a picture of the size asked for, edge to edge (without the frame the map window draws
// round its picture, so that tiles join), in the order given. For the same view and size
// the pixels are those of tavi-render with grid, scale bar and north point off.
#pragma once

#include <QImage>

#include <chrono>

#include "project/session.h"
#include "serve/layers.h"
#include "serve/wms_request.h"

namespace serve {

struct DrawnMap {
    QImage image;         // RGB32, or ARGB32 when the request asked for transparency
    bool stopped = false; // the deadline passed: the picture is unfinished
};

using Deadline = std::chrono::steady_clock::time_point;

// Draws the request's map with the session's drawings, rasters and plotted sites, in a
// view of its own: the session's view, picture and switches are as they were afterwards
// (the graphics library holds the view drawn, as after any pass). Drawing stops soon
// after the deadline (stopped is then set).
DrawnMap draw_map(project::Session &session, const ServiceLayers &layers, const MapRequest &m,
                  Deadline deadline);

// The view a request's box gives at a picture size: south-west corner and height in
// world units, and the size in pixels the graphics library draws at (the picture is
// stretched to the size asked for when the box's shape is not the picture's).
struct RequestView {
    double x_min = 0, y_min = 0;
    int32_t height_units = 1;
    int width = 1, height = 1;
};
RequestView request_view(const MapRequest &m);

} // namespace serve
