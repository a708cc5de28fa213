// Writing drawing files: a small builder that lays groups, objects and layer tables
// out unit by unit, filling in each group's length and extent itself.
//
//   writers::DrwWriter w;
//   w.begin_group(1, "WALL 12");
//   w.polygon({{x0, y0, 0}, {x1, y1, 0}, {x2, y2, 0}}, writers::header({.colour = 3, .fill = 8}));
//   w.polyline(points, writers::header({.colour = 5, .line_width = 40, .reference = "F104"}));
//   w.layer_table({"WALLS", "FLOORS"});
//   w.end_mark();
//   w.save("roman.drw");
//   writers::write_index("roman.zix", w.index_records());
//   writers::write_object_table("roman.dbf", w.object_rows());
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/drw_format.h"
#include "tools/writers/companions.h"

namespace writers {

// The look of an object, for header(); pen_style is the platform's pen style
// (0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 null).
struct Style {
    uint8_t colour = 0;
    uint8_t fill = 0;
    int16_t line_width = 0;
    int pen_style = 0;
    uint8_t layer = 0;
    std::string reference{}; // text 2 of the header, at most 12 characters
};
drawing::ObjectHeader header(const Style &s);

class DrwWriter {
  public:
    // What the writer knows about each group it wrote.
    struct GroupInfo {
        drawing::GroupRecord record;         // as stored, length and extent filled in
        int64_t first_unit = 0;              // unit number (from 1) of its -200 unit
        int16_t group_value = 0;             // for the index
        std::vector<std::string> references; // non-blank object references, trimmed
        bool extent_given = false;
        bool has_points = false;
    };

    // Starts a group (closing the one before). kind 0/1 = whole units, 10 = tenths.
    void begin_group(int16_t kind, std::string_view name, int16_t group_value = 0);
    // Stores this box instead of the one computed from the group's points.
    void set_group_extent(int32_t x_min, int32_t y_min, int32_t z_min, int32_t x_max, int32_t y_max,
                          int32_t z_max);

    // Objects. The point count of the record is the number of points given. A ring
    // is given open (the first point is not repeated at the end).
    void polygon(std::span<const ZT_Point3> points, drawing::ObjectHeader h = {});
    void polyline(std::span<const ZT_Point3> points, drawing::ObjectHeader h = {});
    void annotation(std::span<const ZT_Point3> points, drawing::AnnotationRecord a = {});
    // -253 or -252: stored, never displayed.
    void hidden(std::span<const ZT_Point3> points, drawing::ObjectHeader h = {},
                int16_t code = drawing::kCodeHiddenA);
    // -254: the header alone; trailing points follow it as plain units.
    void header_only(drawing::ObjectHeader h, std::span<const ZT_Point3> trailing = {});
    // Any object code with its header and points, as given (point count included).
    void object(int16_t code, const drawing::ObjectHeader &h, std::span<const ZT_Point3> points);

    // One layer definition; rec.variant selects the layout and the unit's tag.
    void layer(const drawing::LayerRecord &rec);
    // The drawing's layer table: the group "256 LAYERS" with layers 0 to 255, named
    // from names in order (blank beyond them).
    void layer_table(std::span<const std::string> names = {});
    void layer_table(std::initializer_list<std::string> names) {
        layer_table(std::span<const std::string>(names.begin(), names.size()));
    }
    // Closes the open group and writes the end mark.
    void end_mark();

    // Units no other call makes: unknown codes, damaged data in tests. They count
    // toward the open group's length.
    void control_unit(int16_t code, int32_t tag = 0);
    void point_unit(const ZT_Point3 &p); // refuses points that read as control units
    void raw(std::span<const uint8_t> bytes);

    int64_t unit_count() const; // whole units written so far
    int64_t next_unit() const { return unit_count() + 1; }

    // The file's bytes, with the open group finished.
    const std::vector<uint8_t> &bytes();
    bool save(const std::filesystem::path &path);

    const std::vector<GroupInfo> &groups();
    // Index records: the layer table's first (when the drawing has one), then the object
    // groups ordered by x min.
    std::vector<drawing::IndexRecord> index_records();
    // One row per group and distinct object reference in it.
    std::vector<ObjectTableRow> object_rows();

  private:
    void finish_group();
    void add_points(std::span<const ZT_Point3> points);
    void put_unit(const uint8_t *u);
    void put_record(const uint8_t *b, std::size_t n);

    std::vector<uint8_t> bytes_;
    std::vector<GroupInfo> groups_;
    bool group_open_ = false;
    std::size_t group_offset_ = 0; // byte offset of the open group's -200 unit
};

} // namespace writers
