#include "interrogation/label_layout.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace interrogation {

namespace {

// Places tried around a ring, each further out than the last by this share of the ring's
// radius, and the directions tried at each: up-right first, where a number reads as its
// ring's, then round the ring.
constexpr int kReaches = 24;
constexpr double kReachStep = 0.9;
constexpr int kDirections = 12;

// The label's box of the given size beside (cx, cy) at distance d in direction a: its
// corner or side nearest the ring touches the point at that distance.
QRectF box_at(QPointF c, double d, double a, QSizeF size) {
    const double dx = std::cos(a), dy = -std::sin(a); // page y grows downwards
    const QPointF p(c.x() + d * dx, c.y() + d * dy);
    // The box hangs away from the ring: its near side on p, centred along the other axis
    // when the direction is nearly along one axis.
    const double left = dx > 0.3    ? p.x()
                        : dx < -0.3 ? p.x() - size.width()
                                    : p.x() - size.width() / 2;
    const double top = dy > 0.3    ? p.y()
                       : dy < -0.3 ? p.y() - size.height()
                                   : p.y() - size.height() / 2;
    return QRectF(QPointF(left, top), size);
}

bool clear_of(const QRectF &box, const std::vector<RingLabel> &placed, double gap) {
    const QRectF grown = box.adjusted(-gap, -gap, gap, gap);
    return std::none_of(placed.begin(), placed.end(),
                        [&](const RingLabel &l) { return l.box.intersects(grown); });
}

} // namespace

std::vector<RingLabel> place_ring_labels(const std::vector<QPointF> &centres,
                                         const std::vector<QSizeF> &sizes, double ring, double gap,
                                         const QRectF &area) {
    std::vector<RingLabel> placed;
    placed.reserve(centres.size());
    for (std::size_t i = 0; i < centres.size() && i < sizes.size(); ++i) {
        const QPointF c = centres[i];
        const QRectF usual = box_at(c, ring, std::numbers::pi / 4, sizes[i]);
        RingLabel chosen{usual, false};
        bool found = false;
        for (int reach = 0; reach < kReaches && !found; ++reach) {
            const double d = ring * (1.0 + reach * kReachStep);
            for (int k = 0; k < kDirections && !found; ++k) {
                const double a = std::numbers::pi / 4 + 2 * std::numbers::pi * k / kDirections;
                const QRectF box = box_at(c, d, a, sizes[i]);
                if (!area.contains(box) || !clear_of(box, placed, gap))
                    continue;
                chosen = RingLabel{box, reach > 0};
                found = true;
            }
        }
        placed.push_back(chosen);
    }
    return placed;
}

} // namespace interrogation
