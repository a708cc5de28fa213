// Where a window laid over the map hides least of it: the control panel on a first start,
// the object list when it opens. The map fills the main window, so every window beside it
// covers some of it; the place chosen covers none of what must stay in sight when it
// can, then as little as it can of what is drawn.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>
#include <QSize>

#include <vector>

namespace view {

struct PlaceWanted {
    QRect area; // where the window may go (in the picture's pixels when a picture is given)
    QSize size; // the window's size
    // What should stay in sight, most of all: the window overlaps as little of these
    // as it can, counted in pixels.
    std::vector<QRect> keep_clear;
    // The map as drawn: the window then covers as few of its drawn pixels as it can.
    // Pixels of the colours in `empty` (the background, the grid's lines) are not
    // counted as drawn.
    const QImage *picture = nullptr;
    std::vector<QRgb> empty;
};

// The top-left corner of the place: along the top and the bottom edge of the area, the
// one with the least of keep_clear under it, then the fewest drawn pixels (by the
// hundredth of the window's area), then the easternmost, then the topmost. A window
// larger than the area goes to its top-left.
QPoint least_hidden_place(const PlaceWanted &wanted);

} // namespace view
