// What assistive technology (screen readers, and test tools through the desktop's
// accessibility bus) reads of a control, and the keys that reach what the mouse reaches.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace grid {
class Grid;
}

namespace app {

// The control's accessible name (what a screen reader calls it) and description (what
// it is for: the help text the panel shows, where there is one).
void describe(QWidget *control, const QString &name, const QString &description);
// A grid is read as its table, which is what the user moves through.
void describe(grid::Grid *control, const QString &name, const QString &description);

// Esc closes the window, wherever the focus is inside it: through its close event
// unless the window closes another way (its cancel button's).
void close_on_escape(QWidget *window, std::function<void()> close = {});

} // namespace app
