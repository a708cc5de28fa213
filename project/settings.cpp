#include "project/settings.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string_view>

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

// Reads one application's keys; a conversion that fails leaves the variable alone.
class Reader {
  public:
    explicit Reader(settings::Store &store) : store_(store) {}

    bool i32(const char *section, const char *key, const char *def, int32_t &out) {
        return to_i32(store_.get(section, key, def), out);
    }
    bool f64(const char *section, const char *key, const char *def, double &out) {
        return to_f64(store_.get(section, key, def), out);
    }
    void text(const char *section, const char *key, const std::string &def, std::string &out) {
        out = store_.get(section, key, def);
    }

  private:
    settings::Store &store_;
};

// Every key in its fixed order, with the steps that follow particular keys. Stops at
// the first value that does not convert and says so.
bool read_keys(state::SettingsValues &s, state::ViewState &v, state::FurnitureSettings &f,
               const state::UiHooks &hooks, int map_client_height,
               const std::string &default_data_folder) {
    settings::Store title(state::kProgramTitle);
    Reader r(title);

    if (!r.i32("Startup", "WorldHeight", "50000", v.View_Height_Units))
        return false;
    if (v.View_Height_Units < 0) {
        // The most negative height has no positive twin; the largest height stands in.
        v.View_Height_Units = v.View_Height_Units == std::numeric_limits<int32_t>::min()
                                  ? std::numeric_limits<int32_t>::max()
                                  : -v.View_Height_Units;
    }
    if (!r.f64("Startup", "Origin_X", "49140000", v.View_X_Min))
        return false;
    if (!r.f64("Startup", "Origin_Y", "47568000", v.View_Y_Min))
        return false;
    // The launcher writes the data folder under the settings' own application name.
    s.Data_Folder =
        settings::get(state::kSettingsApplication, "Startup", "CD Drive", default_data_folder);
    hooks.message("data expected from " + s.Data_Folder);
    if (!r.i32("Startup", "Grid_spacing", "1000", f.Grid_Spacing))
        return false;
    if (!r.i32("Startup", "Polygon Filling", "1", s.Polygon_Filling))
        return false;
    if (!r.i32("Startup", "Grid On/Off", "1", f.Grid_On))
        return false;
    if (!r.i32("Startup", "Grid Labels", "1", f.Grid_Labels))
        return false;
    if (!r.i32("Startup", "Grid Precision", "1", f.Grid_Precision))
        return false;
    if (!r.f64("Startup", "Search Buffer", "100", s.Search_Buffer))
        return false;
    s.Max_Points = 1000;

    if (!r.f64("Print", "Last Scale", "100", s.Print_Scale))
        return false;
    if (!r.f64("Print", "Last Origin X", "0", s.Print_Origin_X))
        return false;
    if (!r.f64("Print", "Last Origin Y", "0", s.Print_Origin_Y))
        return false;
    if (!r.f64("Print", "Last Limit X", "2000", s.Print_Limit_X))
        return false;
    if (!r.f64("Print", "Last Limit Y", "2000", s.Print_Limit_Y))
        return false;
    r.text("Print", "CopyRight", "Printed by Zent", s.Print_Credit);

    if (!r.i32("Display", "Bar Origin X", "75", f.Bar_Origin_X))
        return false;
    if (!r.i32("Display", "Bar Origin Y", "75", f.Bar_Origin_Y))
        return false;
    // No stored place: 75 pixels above the bottom of the map window.
    if (f.Bar_Origin_Y == 0)
        f.Bar_Origin_Y = num::nearest(static_cast<double>(map_client_height) - 75.0);
    if (!r.i32("Display", "Scale Bar ", "1", f.Scale_Bar_Style))
        return false;
    if (!r.i32("Display", "Scale Bar on/off", "1", f.Scale_Bar_On))
        return false;
    if (!r.i32("Display", "North Point on/off", "1", f.North_Point_On))
        return false;
    if (!r.i32("Display", "Scale Floating ", "0", f.Scale_Floating))
        return false;
    if (!r.i32("Display", "Omit Chars", "0", f.Omit_Chars))
        return false;
    if (!r.i32("Display", "Text Position", "9", s.Text_Position))
        return false;

    if (!r.i32("Matrix", "Drawing Direction", "-1", s.Drawing_Direction))
        return false;
    if (!r.i32("Matrix", "Drawing Mode", "1", s.Drawing_Mode))
        return false;
    if (!r.i32("Matrix", "Matrix Z Mode", "0", s.Matrix_Z_Mode))
        return false;
    if (!r.i32("EDM", "EDM offset X", "0", s.EDM_Offset_X))
        return false;
    if (!r.i32("EDM", "EDM offset Y", "0", s.EDM_Offset_Y))
        return false;
    if (!r.i32("EDM", "EDM offset Z", "0", s.EDM_Offset_Z))
        return false;
    r.text("NTF", "NTF_dir", "", s.NTF_Dir);
    return true;
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
    const bool complete = read_keys(s, v, f, hooks, map_client_height, default_data_folder);
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
    const auto put = [&store](const char *section, const char *key, const std::string &value) {
        store.put(section, key, value);
    };
    put("Startup", "WorldHeight", num::CStr(v.View_Height_Units));
    put("Startup", "Origin_X", num::CStr(v.View_X_Min));
    put("Startup", "Origin_Y", num::CStr(v.View_Y_Min));
    put("Startup", "Grid_spacing", num::CStr(f.Grid_Spacing));
    put("Startup", "Max_Grid_lines", num::CStr(view::kMaxGridLines));
    put("Startup", "Polygon Filling", num::CStr(s.Polygon_Filling));
    put("Startup", "Polygon Outline", num::CStr(s.Polygon_Outline));
    put("Startup", "Load Zero Points", num::CStr(s.Load_Zero_Points));
    put("Startup", "Load_Points_Beyond_View", num::CStr(s.Load_Points_Beyond_View));
    put("Startup", "Maximum Number of Points to Load", num::CStr(s.Max_Points));
    put("Startup", "Grid On/Off", num::CStr(f.Grid_On));
    put("Startup", "Grid Labels", num::CStr(f.Grid_Labels));
    put("Startup", "Grid Precision", num::CStr(f.Grid_Precision));
    put("Startup", "Search Buffer", num::CStr(s.Search_Buffer));

    put("Colours", "UserPalette", "255");
    for (int i = 0; i < 256; ++i)
        put("Colours", num::Str(i).c_str(), num::CStr(palette[static_cast<std::size_t>(i)]));

    put("Symbols", "Symbol Size", num::CStr(s.Symbol_Size));

    put("Print", "Last Scale", num::CStr(s.Print_Scale));
    put("Print", "Last Origin X", num::CStr(s.Print_Origin_X));
    put("Print", "Last Origin Y", num::CStr(s.Print_Origin_Y));
    put("Print", "Last Limit X", num::CStr(s.Print_Limit_X));
    put("Print", "Last Limit Y", num::CStr(s.Print_Limit_Y));
    put("Print", "CopyRight", s.Print_Credit);

    put("Display", "Bar Origin X", num::CStr(f.Bar_Origin_X));
    put("Display", "Bar Origin Y", num::CStr(f.Bar_Origin_Y));
    put("Display", "Scale Bar ", num::CStr(f.Scale_Bar_Style));
    put("Display", "Scale Bar on/off", num::CStr(f.Scale_Bar_On));
    put("Display", "North Point on/off", num::CStr(f.North_Point_On));
    put("Display", "Scale Floating ", num::CStr(f.Scale_Floating));
    put("Display", "Omit Chars", num::CStr(f.Omit_Chars));
    put("Display", "Text Position", num::CStr(s.Text_Position));

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
