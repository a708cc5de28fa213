#include "tools/writers/drw_writer.h"

#include <optional>

#include <algorithm>
#include <array>
#include <fstream>
#include <set>
#include <stdexcept>

namespace writers {

using namespace drawing;

ObjectHeader header(const Style &s) {
    ObjectHeader h;
    h.colour = s.colour;
    h.fill = s.fill;
    h.line_width = s.line_width;
    h.pen_style = static_cast<uint8_t>(s.pen_style + 1);
    h.layer = s.layer;
    h.text2 = text12(s.reference);
    return h;
}

void DrwWriter::put_unit(const uint8_t *u) {
    bytes_.insert(bytes_.end(), u, u + kUnitBytes);
}

void DrwWriter::put_record(const uint8_t *b, std::size_t n) {
    bytes_.insert(bytes_.end(), b, b + n);
}

int64_t DrwWriter::unit_count() const {
    return static_cast<int64_t>(bytes_.size() / kUnitBytes);
}

void DrwWriter::finish_group() {
    if (!group_open_)
        return;
    GroupInfo &g = groups_.back();
    g.record.length = static_cast<int32_t>((bytes_.size() - group_offset_) / kUnitBytes);
    g.record.encode(bytes_.data() + group_offset_ + kUnitBytes);
}

void DrwWriter::begin_group(int16_t kind, std::string_view name, int16_t group_value) {
    finish_group();
    GroupInfo g;
    g.record.kind = kind;
    g.record.name = text12(name);
    g.first_unit = unit_count() + 1;
    g.group_value = group_value;
    group_offset_ = bytes_.size();
    groups_.push_back(std::move(g));
    group_open_ = true;
    control_unit(kCodeGroup);
    std::array<uint8_t, kGroupRecordBytes> b{};
    groups_.back().record.encode(b.data());
    put_record(b.data(), b.size());
}

void DrwWriter::set_group_extent(int32_t x_min, int32_t y_min, int32_t z_min, int32_t x_max,
                                 int32_t y_max, int32_t z_max) {
    if (!group_open_)
        throw std::logic_error("set_group_extent: no group is open");
    GroupRecord &r = groups_.back().record;
    r.x_min = x_min;
    r.y_min = y_min;
    r.z_min = z_min;
    r.x_max = x_max;
    r.y_max = y_max;
    r.z_max = z_max;
    groups_.back().extent_given = true;
}

void DrwWriter::add_points(std::span<const ZT_Point3> points) {
    for (const ZT_Point3 &p : points)
        if (point_reads_as_control(p))
            throw std::invalid_argument("a point with y plus the upper half of x equal to 0 "
                                        "would read as a control unit");
    if (group_open_ && !groups_.back().extent_given) {
        GroupInfo &g = groups_.back();
        GroupRecord &r = g.record;
        for (const ZT_Point3 &p : points) {
            if (!g.has_points) {
                r.x_min = r.x_max = p.x;
                r.y_min = r.y_max = p.y;
                r.z_min = r.z_max = p.z;
                g.has_points = true;
                continue;
            }
            r.x_min = std::min(r.x_min, p.x);
            r.y_min = std::min(r.y_min, p.y);
            r.z_min = std::min(r.z_min, p.z);
            r.x_max = std::max(r.x_max, p.x);
            r.y_max = std::max(r.y_max, p.y);
            r.z_max = std::max(r.z_max, p.z);
        }
    }
    UnitBytes u;
    for (const ZT_Point3 &p : points) {
        encode_point(p, u.data());
        put_unit(u.data());
    }
}

void DrwWriter::object(int16_t code, const ObjectHeader &h, std::span<const ZT_Point3> points) {
    if (group_open_) {
        const std::string ref = trimmed(h.text2);
        auto &refs = groups_.back().references;
        if (!ref.empty() && std::find(refs.begin(), refs.end(), ref) == refs.end())
            refs.push_back(ref);
    }
    control_unit(code);
    std::array<uint8_t, kObjectHeaderBytes> b{};
    h.encode(b.data());
    put_record(b.data(), b.size());
    add_points(points);
}

void DrwWriter::polygon(std::span<const ZT_Point3> points, ObjectHeader h) {
    h.point_count = static_cast<int32_t>(points.size());
    object(kCodePolygon, h, points);
}

void DrwWriter::polyline(std::span<const ZT_Point3> points, ObjectHeader h) {
    h.point_count = static_cast<int32_t>(points.size());
    object(kCodePolyline, h, points);
}

void DrwWriter::hidden(std::span<const ZT_Point3> points, ObjectHeader h, int16_t code) {
    if (code != kCodeHiddenA && code != kCodeHiddenB)
        throw std::invalid_argument("hidden objects have code -253 or -252");
    h.point_count = static_cast<int32_t>(points.size());
    object(code, h, points);
}

void DrwWriter::header_only(ObjectHeader h, std::span<const ZT_Point3> trailing) {
    h.point_count = static_cast<int32_t>(trailing.size());
    object(kCodeHeaderOnly, h, trailing);
}

void DrwWriter::annotation(std::span<const ZT_Point3> points, AnnotationRecord a) {
    a.point_count = static_cast<int32_t>(points.size());
    control_unit(kCodeAnnotation);
    std::array<uint8_t, kAnnotationRecordBytes> b{};
    a.encode(b.data());
    put_record(b.data(), b.size());
    add_points(points);
}

void DrwWriter::layer(const LayerRecord &rec) {
    control_unit(kCodeLayer, rec.variant ? kLayerVariantTag : 0);
    std::array<uint8_t, kLayerRecordBytes> b{};
    rec.encode(b.data());
    put_record(b.data(), b.size());
}

void DrwWriter::layer_table(std::span<const std::string> names) {
    begin_group(0, kLayerTableName);
    for (int n = 0; n < 256; ++n) {
        LayerRecord rec;
        rec.number = static_cast<int16_t>(n);
        rec.number_copy = static_cast<int16_t>(n);
        if (static_cast<std::size_t>(n) < names.size())
            rec.name = text12(names[static_cast<std::size_t>(n)]);
        layer(rec);
    }
    finish_group();
    group_open_ = false;
}

void DrwWriter::end_mark() {
    finish_group();
    group_open_ = false;
    control_unit(kCodeEndMark);
}

void DrwWriter::control_unit(int16_t code, int32_t tag) {
    UnitBytes u;
    encode_control(code, u.data(), tag);
    put_unit(u.data());
}

void DrwWriter::point_unit(const ZT_Point3 &p) {
    add_points(std::span<const ZT_Point3>(&p, 1));
}

void DrwWriter::raw(std::span<const uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

const std::vector<uint8_t> &DrwWriter::bytes() {
    finish_group();
    return bytes_;
}

bool DrwWriter::save(const std::filesystem::path &path) {
    const auto &b = bytes();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
    return static_cast<bool>(out);
}

const std::vector<DrwWriter::GroupInfo> &DrwWriter::groups() {
    finish_group();
    return groups_;
}

std::vector<IndexRecord> DrwWriter::index_records() {
    std::vector<IndexRecord> out;
    std::optional<IndexRecord> layers;
    for (const GroupInfo &g : groups()) {
        IndexRecord r;
        r.kind = g.record.kind;
        r.x_min = g.record.x_min;
        r.y_min = g.record.y_min;
        r.x_max = g.record.x_max;
        r.y_max = g.record.y_max;
        r.first_unit = static_cast<int32_t>(g.first_unit);
        r.group_value = g.group_value;
        r.name = g.record.name;
        if (trimmed(g.record.name) == kLayerTableName)
            layers = r;
        else
            out.push_back(r);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const IndexRecord &a, const IndexRecord &b) { return a.x_min < b.x_min; });
    // The layer table's record leads the index, as in the drawings users have; the object
    // list passes over the first record of every index.
    if (layers)
        out.insert(out.begin(), *layers);
    return out;
}

std::vector<ObjectTableRow> DrwWriter::object_rows() {
    std::vector<ObjectTableRow> rows;
    for (const GroupInfo &g : groups())
        for (const std::string &ref : g.references)
            rows.push_back(
                ObjectTableRow{ref, static_cast<int32_t>(g.first_unit), g.record.length});
    return rows;
}

} // namespace writers
