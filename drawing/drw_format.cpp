#include "drawing/drw_format.h"

#include "platform/base/text.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace drawing {

namespace {

template <std::size_t N> std::array<char, N> padded(std::string_view s) {
    std::array<char, N> t;
    t.fill(' ');
    std::copy_n(s.begin(), std::min(s.size(), N), t.begin());
    return t;
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

namespace {

// One field's bytes, by the member's type.
inline void load(const uint8_t *p, uint8_t &v) {
    v = *p;
}
inline void load(const uint8_t *p, int16_t &v) {
    v = get_i16(p);
}
inline void load(const uint8_t *p, int32_t &v) {
    v = get_i32(p);
}
template <std::size_t N> void load(const uint8_t *p, std::array<char, N> &t) {
    std::memcpy(t.data(), p, N);
}

inline void store(uint8_t *p, uint8_t v) {
    *p = v;
}
inline void store(uint8_t *p, int16_t v) {
    put_i16(p, v);
}
inline void store(uint8_t *p, int32_t v) {
    put_i32(p, v);
}
template <std::size_t N> void store(uint8_t *p, const std::array<char, N> &t) {
    std::memcpy(p, t.data(), N);
}

// The member of field I of a table, as a constant: the table is walked at compile time,
// so decoding a record costs what writing out its fields by hand would.
template <const auto &Fields, std::size_t I>
inline constexpr auto kMember = std::get<Fields[I].member.index()>(Fields[I].member);

template <const auto &Fields, class R> void decode_fields(const uint8_t *b, R &r) {
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (load(b + Fields[I].offset, r.*kMember<Fields, I>), ...);
    }
    (std::make_index_sequence<Fields.size()>{});
}

template <const auto &Fields, class R> void encode_fields(const R &r, uint8_t *b) {
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (store(b + Fields[I].offset, r.*kMember<Fields, I>), ...);
    }
    (std::make_index_sequence<Fields.size()>{});
}

template <const auto &Fields, class R> R decoded(const uint8_t *b) {
    R r;
    decode_fields<Fields>(b, r);
    return r;
}

} // namespace

GroupRecord GroupRecord::decode(const uint8_t *b) {
    return decoded<kGroupRecordFields, GroupRecord>(b);
}
void GroupRecord::encode(uint8_t *b) const {
    encode_fields<kGroupRecordFields>(*this, b);
}

ObjectHeader ObjectHeader::decode(const uint8_t *b) {
    return decoded<kObjectHeaderFields, ObjectHeader>(b);
}
void ObjectHeader::encode(uint8_t *b) const {
    encode_fields<kObjectHeaderFields>(*this, b);
}

AnnotationRecord AnnotationRecord::decode(const uint8_t *b) {
    return decoded<kAnnotationRecordFields, AnnotationRecord>(b);
}
void AnnotationRecord::encode(uint8_t *b) const {
    encode_fields<kAnnotationRecordFields>(*this, b);
}

// Only the fields of the record's own layout are read or written.
LayerRecord LayerRecord::decode(const uint8_t *b, bool variant) {
    LayerRecord l;
    l.variant = variant;
    if (variant)
        decode_fields<kLayerVariantFields>(b, l);
    else
        decode_fields<kLayerRecordFields>(b, l);
    return l;
}
void LayerRecord::encode(uint8_t *b) const {
    if (variant)
        encode_fields<kLayerVariantFields>(*this, b);
    else
        encode_fields<kLayerRecordFields>(*this, b);
}

IndexRecord IndexRecord::decode(const uint8_t *b) {
    return decoded<kIndexRecordFields, IndexRecord>(b);
}
void IndexRecord::encode(uint8_t *b) const {
    encode_fields<kIndexRecordFields>(*this, b);
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
