// The drawing file (.drw) and its index (.zix), byte for byte.
//
// A drawing is a flat stream of 12-byte units. A control unit carries a negative code
// in its first two bytes and zeros after it (a layer definition may carry 32 in its
// last four bytes); every other unit is a point (x, y, z as int32). Control units are
// followed by fixed-size records, each a whole number of units long, and objects by
// their point units. All integers are little-endian two's complement; text fields are
// single-byte characters padded with spaces and have no terminator.
//
// Records are decoded and encoded here byte by byte, so the layout never depends on
// the host's structure packing or byte order. Each record layout is one table of its
// fields (offset and member), which drives both the decoding and the encoding.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "zent32i.h" // ZT_Point3: a point unit as the library takes it

namespace drawing {

inline constexpr std::size_t kUnitBytes = 12;
inline constexpr std::size_t kGroupRecordBytes = 48;
inline constexpr std::size_t kObjectHeaderBytes = 48;
inline constexpr std::size_t kAnnotationRecordBytes = 36;
inline constexpr std::size_t kLayerRecordBytes = 24;
inline constexpr std::size_t kIndexRecordBytes = 42;

// Control codes.
inline constexpr int16_t kCodeGroup = -200;      // GroupRecord follows
inline constexpr int16_t kCodePolygon = -14;     // ObjectHeader, then its points
inline constexpr int16_t kCodePolyline = -22;    // ObjectHeader, then its points
inline constexpr int16_t kCodeAnnotation = -19;  // AnnotationRecord, then its points
inline constexpr int16_t kCodeLayer = -220;      // LayerRecord
inline constexpr int16_t kCodeHeaderOnly = -254; // ObjectHeader; its points read as data
inline constexpr int16_t kCodeHiddenA = -253;    // ObjectHeader, then points never shown
inline constexpr int16_t kCodeHiddenB = -252;
inline constexpr int16_t kCodeEndMark = -250; // nothing follows

// Bytes 8-11 of a layer definition unit: which of the two LayerRecord layouts follows.
inline constexpr int32_t kLayerVariantTag = 32;

// Group kinds: the units of the group's coordinates.
inline constexpr int16_t kKindWhole = 1;   // 0 means the same
inline constexpr int16_t kKindTenths = 10; // tenths of a world unit

// Units in force for a kind: 1 whole, 10 tenths, 0 for a kind that changes nothing.
constexpr int32_t divisor_of_kind(int16_t kind) {
    return (kind == 0 || kind == 1) ? 1 : (kind == kKindTenths ? 10 : 0);
}

// The group holding a drawing's layer table, and its fixed length in units.
inline constexpr std::string_view kLayerTableName = "256 LAYERS";
inline constexpr int32_t kLayerTableLength = 1 + 4 + 256 * 3;

using Text12 = std::array<char, 12>;
using Text6 = std::array<char, 6>;

// Space-padded text field from a string (longer text is cut).
Text12 text12(std::string_view s);
Text6 text6(std::string_view s);
// The field's text without the trailing (and leading) spaces.
std::string trimmed(const Text12 &t);
std::string trimmed(std::string_view s);

// ---- little-endian primitives ----------------------------------------------------------

inline int16_t get_i16(const uint8_t *p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}
inline int32_t get_i32(const uint8_t *p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) |
                                (static_cast<uint32_t>(p[3]) << 24));
}
inline void put_i16(uint8_t *p, int16_t v) {
    const auto u = static_cast<uint16_t>(v);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
}
inline void put_i32(uint8_t *p, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
    p[2] = static_cast<uint8_t>(u >> 16);
    p[3] = static_cast<uint8_t>(u >> 24);
}

// ---- units ------------------------------------------------------------------------------

using UnitBytes = std::array<uint8_t, kUnitBytes>;

// A control unit: the int16 at bytes 2-3, sign-extended, plus the int32 at bytes 4-7
// is 0. Summed in 64 bits so that no pair of values overflows into a false match.
inline bool is_control_unit(const uint8_t *unit) {
    return static_cast<int64_t>(get_i16(unit + 2)) + static_cast<int64_t>(get_i32(unit + 4)) == 0;
}
inline int16_t control_code(const uint8_t *unit) {
    return get_i16(unit);
}
// Bytes 8-11 of a control unit (the layer layout tag).
inline int32_t control_tag(const uint8_t *unit) {
    return get_i32(unit + 8);
}

