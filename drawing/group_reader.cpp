#include "drawing/group_reader.h"

#include <algorithm>
#include <limits>

#include "drawing/drw_reader.h"

namespace drawing {

namespace {

uint32_t as_record(std::size_t n) {
    return static_cast<uint32_t>(n);
}

// Appends an element of the code whose count points were just read onto the end of
// out.points.
void add_element(GroupElements &out, int16_t code, uint32_t record, std::size_t first,
                 int32_t count) {
    GroupElement e;
    e.code = code;
    e.record = record;
    e.points = std::max(count, 0);
    e.first = first;
    out.elements.push_back(e);
}

// Reads up to stored points onto the end of out.points; how many arrived.
int32_t read_points_into(files::BinaryFile &file, int32_t stored, GroupElements &out,
                         std::size_t spare) {
    const std::size_t first = out.points.size();
    const auto room = static_cast<std::size_t>(std::max(stored, 0)) + spare;
    out.points.resize(first + room);
    const int32_t count = read_points(file, stored, out.points.data() + first, room);
    out.points.resize(first + static_cast<std::size_t>(std::max(count, 0)));
    return count;
}

void read_line_object(files::BinaryFile &file, int16_t code, GroupElements &out) {
    ObjectHeader h;
    if (!read_record(file, h)) {
        out.complete = false;
        return;
    }
    const std::size_t first = out.points.size();
    int32_t count = read_points_into(file, bounded_point_count(file, h.point_count), out, 1);
    if (count > 0 && code == kCodePolygon) {
        // Rings are stored open; close them here.
        out.points.push_back(out.points[first]);
        ++count;
        if (h.point_count < std::numeric_limits<int32_t>::max())
            ++h.point_count;
    }
    if (count <= 0)
        return;
    out.objects.push_back(h);
    add_element(out, code, as_record(out.objects.size() - 1), first, count);
}

void read_annotation(files::BinaryFile &file, GroupElements &out) {
    AnnotationRecord a;
    if (!read_record(file, a)) {
        out.complete = false;
        return;
    }
    const std::size_t first = out.points.size();
    const int32_t count = read_points_into(file, bounded_point_count(file, a.point_count), out, 0);
    if (count <= 0)
        return;
    out.annotations.push_back(a);
    add_element(out, kCodeAnnotation, as_record(out.annotations.size() - 1), first, count);
}

} // namespace

void read_element(files::BinaryFile &file, int16_t code, GroupElements &out) {
    switch (code) {
    case kCodeHeaderOnly: {
        // Its points follow as plain units, which the caller passes over.
        ObjectHeader h;
        out.complete &= read_record(file, h);
        break;
    }
    case kCodeHiddenA:
    case kCodeHiddenB: {
        ObjectHeader h;
        if (read_record(file, h))
            skip_units(file, h.point_count);
        else
            out.complete = false;
        break;
    }
    case kCodeLayer: {
        LayerRecord layer;
        read_record(file, layer, false);
        break;
    }
    case kCodeGroup: {
        GroupRecord g;
        if (read_record(file, g)) {
            out.groups.push_back(g);
            add_element(out, kCodeGroup, as_record(out.groups.size() - 1), out.points.size(), 0);
        } else {
            out.complete = false;
        }
        break;
    }
    case kCodeAnnotation:
        read_annotation(file, out);
        break;
    case kCodePolyline:
    case kCodePolygon:
        read_line_object(file, code, out);
        break;
    default:
        break;
    }
}

void read_indexed_group(files::BinaryFile &file, const IndexEntry &entry, GroupElements &out) {
    Unit u;
    // An index entry names the group starting at its first unit. One pointing before
    // the first unit, past the end, at an end mark or anywhere but a group start names
    // no group (an index holding such an entry is not used, see drawing_index.h).
    if (seek_unit(file, entry.first_unit) && read_unit(file, u) && u.control() &&
        u.code() == kCodeGroup) {
        GroupRecord g;
        out.complete &= read_record(file, g);
        // The group runs to the next group start, an end mark or the end of the file,
        // whatever its length field says.
        while (read_unit(file, u)) {
            if (!u.control())
                continue;
            const int16_t code = u.code();
            read_element(file, code, out);
            if (code == kCodeGroup || code == kCodeEndMark)
                break;
        }
    }
    out.ends.push_back(out.elements.size());
}

void read_every_group(files::BinaryFile &file, const DrawingIndex &index, int64_t budget,
                      GroupElements &out) {
    // Every point a unit at most: each group start is read once, and groups do not
    // overlap.
    out.points.reserve(static_cast<std::size_t>(file.size()) / kUnitBytes);
    for (std::size_t i = 0; i < index.size() && out.complete; ++i) {
        if (index.group_of(i) != i) {
            // Drawn from the first entry naming the same group.
            out.ends.push_back(out.elements.size());
            continue;
        }
        read_indexed_group(file, index[i], out);
        if (out.bytes() > budget)
            out.complete = false;
    }
}

void read_rest_of_group(files::BinaryFile &file, GroupElements &out) {
    Unit u;
    while (read_unit(file, u)) {
        if (!u.control())
            continue;
        read_element(file, u.code(), out);
        if (u.code() == kCodeGroup)
            break;
    }
}

} // namespace drawing
