// The index walk the drawn-feature searches share: the groups of one drawing whose boxes
// meet a box, found through the drawing's index without reading the rest.
#pragma once

#include <functional>

#include "drawing/drw_reader.h"
#include "platform/base/files.h"
#include "state/drawing_table.h"

namespace interrogation {

// A box in whole units.
struct UnitBox {
    double x_min = 0, y_min = 0, x_max = 0, y_max = 0;
};

// Calls visit with the drawing and each index entry whose group box meets the box, each
// group once (in the units of the first entry naming it, however many entries name it),
// in index order. Each entry is compared in its own units. The index is ordered by x min,
// so the walk ends at the first entry beyond the box. Nothing when the drawing or its
// index cannot be opened.
void for_each_group_in_box(
    const state::DrawingEntry &e, const UnitBox &box,
    const std::function<void(files::BinaryFile &drw, const drawing::IndexRecord &r)> &visit);

} // namespace interrogation
