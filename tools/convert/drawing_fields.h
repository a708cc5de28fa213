// The attributes a drawing's objects carry outside the viewer. The export writes them;
// the import reads back those a layer has (by these names, in any case), so that a
// drawing converted to a GIS format and back draws the same picture. Names are at most
// ten characters, so that they survive a Shapefile.
#pragma once

#include <ogr_core.h>

namespace convert::fields {

struct FieldDef {
    const char *name;
    OGRFieldType type;
    int width; // 0: the driver's default
};

enum Index {
    Group,       // the group's name
    GroupNo,     // 1, 2, ... in the drawing's order: objects of one group share it
    Kind,        // the group kind: 1 (or 0) whole units, 10 tenths
    Reference,   // the object reference (text 2)
    Text,        // text 1: an annotation's lettering
    Colour,      // "#rrggbb"
    ColourNo,    // the palette index itself
    Fill,        // 0 outline, else the fill pattern
    PenStyle,    // 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 none
    LineWidth,   // as stored: hundredths of a metre (thousandths in a tenth-unit group)
    Layer,       // the layer byte
    LayerName,   // its name in the drawing's layer table
    ExtraPoints, // an annotation's points after the first, "x y z; ..." in metres
    Count
};

inline constexpr FieldDef kDrawing[Count] = {
    {"group", OFTString, 12},      {"group_no", OFTInteger, 0}, {"kind", OFTInteger, 0},
    {"reference", OFTString, 12},  {"text", OFTString, 12},     {"colour", OFTString, 7},
    {"colour_no", OFTInteger, 0},  {"fill", OFTInteger, 0},     {"pen_style", OFTInteger, 0},
    {"line_width", OFTInteger, 0}, {"layer", OFTInteger, 0},    {"layer_name", OFTString, 12},
    {"extra_pts", OFTString, 254},
};

// In an output that holds one layer, the drawing each feature came from.
inline constexpr FieldDef kDrawingName = {"drawing", OFTString, 64};

} // namespace convert::fields
