// The font of the program's windows.
#pragma once

#include <QFont>

namespace app {

// The font the windows use: the desktop's own when it is a proportional face; when it
// resolves to a monospaced one (as "sans-serif" does where only the package's fonts are
// installed), Liberation Sans, which the package depends on for the map's "Arial".
QFont interface_font(const QFont &desktop);

} // namespace app
