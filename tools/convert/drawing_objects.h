// A drawing read as the objects a map shows: polygons, polylines and annotations, each
// with its group and look, in file order. Objects that are never shown (hidden objects,
// header-only objects with their loose points) and the layer table are counted, not
// returned: a map outside the viewer has no use for them.
//
// The drawing format has no symbol objects: point symbols belong to the site list,
// which is exported from the site database instead.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

#include "drawing/drw_format.h"

namespace convert {

enum class ObjectKind { Polygon, Polyline, Annotation };

struct DrawnGroup {
    std::string name;    // trimmed
    int16_t kind = 1;    // as stored
    int32_t divisor = 1; // 1 for whole units, 10 for tenths
    int number = 0;      // 1, 2, ... in file order, the layer table not counted
};

struct DrawnObject {
    ObjectKind kind = ObjectKind::Polygon;
    const DrawnGroup *group = nullptr;
    uint8_t colour = 0;
    uint8_t fill = 0;
    uint8_t layer = 0;
    int pen_style = 0;      // the pen style itself (stored value - 1; a stored 0 reads as 1)
    int16_t line_width = 0; // as stored, in the group's units
    std::string text;       // text 1, trimmed
    std::string reference;  // text 2, trimmed
    std::span<const ZT_Point3> points; // in the group's units; rings stored open
};

struct DrawingSurvey {
    int64_t polygons = 0, polylines = 0, annotations = 0;
    int64_t hidden = 0;                         // -253, -252 and -254 objects
    int64_t empty = 0;                          // objects without points
    bool has_z = false;                         // a shown object has a point with a height
    bool damaged = false;                       // the file ends inside a record or a point block
    std::array<std::string, 256> layer_names{}; // from the layer table, trimmed
    int64_t objects() const { return polygons + polylines + annotations; }
};

// Reads the whole drawing once for what it holds. Throws ConvertError when the file
// cannot be opened.
DrawingSurvey survey_drawing(const std::filesystem::path &drw);

// Calls `each` for every shown object with at least one point, in file order.
void read_drawing(const std::filesystem::path &drw,
                  const std::function<void(const DrawnObject &)> &each);

} // namespace convert
