#include "drawing/drw_format.h"

#include "platform/base/text.h"

#include <algorithm>
#include <cstring>

namespace drawing {

namespace {

template <std::size_t N> std::array<char, N> padded(std::string_view s) {
    std::array<char, N> t;
    t.fill(' ');
    std::copy_n(s.begin(), std::min(s.size(), N), t.begin());
    return t;
}

template <std::size_t N> std::array<char, N> get_text(const uint8_t *p) {
    std::array<char, N> t;
    std::memcpy(t.data(), p, N);
    return t;
}

template <std::size_t N> void put_text(uint8_t *p, const std::array<char, N> &t) {
    std::memcpy(p, t.data(), N);
}

} // namespace

Text12 text12(std::string_view s) {
    return padded<12>(s);
}
Text6 text6(std::string_view s) {
    return padded<6>(s);
}

std::string trimmed(std::string_view s) {
    return text::trim_blanks(s);
}

std::string trimmed(const Text12 &t) {
    return trimmed(std::string_view(t.data(), t.size()));
}

void encode_point(const ZT_Point3 &p, uint8_t *unit) {
    put_i32(unit, p.x);
    put_i32(unit + 4, p.y);
    put_i32(unit + 8, p.z);
}

void encode_control(int16_t code, uint8_t *unit, int32_t tag) {
    std::memset(unit, 0, kUnitBytes);
    put_i16(unit, code);
    put_i32(unit + 8, tag);
}

GroupRecord GroupRecord::decode(const uint8_t *b) {
    GroupRecord g;
    g.kind = get_i16(b);
    g.reserved1 = get_i16(b + 2);
    g.length = get_i32(b + 4);
    g.reserved2 = get_i32(b + 8);
    g.x_min = get_i32(b + 12);
    g.y_min = get_i32(b + 16);
    g.z_min = get_i32(b + 20);
    g.x_max = get_i32(b + 24);
    g.y_max = get_i32(b + 28);
    g.z_max = get_i32(b + 32);
    g.name = get_text<12>(b + 36);
    return g;
}

void GroupRecord::encode(uint8_t *b) const {
    put_i16(b, kind);
    put_i16(b + 2, reserved1);
    put_i32(b + 4, length);
    put_i32(b + 8, reserved2);
    put_i32(b + 12, x_min);
    put_i32(b + 16, y_min);
    put_i32(b + 20, z_min);
    put_i32(b + 24, x_max);
    put_i32(b + 28, y_max);
    put_i32(b + 32, z_max);
    put_text(b + 36, name);
}

ObjectHeader ObjectHeader::decode(const uint8_t *b) {
    ObjectHeader h;
    h.point_count = get_i32(b);
    h.status = get_i16(b + 4);
    h.line_width = get_i16(b + 6);
    h.colour = b[8];
    h.pen_style = b[9];
    h.layer = b[10];
    h.fill = b[11];
    h.text1 = get_text<12>(b + 12);
    h.value1 = get_i32(b + 24);
    h.value2 = get_i32(b + 28);
    h.value3 = get_i32(b + 32);
    h.text2 = get_text<12>(b + 36);
    return h;
}

void ObjectHeader::encode(uint8_t *b) const {
    put_i32(b, point_count);
    put_i16(b + 4, status);
    put_i16(b + 6, line_width);
    b[8] = colour;
    b[9] = pen_style;
    b[10] = layer;
    b[11] = fill;
    put_text(b + 12, text1);
    put_i32(b + 24, value1);
    put_i32(b + 28, value2);
    put_i32(b + 32, value3);
    put_text(b + 36, text2);
}

AnnotationRecord AnnotationRecord::decode(const uint8_t *b) {
    AnnotationRecord a;
    a.point_count = get_i32(b);
    a.status = get_i16(b + 4);
    a.line_width = get_i16(b + 6);
    a.colour = b[8];
    a.pen_style = b[9];
    a.layer = b[10];
    a.fill = b[11];
    a.text1 = get_text<12>(b + 12);
    a.text2 = get_text<12>(b + 24);
    return a;
}

void AnnotationRecord::encode(uint8_t *b) const {
    put_i32(b, point_count);
    put_i16(b + 4, status);
    put_i16(b + 6, line_width);
    b[8] = colour;
    b[9] = pen_style;
    b[10] = layer;
    b[11] = fill;
    put_text(b + 12, text1);
    put_text(b + 24, text2);
}

LayerRecord LayerRecord::decode(const uint8_t *b, bool variant) {
    LayerRecord l;
    l.variant = variant;
    l.number = get_i16(b);
    if (variant) {
        l.attributes = get_i32(b + 2);
        l.fill_switch = b[6];
        l.display_mode = b[7];
        l.flag8 = b[8];
        l.flag9 = b[9];
        l.extra = get_i16(b + 10);
    } else {
        l.number_copy = get_i16(b + 2);
        l.value = get_i16(b + 4);
        l.short_text = get_text<6>(b + 6);
    }
    l.name = get_text<12>(b + 12);
    return l;
}

void LayerRecord::encode(uint8_t *b) const {
    put_i16(b, number);
    if (variant) {
        put_i32(b + 2, attributes);
        b[6] = fill_switch;
        b[7] = display_mode;
        b[8] = flag8;
        b[9] = flag9;
        put_i16(b + 10, extra);
    } else {
        put_i16(b + 2, number_copy);
        put_i16(b + 4, value);
        put_text(b + 6, short_text);
    }
    put_text(b + 12, name);
}

IndexRecord IndexRecord::decode(const uint8_t *b) {
    IndexRecord r;
    r.kind = get_i16(b);
    r.x_min = get_i32(b + 2);
    r.y_min = get_i32(b + 6);
    r.x_max = get_i32(b + 10);
    r.y_max = get_i32(b + 14);
    r.reserved1 = get_i32(b + 18);
    r.reserved2 = get_i16(b + 22);
    r.first_unit = get_i32(b + 24);
    r.group_value = get_i16(b + 28);
    r.name = get_text<12>(b + 30);
    return r;
}

void IndexRecord::encode(uint8_t *b) const {
    put_i16(b, kind);
    put_i32(b + 2, x_min);
    put_i32(b + 6, y_min);
    put_i32(b + 10, x_max);
    put_i32(b + 14, y_max);
    put_i32(b + 18, reserved1);
    put_i16(b + 22, reserved2);
    put_i32(b + 24, first_unit);
    put_i16(b + 28, group_value);
    put_text(b + 30, name);
}

namespace {
double scaled(int32_t v, int16_t kind) {
    return kind == kKindTenths ? static_cast<double>(v) / 10.0 : static_cast<double>(v);
}
} // namespace

WorldExtent world_extent(const GroupRecord &g) {
    return WorldExtent{scaled(g.x_min, g.kind), scaled(g.y_min, g.kind), scaled(g.z_min, g.kind),
                       scaled(g.x_max, g.kind), scaled(g.y_max, g.kind), scaled(g.z_max, g.kind)};
}

WorldExtent world_extent(const IndexRecord &r) {
    return WorldExtent{scaled(r.x_min, r.kind), scaled(r.y_min, r.kind), 0.0,
                       scaled(r.x_max, r.kind), scaled(r.y_max, r.kind), 0.0};
}

} // namespace drawing
