// The viewer's preferences that live in the per-user settings store, beyond the view and
// the map furniture, at the values an empty store gives.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace state {

// Where the settings live: the launcher writes the data folder under kSettingsApplication,
// the viewer everything else under its title. The store ignores case, so both are one place.
inline constexpr const char *kSettingsApplication = "TAVI";
inline constexpr const char *kProgramTitle = "Tavi";

using Palette = std::array<int32_t, 256>;

// The search buffer, a diameter in world units: the control panel starts it at 10 m,
// the end of start-up sets 100 m for the run, and the user may choose 1 m to 100 m.
inline constexpr double kPanelSearchBuffer = 1000.0;
inline constexpr double kStartSearchBuffer = 10000.0;
inline constexpr double kMinSearchBuffer = 100.0;
inline constexpr double kMaxSearchBuffer = 10000.0;

// The settings that are not part of the view or the map furniture, at the program's own
// start values (those of an empty store; the rest are kept for writing back only).
struct SettingsValues {
    std::string Data_Folder; // folder of the project and its files, with its separator
    int32_t Polygon_Filling = 1;
    double Search_Buffer = 100.0; // world units, a diameter
    double Print_Scale = 100.0;
    double Print_Origin_X = 0.0;
    double Print_Origin_Y = 0.0;
    double Print_Limit_X = 2000.0;
    double Print_Limit_Y = 2000.0;
    std::string Print_Credit = "Printed by Zent";
    int32_t Text_Position = 9;
    int32_t Drawing_Direction = -1;
    int32_t Drawing_Mode = 1;
    int32_t Matrix_Z_Mode = 0;
    int32_t EDM_Offset_X = 0;
    int32_t EDM_Offset_Y = 0;
    int32_t EDM_Offset_Z = 0;
    std::string NTF_Dir;
    // Written at exit but never read: each run starts from these.
    int32_t Max_Points = 1000; // capacity of the site-point store
    int32_t Polygon_Outline = 0;
    int32_t Load_Zero_Points = 0;
    int32_t Load_Points_Beyond_View = 0;
    int32_t Symbol_Size = 2;
};

} // namespace state
