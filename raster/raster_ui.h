// What loading and painting rasters ask of the windows around them, beyond the status
// texts every subsystem writes.
#pragma once

#include <cstdint>
#include <functional>

#include "state/ui_hooks.h"

namespace raster {

struct RasterUi {
    state::UiHooks hooks;           // status panel 1, the map pointer
    std::function<void()> beep;     // none: silent
    std::function<void(int)> pause; // milliseconds; none: the thread sleeps
    int32_t cursor_style = 0;       // the user's pointer choice: the idle pointer is this + 1

    void sound() const {
        if (beep)
            beep();
    }
};

} // namespace raster
