// Reading drawings and their indexes through the buffered binary file: unit by unit,
// record by record, and point blocks in one go.
//
// Damaged files are part of life (copied discs, interrupted transfers), so every read
// here is bounded by what the file still holds: a point count larger than the rest of
// the file reads only the points that are there, a negative count reads none, and a
// skip never moves backwards (which would walk the same units for ever).
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "drawing/drw_format.h"
#include "platform/base/files.h"

namespace drawing {

// One unit as it came from the file.
struct Unit {
    UnitBytes bytes{};
    bool control() const { return is_control_unit(bytes.data()); }
    int16_t code() const { return control_code(bytes.data()); }
    int32_t tag() const { return control_tag(bytes.data()); }
    ZT_Point3 point() const { return decode_point(bytes.data()); }
};

// Reads the next unit. False when the data has ended: no bytes left, or only part of
// a unit (the tail of a truncated file is no unit).
bool read_unit(files::BinaryFile &f, Unit &u);

// Record reads. True when the whole record arrived; when the file ends inside the
// record, the fields beyond the bytes that arrived keep their former values.
bool read_record(files::BinaryFile &f, GroupRecord &rec);
bool read_record(files::BinaryFile &f, ObjectHeader &rec);
bool read_record(files::BinaryFile &f, AnnotationRecord &rec);
bool read_record(files::BinaryFile &f, LayerRecord &rec, bool variant);
bool read_record(files::BinaryFile &f, IndexRecord &rec);

// Whole units between the current position and the end of the file.
int64_t units_remaining(const files::BinaryFile &f);
// A stored point count limited to what the file can still hold: 0 for a negative
// count, never more than units_remaining().
int32_t bounded_point_count(const files::BinaryFile &f, int32_t stored);
// Reads up to n point units (n limited as bounded_point_count does, and to room)
// into out; returns how many were read.
int32_t read_points(files::BinaryFile &f, int32_t n, ZT_Point3 *out, std::size_t room);
// Moves forward over n units; a negative n stays put, and the move stops at the end
// of the file. Returns the number of units actually passed over.
int64_t skip_units(files::BinaryFile &f, int64_t n);
// Positions the file at unit n (from 1). False, leaving the position, for n < 1.
bool seek_unit(files::BinaryFile &f, int64_t n);
// Number (from 1) of the unit at which the file is positioned.
inline int64_t current_unit(const files::BinaryFile &f) {
    return f.position() / static_cast<int64_t>(kUnitBytes) + 1;
}

// ---- the index --------------------------------------------------------------------------

// Whole records in an index of the given length; a trailing partial record is ignored.
constexpr int64_t index_record_count(int64_t length) {
    return length < 0 ? 0 : length / static_cast<int64_t>(kIndexRecordBytes);
}
// Every record of an index file, in file order; empty when the file is missing.
std::vector<IndexRecord> read_index(const std::filesystem::path &zix);

// ---- a whole-file walk ------------------------------------------------------------------

// Walks a drawing from the current position, one element at a time: a control unit
// with the record it announces and, for objects with a point block, the points; or a
// single data unit where a control unit was expected. Meant for readers that look at
// everything (listing objects, searches, tests); the display keeps its own loop.
class DrawingWalker {
  public:
    enum class Kind {
        Group,      // -200 and its GroupRecord
        Object,     // -14, -22, -254, -253, -252 and an ObjectHeader (points except -254)
        Annotation, // -19, its AnnotationRecord and points
        Layer,      // -220 and its LayerRecord
        EndMark,    // -250
        Other,      // a control unit with a code not listed; consumed alone
        Data,       // a unit that is not a control unit (for example a -254's points)
    };

    explicit DrawingWalker(files::BinaryFile &f) : f_(f) {}

    // Reads the next element; false at the end of the data. complete() tells whether
    // its record and points were all there.
    bool next();

    Kind kind() const { return kind_; }
    int16_t code() const { return code_; }
    int64_t unit_number() const { return unit_number_; } // of the element's first unit
    bool complete() const { return complete_; }
    const Unit &unit() const { return unit_; }
    const GroupRecord &group() const { return group_; }
    const ObjectHeader &object() const { return object_; }
    const AnnotationRecord &annotation() const { return annotation_; }
    const LayerRecord &layer() const { return layer_; }
    // Points of the last Object or Annotation element (none for -254).
    const ZT_Point3 *points() const { return points_.data(); }
    int32_t point_count() const { return point_count_; }

  private:
    void take_points(int32_t stored);

    files::BinaryFile &f_;
    Kind kind_ = Kind::Other;
    int16_t code_ = 0;
    int64_t unit_number_ = 0;
    bool complete_ = true;
    Unit unit_;
    GroupRecord group_;
    ObjectHeader object_;
    AnnotationRecord annotation_;
    LayerRecord layer_;
    std::vector<ZT_Point3> points_;
    int32_t point_count_ = 0;
};

} // namespace drawing
