// Where a map puts the numbers of its ringed finds so that no number covers another:
// beside its ring where there is room, else moved off it (drawn with a short leader back
// to the ring), trying places further out around it until one is free. The report's map
// and its test use the same placement.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <vector>

namespace interrogation {

struct RingLabel {
    QRectF box;          // where the number stands
    bool leader = false; // moved off its ring: a line joins it to the ring
};

// A label of sizes[i] for the ring of the given radius around centres[i], placed in
// order (the first ones nearest their rings), each inside area and clear of every label
// placed before it by gap. A label for which no free place is found within reach stands
// beside its ring.
std::vector<RingLabel> place_ring_labels(const std::vector<QPointF> &centres,
                                         const std::vector<QSizeF> &sizes, double ring, double gap,
                                         const QRectF &area);

} // namespace interrogation
