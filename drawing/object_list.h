// The list of named drawn objects: every object group of the drawings, as their index
// files describe them, with the centre and size of its extent in world units. The
// object list window shows it, and the control panel takes the site codes from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "state/drawing_table.h"

namespace drawing {

struct ObjectRow {
    std::string name;     // the index record's 12 characters, as stored
    int32_t centre_x = 0; // ((x max - x min) / 2 + x min) / divisor, truncated
    int32_t centre_y = 0;
    int32_t width = 0; // (x max - x min) / divisor
    int32_t height = 0;
    int32_t first_unit = 0; // where the object's group starts in its drawing
    int16_t group_value = 0;
    int32_t drawing = 0; // the drawing's number in the table
};

// The objects of drawing n (1 .. count) from its index file, in the index's order: the
// first record (the drawing's layer table) is never listed, nor records without a name.
// A record's kind is its unit divisor, kind 0 being whole units as on the map. A drawing
// without a readable index lists nothing.
std::vector<ObjectRow> list_objects(const state::DrawingTable &drawings, int n);

// The site codes among a list's objects: the trimmed names that begin "RE", in order.
std::vector<std::string> site_codes(const std::vector<ObjectRow> &rows);

} // namespace drawing
