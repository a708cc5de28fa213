// How the windows that show results belong to the main window.
#pragma once

#include <Qt>

namespace app {

// The results windows and the record viewers are dialogs of the main window: the window
// manager then keeps them above the map, whatever happens to it (a redraw, the main
// window activated, minimised and restored), and they can still be maximised.
inline constexpr Qt::WindowFlags kResultWindowFlags =
    Qt::Dialog | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint;

} // namespace app
