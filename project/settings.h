// The viewer's preferences and last view, read from the per-user settings store when
// the map window loads and written back when the main window unloads; and the file
// test for names on the data disc, which tells the user when the disc is not there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <variant>

#include "state/furniture_settings.h"
#include "state/settings_values.h"
#include "state/ui_hooks.h"
#include "state/view_state.h"

namespace project {

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
bool Defaults_Load(state::SettingsValues &s, state::ViewState &v, state::FurnitureSettings &f,
                   state::Palette &palette, const PointStoreSizer &size_point_store,
                   const state::UiHooks &hooks, int map_client_height,
                   const std::string &default_data_folder);

// Writes the view (in whole units: a view left in tenths is switched back first), the
// furniture, the palette and the remaining values, then reports it in the status bar.
// Returns false when the store could not be written.
bool Defaults_Save(const state::SettingsValues &s, state::ViewState &v,
                   const state::FurnitureSettings &f, const state::Palette &palette,
                   const state::UiHooks &hooks);

// ---- The keys ----------------------------------------------------------------------
//
// One table holds every key the viewer reads or writes, and drives both: the reading
// walks it in order, and so does the writing (the two orders agree on the keys they
// share). A key is copied plainly between the store and its variable unless one of its
// hooks says otherwise.

struct SettingKey;
struct LoadSession; // what the reading's hooks work on
struct SaveSession; // what the writing's hooks work on

// The variable a key fills. Its type is the key's kind: int32_t a 32-bit integer, double
// a real, std::string text. Numbers are written without a leading blank and read back
// the way the user's number format converts them. No variable: the hooks do it all.
using SettingField =
    std::variant<std::monostate, int32_t state::ViewState::*, double state::ViewState::*,
                 int32_t state::FurnitureSettings::*, int32_t state::SettingsValues::*,
                 double state::SettingsValues::*, std::string state::SettingsValues::*>;

enum class SettingUse { read, write, both };

// The steps of a key that are not a plain copy.
struct SettingHooks {
    // Where the text comes from, instead of the title's store with the key's default.
    std::string (*source)(const SettingKey &, const LoadSession &) = nullptr;
    // What follows once the value has been read and converted.
    void (*after_read)(LoadSession &) = nullptr;
    // The writing, instead of the variable's value under the key.
    void (*write)(const SettingKey &, SaveSession &) = nullptr;
};

struct SettingKey {
    const char *section;
    const char *key; // literal, blanks included
    SettingUse use;
    const char *fallback; // the default text of a key read from the title's store
    SettingField field;
    SettingHooks hooks;
};

// Every key, in the order of reading and writing.
std::span<const SettingKey> setting_keys();

// True when name is an existing regular file (names written on other systems are
// resolved first). When the file system cannot even be searched there (the disc is not
// mounted, the folder cannot be entered, the medium fails) the user is asked to check
// the disc and the answer is false; the program carries on without the file.
bool FileExists(const std::string &name, const std::string &data_folder,
                const state::UiHooks &hooks);

} // namespace project
