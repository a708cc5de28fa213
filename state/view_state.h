// The one view of the map window: which rectangle of the national grid it shows and
// how that maps to pixels. Only View_X_Min, View_Y_Min and View_Height_Units are
// primary; Prepare_View derives the rest before every redraw. The library keeps a copy
// of it, which the two functions below keep in step.
#pragma once

#include <cstdint>

namespace gdi {
class DeviceContext;
}

namespace state {

// World units in a metre: a world unit is a centimetre.
inline constexpr int32_t kUnitsPerMetre = 100;

// World units are hundredths of a metre (tenths of that while Fine_Units is 1).
struct ViewState {
    double View_X_Min = 0.0;
    double View_Y_Min = 0.0;
    double View_X_Max = 0.0;
    double View_Y_Max = 0.0;
    int32_t View_Height_Units = 100;
    int32_t View_Width_Units = 0;
    double View_Scale = 0.0; // pixels per world unit
    double Window_Width = 0.0;
    double Window_Height = 0.0;
    int32_t Window_Width_Px = 0;
    int32_t Window_Height_Px = 0;
    int32_t View_Centre_X = 0;
    int32_t View_Centre_Y = 0;
    gdi::DeviceContext *Map_DC = nullptr;
    int32_t Fine_Units = 0;
    bool Zoom_Limits_On = true;
    int32_t Z_Datum = 0;
    int32_t Cursor_World_X = 0;
    int32_t Cursor_World_Y = 0;

    // What the switch into tenths was made from and what it made: switching back puts
    // the whole-unit values back exactly (a tenth times ten is not always one again),
    // unless the view was changed in tenths meanwhile.
    struct Extent {
        double x_min = 0.0, y_min = 0.0, x_max = 0.0, y_max = 0.0, scale = 0.0;
        int32_t width_units = 0, height_units = 0;
        bool operator==(const Extent &) const = default;
    };
    Extent Whole_Units_Kept{}, Tenths_Made{};
};

// Hands the current view to the graphics library (projection mode 1, plan view), which
// keeps its own copy for projecting and clipping.
void Set_Library_View(const ViewState &v);

// Switches the view between whole and tenth units (a drawing group may hold tenths) and
// hands it to the library again. Returns the new value for Fine_Units (1 after switching
// into tenths, 0 after switching back); Fine_Units itself is left to the caller. Switching
// back gives exactly the whole-unit view the switch into tenths was made from, so that
// nothing drawn after depends on how many switches came before.
int32_t ReScale(ViewState &v);

} // namespace state