inline ZT_Point3 decode_point(const uint8_t *unit) {
    return ZT_Point3{get_i32(unit), get_i32(unit + 4), get_i32(unit + 8)};
}
void encode_point(const ZT_Point3 &p, uint8_t *unit);
void encode_control(int16_t code, uint8_t *unit, int32_t tag = 0);

// A point that the control test would take for a control unit (y plus the signed upper
// half of x is 0). Such points cannot be stored.
inline bool point_reads_as_control(const ZT_Point3 &p) {
    UnitBytes u;
    encode_point(p, u.data());
    return is_control_unit(u.data());
}

// ---- records ------------------------------------------------------------------------------

// Follows a -200 unit.
struct GroupRecord {
    int16_t kind = 0;
    int16_t reserved1 = 0;
    int32_t length = 0; // units in the group, its -200 unit and this record included
    int32_t reserved2 = 0;
    int32_t x_min = 0, y_min = 0, z_min = 0;
    int32_t x_max = 0, y_max = 0, z_max = 0; // extent in the group's units
    Text12 name = text12("");

    static GroupRecord decode(const uint8_t *b); // kGroupRecordBytes bytes
    void encode(uint8_t *b) const;
    bool operator==(const GroupRecord &) const = default;
};

// Follows a -14, -22, -254, -253 or -252 unit.
struct ObjectHeader {
    int32_t point_count = 0;
    int16_t status = 0;
    int16_t line_width = 0; // world units; 0 or 1 is the thinnest pen
    uint8_t colour = 0;     // palette index
    uint8_t pen_style = 1;  // pen style + 1 (a stored 0 is read as 1: solid)
    uint8_t layer = 0;
    uint8_t fill = 0; // 0 outline, else the fill pattern
    Text12 text1 = text12("");
    int32_t value1 = 0, value2 = 0, value3 = 0;
    Text12 text2 = text12(""); // the object reference

    static ObjectHeader decode(const uint8_t *b); // kObjectHeaderBytes bytes
    void encode(uint8_t *b) const;
    bool operator==(const ObjectHeader &) const = default;
};

// Follows a -19 unit.
struct AnnotationRecord {
    int32_t point_count = 0;
    int16_t status = 0;
    int16_t line_width = 0;
    uint8_t colour = 0;
    uint8_t pen_style = 0;
    uint8_t layer = 0;
    uint8_t fill = 0;
    Text12 text1 = text12("");
    Text12 text2 = text12("");

    static AnnotationRecord decode(const uint8_t *b); // kAnnotationRecordBytes bytes
    void encode(uint8_t *b) const;
    bool operator==(const AnnotationRecord &) const = default;
};

// Follows a -220 unit. Two layouts share the layer number (offset 0) and the name
// (offset 12); bytes 2-11 differ, and only the fields of the record's own layout are
// read or written.
struct LayerRecord {
    bool variant = false; // the unit's bytes 8-11 held kLayerVariantTag
    int16_t number = 0;   // 0-255

    // Ordinary layout.
    int16_t number_copy = 0;
    int16_t value = 0;
    Text6 short_text = text6("");

    // Variant layout.
    int32_t attributes = 0;   // offset 2
    uint8_t fill_switch = 0;  // offset 6
    uint8_t display_mode = 0; // offset 7
    uint8_t flag8 = 0;        // offset 8
    uint8_t flag9 = 0;        // offset 9
    int16_t extra = 0;        // offset 10

    Text12 name = text12("");

    static LayerRecord decode(const uint8_t *b, bool variant); // kLayerRecordBytes bytes
    void encode(uint8_t *b) const;
    bool operator==(const LayerRecord &) const = default;
};

// One record of the .zix file per group.
struct IndexRecord {
    int16_t kind = 0;
    int32_t x_min = 0, y_min = 0, x_max = 0, y_max = 0; // in the group's units
    int32_t reserved1 = 0;
    int16_t reserved2 = 0;
    int32_t first_unit = 0; // unit number (from 1) of the group's -200 unit
    int16_t group_value = 0;
    Text12 name = text12("");

    static IndexRecord decode(const uint8_t *b); // kIndexRecordBytes bytes
    void encode(uint8_t *b) const;
    bool operator==(const IndexRecord &) const = default;
};

// ---- field tables -------------------------------------------------------------------

// One field of a record layout: where it starts and the member it fills. Its width is
// the member's: 1, 2 or 4 bytes for an integer, the length of a text field.
template <class R> struct Field {
    std::size_t offset;
    std::variant<uint8_t R::*, int16_t R::*, int32_t R::*, Text6 R::*, Text12 R::*> member;

    constexpr std::size_t width() const {
        return std::visit([](auto m) { return sizeof(std::declval<R &>().*m); }, member);
    }
};

