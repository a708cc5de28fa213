// Where a window that opens over the map goes: clear of the program's other windows
// (the control panel, results, viewers) and of what the user is looking at (the area
// just searched), along the map's top or bottom edge where the map has room, and at the
// size the window will really have, whatever the interface font makes of it.
#pragma once

#include <QRect>
#include <QSize>

#include <vector>

class QWidget;

namespace app {

// The size the window will have on the screen once shown, its frame included: at least
// what its layout needs, which a larger font makes larger than the size asked for.
QSize size_when_shown(QWidget &window);

// The frames of the program's windows shown now, other than the main window and
// the one given.
std::vector<QRect> other_windows(const QWidget &window);

// Moves the window over map_area (global coordinates) to the place that covers least of
// keep_clear and of the program's other windows.
void open_beside(QWidget &window, const QRect &map_area, std::vector<QRect> keep_clear);

} // namespace app
