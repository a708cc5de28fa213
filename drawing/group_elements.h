// The groups an indexed drawing's entries name, read once into what the redraw needs of
// them: the objects and lettering it draws, with their points, and the next group's
// record where a group ends at one.
//
// Reading a drawing unit by unit costs about as much as projecting its points, and the
// groups are read in index order, which jumps about the file. Held like this, a redraw
// only projects and paints, and walks its memory straight through, in the order it
// draws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "drawing/drw_format.h"

namespace drawing {

struct GroupElement {
    int16_t code = 0;      // kCodePolyline, kCodePolygon, kCodeAnnotation or kCodeGroup
    uint32_t record = 0;   // in objects, annotations or groups, by the code
    int32_t points = 0;    // how many, a ring's closing copy included
    std::size_t first = 0; // of them in GroupElements::points
};

struct GroupElements {
    std::vector<GroupElement> elements;
    std::vector<ObjectHeader> objects;
    std::vector<AnnotationRecord> annotations;
    std::vector<GroupRecord> groups;
    std::vector<ZT_Point3> points;
    // Where each entry's elements end: entry i has those from ends[i - 1] (0 for the
    // first) up to ends[i].
    std::vector<std::size_t> ends;
    // False when a record was cut short by the end of the file (what such a read leaves
    // depends on the records read before it, which differ from view to view), or when
    // the groups would not fit in memory: such a drawing is read from its file instead.
    bool complete = true;

    void clear() {
        elements.clear();
        objects.clear();
        annotations.clear();
        groups.clear();
        points.clear();
        ends.clear();
        complete = true;
    }
    void shrink_to_fit() {
        elements.shrink_to_fit();
        objects.shrink_to_fit();
        annotations.shrink_to_fit();
        groups.shrink_to_fit();
        points.shrink_to_fit();
        ends.shrink_to_fit();
    }
    std::size_t begin_of(std::size_t entry) const { return entry == 0 ? 0 : ends[entry - 1]; }
    int64_t bytes() const {
        return static_cast<int64_t>(
            elements.capacity() * sizeof(GroupElement) + objects.capacity() * sizeof(ObjectHeader) +
            annotations.capacity() * sizeof(AnnotationRecord) +
            groups.capacity() * sizeof(GroupRecord) + points.capacity() * sizeof(ZT_Point3) +
            ends.capacity() * sizeof(std::size_t));
    }
};

} // namespace drawing
