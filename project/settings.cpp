#include "project/settings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string_view>
#include <type_traits>

#include "platform/base/files.h"
#include "platform/base/numbers.h"
#include "platform/base/settings.h"
#include "state/view_state.h"
#include "view/furniture.h"
#include "zent32i_binding.h"

namespace project {

namespace fs = std::filesystem;

namespace {

// The store's text as the variable's type, the way the user's number format converts
// it: the whole text, blanks around it aside, must be a number, and an integer must fit
// 32 bits after rounding (halves to even). Empty text is not a number.
bool to_i32(const std::string &text, int32_t &out) {
    if (!num::is_numeric(text))
        return false;
    const double r = std::nearbyint(num::Val(text));
    if (!(r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max()))
        return false;
    out = static_cast<int32_t>(r);
    return true;
}

bool to_f64(const std::string &text, double &out) {
    if (!num::is_numeric(text))
        return false;
    const double v = num::Val(text);
    if (!std::isfinite(v))
        return false;
    out = v;
    return true;
}

// A stored text into a variable of the key's kind; false when it does not convert (the
// variable is then left alone).
bool convert(const std::string &text, int32_t &out) {
    return to_i32(text, out);
}
bool convert(const std::string &text, double &out) {
    return to_f64(text, out);
}
bool convert(const std::string &text, std::string &out) {
    out = text;
    return true;
}

// A variable as the store keeps it.
std::string as_text(int32_t v) {
    return num::CStr(v);
}
std::string as_text(double v) {
    return num::CStr(v);
}
const std::string &as_text(const std::string &v) {
    return v;
}

// The three holders of the settings' variables, changeable while reading, read-only
// while writing.
template <class Values, class View, class Furniture> struct Targets {
    Values &values;
    View &view;
    Furniture &furniture;
};

template <class H, class T> auto &holder(H &h, T state::SettingsValues::*) {
    return h.values;
}
template <class H, class T> auto &holder(H &h, T state::ViewState::*) {
    return h.view;
}
template <class H, class T> auto &holder(H &h, T state::FurnitureSettings::*) {
    return h.furniture;
}

// Calls fn with the variable a key fills; a key without one calls nothing.
template <class H, class Fn> void with_variable(const SettingField &field, H &h, Fn &&fn) {
    std::visit(
        [&](auto member) {
            if constexpr (!std::is_same_v<decltype(member), std::monostate>)
                fn(holder(h, member).*member);
        },
        field);
}

} // namespace

struct LoadSession {
    settings::Store &store; // the program title's
    Targets<state::SettingsValues, state::ViewState, state::FurnitureSettings> targets;
    const state::UiHooks &hooks;
    int map_client_height;
    const std::string &default_data_folder;
};

struct SaveSession {
    settings::Store &store;
    Targets<const state::SettingsValues, const state::ViewState, const state::FurnitureSettings>
        targets;
    const state::Palette &palette;
};

namespace {

// ---- The hooks -------------------------------------------------------------------------

// The most negative height has no positive twin; the largest height stands in.
void make_height_positive(LoadSession &session) {
    int32_t &height = session.targets.view.View_Height_Units;
    if (height < 0)
        height = height == std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::max()
                                                               : -height;
}

// The launcher writes the data folder under the settings' own application name; without
// it the data are where an installed copy keeps them.
std::string launchers_data_folder(const SettingKey &key, const LoadSession &session) {
    return settings::get(state::kSettingsApplication, key.section, key.key,
                         session.default_data_folder);
}

void announce_data_folder(LoadSession &session) {
    session.hooks.message("data expected from " + session.targets.values.Data_Folder);
}

// The site-point store's capacity is the program's own, whatever was written last.
void start_point_capacity(LoadSession &session) {
    session.targets.values.Max_Points = 1000;
}

// No stored place: 75 pixels above the bottom of the map window.
void place_bar_above_bottom(LoadSession &session) {
    int32_t &row = session.targets.furniture.Bar_Origin_Y;
    if (row == 0)
        row = num::nearest(static_cast<double>(session.map_client_height) - 75.0);
}

void write_grid_line_limit(const SettingKey &key, SaveSession &session) {
    session.store.put(key.section, key.key, num::CStr(view::kMaxGridLines));
}

// The palette's marker, then each entry under its index with the leading blank of a
// positive number (" 0" to " 255").
void write_palette(const SettingKey &key, SaveSession &session) {
    session.store.put(key.section, key.key, "255");
    for (int i = 0; i < 256; ++i)
        session.store.put(key.section, num::Str(i),
                          num::CStr(session.palette[static_cast<std::size_t>(i)]));
}

// ---- The table -------------------------------------------------------------------------

using S = state::SettingsValues;
using V = state::ViewState;
using F = state::FurnitureSettings;

constexpr SettingKey both(const char *section, const char *key, const char *fallback,
                          SettingField field, SettingHooks hooks = {}) {
    return {section, key, SettingUse::both, fallback, field, hooks};
}
constexpr SettingKey read_only(const char *section, const char *key, const char *fallback,
                               SettingField field, SettingHooks hooks = {}) {
    return {section, key, SettingUse::read, fallback, field, hooks};
}
constexpr SettingKey write_only(const char *section, const char *key, SettingField field,
                                SettingHooks hooks = {}) {
    return {section, key, SettingUse::write, nullptr, field, hooks};
}

// The keys written but never read start each run from the program's own values.
constexpr SettingKey kKeys[] = {
    both("Startup", "WorldHeight", "50000", &V::View_Height_Units,
         {.after_read = make_height_positive}),
    both("Startup", "Origin_X", "49140000", &V::View_X_Min),
    both("Startup", "Origin_Y", "47568000", &V::View_Y_Min),
    read_only("Startup", "CD Drive", nullptr, &S::Data_Folder,
              {.source = launchers_data_folder, .after_read = announce_data_folder}),
    both("Startup", "Grid_spacing", "1000", &F::Grid_Spacing),
    write_only("Startup", "Max_Grid_lines", {}, {.write = write_grid_line_limit}),
    both("Startup", "Polygon Filling", "1", &S::Polygon_Filling),
    write_only("Startup", "Polygon Outline", &S::Polygon_Outline),
    write_only("Startup", "Load Zero Points", &S::Load_Zero_Points),
    write_only("Startup", "Load_Points_Beyond_View", &S::Load_Points_Beyond_View),
    write_only("Startup", "Maximum Number of Points to Load", &S::Max_Points),
    both("Startup", "Grid On/Off", "1", &F::Grid_On),
    both("Startup", "Grid Labels", "1", &F::Grid_Labels),
    both("Startup", "Grid Precision", "1", &F::Grid_Precision),
    both("Startup", "Search Buffer", "100", &S::Search_Buffer,
         {.after_read = start_point_capacity}),

    write_only("Colours", "UserPalette", {}, {.write = write_palette}),
    write_only("Symbols", "Symbol Size", &S::Symbol_Size),

    both("Print", "Last Scale", "100", &S::Print_Scale),
    both("Print", "Last Origin X", "0", &S::Print_Origin_X),
    both("Print", "Last Origin Y", "0", &S::Print_Origin_Y),
    both("Print", "Last Limit X", "2000", &S::Print_Limit_X),
    both("Print", "Last Limit Y", "2000", &S::Print_Limit_Y),
    both("Print", "CopyRight", "Printed by Zent", &S::Print_Credit),

    both("Display", "Bar Origin X", "75", &F::Bar_Origin_X),
    both("Display", "Bar Origin Y", "75", &F::Bar_Origin_Y, {.after_read = place_bar_above_bottom}),
    both("Display", "Scale Bar ", "1", &F::Scale_Bar_Style),
    both("Display", "Scale Bar on/off", "1", &F::Scale_Bar_On),
    both("Display", "North Point on/off", "1", &F::North_Point_On),
    both("Display", "Scale Floating ", "0", &F::Scale_Floating),
    both("Display", "Omit Chars", "0", &F::Omit_Chars),
    both("Display", "Text Position", "9", &S::Text_Position),

    read_only("Matrix", "Drawing Direction", "-1", &S::Drawing_Direction),
    read_only("Matrix", "Drawing Mode", "1", &S::Drawing_Mode),
    read_only("Matrix", "Matrix Z Mode", "0", &S::Matrix_Z_Mode),
    read_only("EDM", "EDM offset X", "0", &S::EDM_Offset_X),
    read_only("EDM", "EDM offset Y", "0", &S::EDM_Offset_Y),
    read_only("EDM", "EDM offset Z", "0", &S::EDM_Offset_Z),
    read_only("NTF", "NTF_dir", "", &S::NTF_Dir),
};

// Every key read has a variable and a text to read; every key written, something to write.
constexpr bool well_formed(const SettingKey &key) {
    const bool has_variable = !std::holds_alternative<std::monostate>(key.field);
    const bool readable = has_variable && (key.fallback != nullptr || key.hooks.source != nullptr);
    const bool writable = has_variable || key.hooks.write != nullptr;
    return key.use == SettingUse::read    ? readable
           : key.use == SettingUse::write ? writable
                                          : readable && writable;
}
static_assert(std::ranges::all_of(kKeys, well_formed));

// ---- Reading and writing -----------------------------------------------------------------

// Every key read in its order, with the steps that follow particular keys. Stops at the
// first value that does not convert.
bool read_keys(LoadSession &session) {
    for (const SettingKey &key : kKeys) {
        if (key.use == SettingUse::write)
            continue;
        const std::string text = key.hooks.source
                                     ? key.hooks.source(key, session)
                                     : session.store.get(key.section, key.key, key.fallback);
        bool converted = false;
        with_variable(key.field, session.targets,
                      [&](auto &variable) { converted = convert(text, variable); });
        if (!converted)
            return false;
        if (key.hooks.after_read)
            key.hooks.after_read(session);
    }
    return true;
}

void write_keys(SaveSession &session) {
    for (const SettingKey &key : kKeys) {
        if (key.use == SettingUse::read)
            continue;
        if (key.hooks.write) {
            key.hooks.write(key, session);
            continue;
        }
        with_variable(key.field, session.targets, [&](const auto &variable) {
            session.store.put(key.section, key.key, as_text(variable));
        });
    }
}

bool is_missing(int err) {
    return err == ENOENT || err == ENOTDIR;
}

// What to name as the drive in the disc prompt. A data folder that is there names the
// mount point holding it; one that has gone names the topmost missing folder above it,
// where the medium was mounted (a removed disc takes its mount folder with it).
std::string drive_of(const std::string &data_folder) {
    std::error_code ec;
    fs::path folder = fs::absolute(files::resolve(data_folder), ec).lexically_normal();
    if (!folder.has_filename() && folder.has_parent_path() && folder != folder.root_path())
        folder = folder.parent_path();
    struct stat st {};
    const bool gone = ::stat(folder.c_str(), &st) != 0 && is_missing(errno);
    if (gone) {
        fs::path top = folder;
        while (top != top.root_path() && !fs::exists(top.parent_path(), ec))
            top = top.parent_path();
        return top.string();
    }
    return files::mount_point(folder).string();
}

// The folder holding the data can be reached (an empty one is the current folder).
bool folder_reachable(const std::string &data_folder) {
    if (data_folder.empty())
        return true;
    struct stat st {};
    return ::stat(files::resolve(data_folder).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::span<const SettingKey> setting_keys() {
    return kKeys;
}

std::string install_data_folder() {
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    const fs::path root = ec ? fs::current_path(ec) : program.parent_path().parent_path();
    return (root / "share" / "tavi" / "data").string() + "/";
}

bool Defaults_Load(state::SettingsValues &s, state::ViewState &v, state::FurnitureSettings &f,
                   state::Palette &palette, const PointStoreSizer &size_point_store,
                   const state::UiHooks &hooks, int map_client_height,
                   const std::string &default_data_folder) {
    settings::Store title(state::kProgramTitle);
    LoadSession session{title, {s, v, f}, hooks, map_client_height, default_data_folder};
    const bool complete = read_keys(session);
    // Whatever the store held, the map needs its colours and the site points their room.
    zt::ZT_Init_Zent_Palette(palette.data());
    if (size_point_store)
        size_point_store(static_cast<std::size_t>(s.Max_Points > 0 ? s.Max_Points : 0) + 1);
    return complete;
}

bool Defaults_Save(const state::SettingsValues &s, state::ViewState &v,
                   const state::FurnitureSettings &f, const state::Palette &palette,
                   const state::UiHooks &hooks) {
    // Only whole units are stored; a view left in tenths goes back first.
    if (v.Fine_Units != 0)
        v.Fine_Units = state::ReScale(v);

    settings::Store store(state::kProgramTitle);
    SaveSession session{store, {s, v, f}, palette};
    write_keys(session);

    const bool written = store.sync();
    hooks.message("settings loaded");
    return written;
}

bool FileExists(const std::string &name, const std::string &data_folder,
                const state::UiHooks &hooks) {
    struct stat st {};
    if (::stat(files::resolve(name).c_str(), &st) == 0)
        return S_ISREG(st.st_mode);
    const int err = errno;
    // A name that is simply not there, in a folder that is, is an ordinary answer.
    if (is_missing(err) && folder_reachable(data_folder))
        return false;
    hooks.box("Check to make sure the TAVI CD ROM is in drive " + drive_of(data_folder) +
              " and re-start Tavi which will cancel when you press OK");
    return false;
}

} // namespace project
