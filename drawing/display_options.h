// What the map's drawing keeps from one drawing pass to the next: the switches that
// change how objects are painted, and the flags through which the mouse sees a drawing
// under way and asks it to stop. A pass's own working buffers are its own (display.cpp).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

namespace drawing {

struct DisplayOptions {
    bool Polygon_Filling = true;                // false draws every polygon as an outline
    std::array<int32_t, 256> Drawing_Palette{}; // indexed by an object's colour byte
    int32_t Forced_Colour = 0; // RGB overriding every object while flashing; 0 = none
    // How long each flash pass stays on the map before the next (headless callers that
    // only exercise the drawing, such as the fuzzing harness, set none).
    std::chrono::milliseconds Flash_Pause{200};
    // Off, a redraw takes none of its shortcuts: every index entry is walked, drawings are
    // read through the system, site symbols are drawn one by one. The picture is the same
    // either way; tests and benchmarks compare the two.
    bool Shortcuts = true;
};

struct DrawingProgress {
    bool Drawing_In_Progress = false; // the mouse handler leaves the readout alone meanwhile
    bool Abort_Drawing = false;       // set by a right-button release over the map
};

} // namespace drawing