// The fields lie in offset order, one after another, and fill the record exactly.
template <class R, std::size_t N>
constexpr bool fills_exactly(const std::array<Field<R>, N> &fields, std::size_t bytes) {
    std::size_t next = 0;
    for (const Field<R> &f : fields) {
        if (f.offset != next)
            return false;
        next += f.width();
    }
    return next == bytes;
}

inline constexpr auto kGroupRecordFields = std::to_array<Field<GroupRecord>>({
    {0, &GroupRecord::kind},
    {2, &GroupRecord::reserved1},
    {4, &GroupRecord::length},
    {8, &GroupRecord::reserved2},
    {12, &GroupRecord::x_min},
    {16, &GroupRecord::y_min},
    {20, &GroupRecord::z_min},
    {24, &GroupRecord::x_max},
    {28, &GroupRecord::y_max},
    {32, &GroupRecord::z_max},
    {36, &GroupRecord::name},
});
static_assert(fills_exactly(kGroupRecordFields, kGroupRecordBytes));

inline constexpr auto kObjectHeaderFields = std::to_array<Field<ObjectHeader>>({
    {0, &ObjectHeader::point_count},
    {4, &ObjectHeader::status},
    {6, &ObjectHeader::line_width},
    {8, &ObjectHeader::colour},
    {9, &ObjectHeader::pen_style},
    {10, &ObjectHeader::layer},
    {11, &ObjectHeader::fill},
    {12, &ObjectHeader::text1},
    {24, &ObjectHeader::value1},
    {28, &ObjectHeader::value2},
    {32, &ObjectHeader::value3},
    {36, &ObjectHeader::text2},
});
static_assert(fills_exactly(kObjectHeaderFields, kObjectHeaderBytes));

inline constexpr auto kAnnotationRecordFields = std::to_array<Field<AnnotationRecord>>({
    {0, &AnnotationRecord::point_count},
    {4, &AnnotationRecord::status},
    {6, &AnnotationRecord::line_width},
    {8, &AnnotationRecord::colour},
    {9, &AnnotationRecord::pen_style},
    {10, &AnnotationRecord::layer},
    {11, &AnnotationRecord::fill},
    {12, &AnnotationRecord::text1},
    {24, &AnnotationRecord::text2},
});
static_assert(fills_exactly(kAnnotationRecordFields, kAnnotationRecordBytes));

// The ordinary layer layout, and the variant that follows a unit tagged kLayerVariantTag.
inline constexpr auto kLayerRecordFields = std::to_array<Field<LayerRecord>>({
    {0, &LayerRecord::number},
    {2, &LayerRecord::number_copy},
    {4, &LayerRecord::value},
    {6, &LayerRecord::short_text},
    {12, &LayerRecord::name},
});
static_assert(fills_exactly(kLayerRecordFields, kLayerRecordBytes));

inline constexpr auto kLayerVariantFields = std::to_array<Field<LayerRecord>>({
    {0, &LayerRecord::number},
    {2, &LayerRecord::attributes},
    {6, &LayerRecord::fill_switch},
    {7, &LayerRecord::display_mode},
    {8, &LayerRecord::flag8},
    {9, &LayerRecord::flag9},
    {10, &LayerRecord::extra},
    {12, &LayerRecord::name},
});
static_assert(fills_exactly(kLayerVariantFields, kLayerRecordBytes));

inline constexpr auto kIndexRecordFields = std::to_array<Field<IndexRecord>>({
    {0, &IndexRecord::kind},
    {2, &IndexRecord::x_min},
    {6, &IndexRecord::y_min},
    {10, &IndexRecord::x_max},
    {14, &IndexRecord::y_max},
    {18, &IndexRecord::reserved1},
    {22, &IndexRecord::reserved2},
    {24, &IndexRecord::first_unit},
    {28, &IndexRecord::group_value},
    {30, &IndexRecord::name},
});
static_assert(fills_exactly(kIndexRecordFields, kIndexRecordBytes));

// Byte offset of unit n (numbered from 1).
constexpr int64_t unit_offset(int64_t n) {
    return static_cast<int64_t>(kUnitBytes) * (n - 1);
}

// A group's (or index record's) extent in world units: tenths are divided by 10.
struct WorldExtent {
    double x_min = 0, y_min = 0, z_min = 0;
    double x_max = 0, y_max = 0, z_max = 0;
};
WorldExtent world_extent(const GroupRecord &g);
WorldExtent world_extent(const IndexRecord &r); // z stays 0

} // namespace drawing
