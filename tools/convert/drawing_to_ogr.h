// One drawing's objects as OGR features: polygons as polygons, polylines as line
// strings, annotations as points with their text, each with the attributes of
// drawing_fields.h, coordinates in metres of the national grid.
#pragma once

#include <gdal.h>
#include <ogr_api.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/convert/drawing_fields.h"
#include "tools/convert/drawing_objects.h"
#include "tools/convert/ogr_support.h"
#include "tools/convert/palette.h"

namespace convert {

// A world coordinate in metres as exact decimal text: "496400.25" for 49640025 whole
// units, "49640.001" for 49640001 tenths.
std::string metres_text(int32_t value, int32_t divisor);

// An OGR layer taking drawn objects.
class DrawingLayer {
  public:
    // Creates the layer. geometry: wkbUnknown for a layer of any kind of object, else the
    // one kind it takes. drawing_field: a "drawing" field naming each feature's drawing
    // (for outputs holding a single layer).
    DrawingLayer(GDALDatasetH ds, const std::string &name, OGRwkbGeometryType geometry, bool has_z,
                 OGRSpatialReferenceH srs, const Palette &palette, bool drawing_field);

    // Everything written between begin() and commit() is one transaction, where the
    // format has them: one per layer is what makes large exports fast.
    void begin();
    void commit();

    // Writes one object; layer_names come from the drawing's layer table.
    void write(const DrawnObject &o, const std::string &drawing,
               const std::array<std::string, 256> &layer_names);

    const std::string &name() const { return name_; }
    int64_t written() const { return written_; }

  private:
    OGRGeometryH geometry_of(const DrawnObject &o);
    void set_text(int field, const std::string &drawing_text);

    GDALDatasetH ds_;
    OGRLayerH layer_ = nullptr;
    std::string name_;
    const Palette &palette_;
    bool z_;
    Feature feature_;
    int index_[fields::Count]{};
    int drawing_index_ = -1;
    int dxf_layer_index_ = -1; // the DXF writer's own "Layer" field
    bool in_transaction_ = false;
    int64_t written_ = 0;
    std::vector<double> xs_, ys_, zs_;
};

} // namespace convert
