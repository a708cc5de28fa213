// The map window's tool and interaction state.
#pragma once

#include <cstdint>
#include <string>

namespace state {

struct InteractionState {
    int32_t Tool_Code = 0;      // 0 none, 3 point data, 6/7 polygon, 8/15 polyline, 110 planning
    int32_t Search_Shape = 0;   // 1 polygon, 2 polyline
    bool Cursor_Fresh = false;  // the buffer circle has not been drawn since the tool was chosen
    int32_t Current_Height = 0; // hundredths of a metre under the pointer; 0 = none
    bool Scale_Bar_Dragging = false;
    bool Data_Loading = false; // the toolbar refuses work while the project loads
    int32_t Refresh_Mode = 1;  // 1: the timer may copy the picture to the screen
    int32_t Cursor_Style = 1;  // the idle pointer is Cursor_Style + 1
    std::string RAZ_Reference;
    int32_t Current_Colour = 0; // last colour picked; the colour of plotted points
};

} // namespace state
