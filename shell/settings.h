// The viewer's preferences and last view, read from the per-user settings store when
// the map window loads and written back when the main window unloads; and the file
// test for names on the data disc, which tells the user when the disc is not there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "shell/ui_hooks.h"

namespace view {
struct ViewState;
struct FurnitureSettings;
} // namespace view

namespace shell {

// Where the settings live: the launcher writes the data folder under kSettingsApplication,
// the viewer everything else under its title. The store ignores case, so both are one place.
inline constexpr const char *kSettingsApplication = "TAVI";
inline constexpr const char *kProgramTitle = "Tavi";

using Palette = std::array<int32_t, 256>;

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

// The UI hooks plus the one modal message the settings code needs.
struct ShellHooks : UiHooks {
    std::function<void(const std::string &)> message_box; // text with an OK button

    void box(const std::string &text) const {
        if (message_box)
            message_box(text);
    }
};

// Sizes the three site-point arrays for the given number of entries (index 0 to n - 1).
using PointStoreSizer = std::function<void(std::size_t entries)>;

// The data folder of an installed copy: share/tavi/data/ beside the program's bin folder.
std::string install_data_folder();

// Reads every setting in its fixed order, each from the store or its default ("CD Drive"
// defaults to default_data_folder), and tells the user where data are expected. A stored
// value that does not convert to its variable's type ends the reading there: that
// variable and all later ones keep the values they had. The palette and the site-point
// store are prepared in every case, so a damaged store never leaves the map without
// colours or the points without room. Returns false when the reading stopped early.
bool Defaults_Load(SettingsValues &s, view::ViewState &v, view::FurnitureSettings &f,
                   Palette &palette, const PointStoreSizer &size_point_store, const UiHooks &hooks,
                   int map_client_height, const std::string &default_data_folder);

// Writes the view (in whole units: a view left in tenths is switched back first), the
// furniture, the palette and the remaining values, then reports it in the status bar.
// Returns false when the store could not be written.
bool Defaults_Save(const SettingsValues &s, view::ViewState &v, const view::FurnitureSettings &f,
                   const Palette &palette, const UiHooks &hooks);

// True when name is an existing regular file (names written on other systems are
// resolved first). When the file system cannot even be searched there (the disc is not
// mounted, the folder cannot be entered, the medium fails) the user is asked to check
// the disc and the answer is false; the program carries on without the file.
bool FileExists(const std::string &name, const std::string &data_folder, const ShellHooks &hooks);

} // namespace shell
