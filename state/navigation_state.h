// Where the navigation drags stand.
#pragma once

#include "state/ui_hooks.h"

namespace state {

// The map window's drag tools. The mouse handler arms and advances them; navigation
// ends the drags.
struct NavigationState {
    enum : int { Idle = 0, Armed = 1, Dragging = 2 };
    int Pan_State = Idle;
    int Zoom_Window_State = Idle;
    int Tool_Pointer = kPointerCross; // the pointer of the current tool
};

} // namespace state
