#include "drawing/drw_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace drawing {

bool read_unit(files::BinaryFile &f, Unit &u) {
    if (const unsigned char *held = f.take(kUnitBytes)) {
        std::memcpy(u.bytes.data(), held, kUnitBytes);
        return true;
    }
    return f.read(u.bytes.data(), kUnitBytes) == kUnitBytes;
}

namespace {

// Starting the buffer from the record's current bytes is what makes a short read
// leave the fields beyond the end of the file as they were.
template <class Record, std::size_t Size> bool read_into(files::BinaryFile &f, Record &rec) {
    if (const unsigned char *held = f.take(Size)) {
        rec = Record::decode(held);
        return true;
    }
    std::array<uint8_t, Size> b;
    rec.encode(b.data());
    const std::size_t got = f.read(b.data(), Size);
    if (got == 0)
        return false;
    rec = Record::decode(b.data());
    return got == Size;
}

} // namespace

bool read_record(files::BinaryFile &f, GroupRecord &rec) {
    return read_into<GroupRecord, kGroupRecordBytes>(f, rec);
}

bool read_record(files::BinaryFile &f, ObjectHeader &rec) {
    return read_into<ObjectHeader, kObjectHeaderBytes>(f, rec);
}

bool read_record(files::BinaryFile &f, AnnotationRecord &rec) {
    return read_into<AnnotationRecord, kAnnotationRecordBytes>(f, rec);
}

bool read_record(files::BinaryFile &f, IndexRecord &rec) {
    return read_into<IndexRecord, kIndexRecordBytes>(f, rec);
}

bool read_record(files::BinaryFile &f, LayerRecord &rec, bool variant) {
    std::array<uint8_t, kLayerRecordBytes> b;
    // Bytes 2-11 mean different things in the two layouts; a record switching layout
    // starts from zeros there rather than from the other layout's fields.
    if (rec.variant != variant) {
        LayerRecord fresh;
        fresh.variant = variant;
        fresh.number = rec.number;
        fresh.name = rec.name;
        rec = fresh;
    }
    rec.encode(b.data());
    const std::size_t got = f.read(b.data(), b.size());
    if (got == 0)
        return false;
    rec = LayerRecord::decode(b.data(), variant);
    return got == b.size();
}

int64_t units_remaining(const files::BinaryFile &f) {
    const int64_t left = f.size() - f.position();
    return left > 0 ? left / static_cast<int64_t>(kUnitBytes) : 0;
}

int32_t bounded_point_count(const files::BinaryFile &f, int32_t stored) {
    if (stored <= 0)
        return 0;
    return static_cast<int32_t>(std::min<int64_t>(stored, units_remaining(f)));
}

int32_t read_points(files::BinaryFile &f, int32_t n, ZT_Point3 *out, std::size_t room) {
    n = bounded_point_count(f, n);
    if (static_cast<std::size_t>(n) > room)
        n = static_cast<int32_t>(std::min<std::size_t>(room, std::numeric_limits<int32_t>::max()));
    if (const unsigned char *held = f.take(static_cast<std::size_t>(n) * kUnitBytes)) {
        for (int32_t k = 0; k < n; ++k)
            out[k] = decode_point(held + static_cast<std::size_t>(k) * kUnitBytes);
        return n;
    }
    // Whole blocks of points per read keep the number of copies low without any
    // allocation; the buffered file turns them into few system calls.
    constexpr int32_t kChunk = 256;
    std::array<uint8_t, kChunk * kUnitBytes> chunk;
    int32_t done = 0;
    while (done < n) {
        const int32_t want = std::min(kChunk, n - done);
        const std::size_t got = f.read(chunk.data(), static_cast<std::size_t>(want) * kUnitBytes);
        const auto whole = static_cast<int32_t>(got / kUnitBytes);
        for (int32_t k = 0; k < whole; ++k)
            out[done + k] = decode_point(chunk.data() + static_cast<std::size_t>(k) * kUnitBytes);
        done += whole;
        if (whole < want)
            break;
    }
    return done;
}

int64_t skip_units(files::BinaryFile &f, int64_t n) {
    if (n <= 0)
        return 0;
    n = std::min(n, units_remaining(f));
    f.skip(n * static_cast<int64_t>(kUnitBytes));
    return n;
}

bool seek_unit(files::BinaryFile &f, int64_t n) {
    if (n < 1)
        return false;
    return f.seek(unit_offset(n));
}

std::vector<IndexRecord> read_index(const std::filesystem::path &zix) {
    std::vector<IndexRecord> records;
    auto f = files::BinaryFile::open_existing(zix);
    if (!f.is_open())
        return records;
    const int64_t count = index_record_count(f.size());
    records.reserve(static_cast<std::size_t>(count));
    IndexRecord r;
    for (int64_t i = 0; i < count; ++i) {
        if (!read_record(f, r))
            break;
        records.push_back(r);
    }
    return records;
}

void DrawingWalker::take_points(int32_t stored) {
    const int32_t n = bounded_point_count(f_, stored);
    if (points_.size() < static_cast<std::size_t>(n))
        points_.resize(static_cast<std::size_t>(n));
    point_count_ = read_points(f_, n, points_.data(), points_.size());
    if (point_count_ != stored)
        complete_ = false;
}

bool DrawingWalker::next() {
    unit_number_ = current_unit(f_);
    if (!read_unit(f_, unit_))
        return false;
    complete_ = true;
    point_count_ = 0;
    if (!unit_.control()) {
        kind_ = Kind::Data;
        code_ = 0;
        return true;
    }
    code_ = unit_.code();
    switch (code_) {
    case kCodeGroup:
        kind_ = Kind::Group;
        complete_ = read_record(f_, group_);
        break;
    case kCodePolygon:
    case kCodePolyline:
    case kCodeHiddenA:
    case kCodeHiddenB:
        kind_ = Kind::Object;
        complete_ = read_record(f_, object_);
        if (complete_)
            take_points(object_.point_count);
        break;
    case kCodeHeaderOnly:
        kind_ = Kind::Object;
        complete_ = read_record(f_, object_);
        break;
    case kCodeAnnotation:
        kind_ = Kind::Annotation;
        complete_ = read_record(f_, annotation_);
        if (complete_)
            take_points(annotation_.point_count);
        break;
    case kCodeLayer:
        kind_ = Kind::Layer;
        complete_ = read_record(f_, layer_, unit_.tag() == kLayerVariantTag);
        break;
    case kCodeEndMark:
        kind_ = Kind::EndMark;
        break;
    default:
        kind_ = Kind::Other;
        break;
    }
    return true;
}

} // namespace drawing
