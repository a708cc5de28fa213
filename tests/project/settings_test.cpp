#include "project/settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base/files.h"
#include "platform/base/numbers.h"
#include "platform/base/settings.h"
#include "state/view_state.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "view/furniture.h"
#include "zent32i_binding.h"

using state::Palette;
using state::SettingsValues;
using testing_support::TempFolder;

namespace {

namespace fs = std::filesystem;

using testing_support::ScopedEnv;

state::Palette library_palette() {
    state::Palette p{};
    zt::ZT_Init_Zent_Palette(p.data());
    return p;
}

// Every setting the viewer writes at a value of its own, and numbers that test the
// writing of reals (a third, an exponent, a tiny and a negative fraction), so that a key
// written from the wrong variable, in another form or not at all shows.
struct AllSettings {
    state::SettingsValues s;
    state::ViewState v;
    state::FurnitureSettings f;
    state::Palette palette{};
};

AllSettings distinct_settings() {
    AllSettings a;
    a.v.View_Height_Units = 27501;
    a.v.View_X_Min = 49321000.125;
    a.v.View_Y_Min = -36600000.5;
    a.f.Grid_Spacing = 2502;
    a.f.Grid_On = 3;
    a.f.Grid_Labels = 4;
    a.f.Grid_Precision = 5;
    a.f.Omit_Chars = 6;
    a.f.Scale_Bar_On = 7;
    a.f.Scale_Bar_Style = 8;
    a.f.Bar_Origin_X = 309;
    a.f.Bar_Origin_Y = -310;
    a.f.North_Point_On = 11;
    a.f.Scale_Floating = 12;
    a.s.Polygon_Filling = 13;
    a.s.Search_Buffer = 2550.5;
    a.s.Print_Scale = 1.0 / 3.0;
    a.s.Print_Origin_X = 0.00001;
    a.s.Print_Origin_Y = -7.5;
    a.s.Print_Limit_X = 1e20;
    a.s.Print_Limit_Y = 123456789012345.0;
    a.s.Print_Credit = " Printed by the city, 2024 ";
    a.s.Text_Position = 14;
    a.s.Max_Points = 1015;
    a.s.Polygon_Outline = 16;
    a.s.Load_Zero_Points = 17;
    a.s.Load_Points_Beyond_View = -18;
    a.s.Symbol_Size = 19;
    // Read but written by others.
    a.s.Data_Folder = "/media/disc/data/";
    a.s.Drawing_Direction = 20;
    a.s.Drawing_Mode = 21;
    a.s.Matrix_Z_Mode = 22;
    a.s.EDM_Offset_X = 23;
    a.s.EDM_Offset_Y = -24;
    a.s.EDM_Offset_Z = 25;
    a.s.NTF_Dir = "/data/ntf files/";
    zt::ZT_Init_Zent_Palette(a.palette.data());
    a.palette[0] = 0x010203;
    a.palette[255] = -1;
    return a;
}

std::string file_text(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

template <class T> T &variable(AllSettings &a, T state::SettingsValues::*m) {
    return a.s.*m;
}
template <class T> T &variable(AllSettings &a, T state::ViewState::*m) {
    return a.v.*m;
}
template <class T> T &variable(AllSettings &a, T state::FurnitureSettings::*m) {
    return a.f.*m;
}

// The variable a key of the settings table fills, as text the way the store keeps it;
// nullopt for a key without a variable.
std::optional<std::string> text_of(const project::SettingKey &key, AllSettings &a) {
    std::optional<std::string> text;
    std::visit(
        [&](auto m) {
            if constexpr (!std::is_same_v<decltype(m), std::monostate>) {
                const auto &v = variable(a, m);
                if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string>)
                    text = v;
                else
                    text = num::CStr(v);
            }
        },
        key.field);
    return text;
}

// Gives the variable of the key at position i of the table a value no other key has.
void make_distinct(const project::SettingKey &key, int i, AllSettings &a) {
    std::visit(
        [&](auto m) {
            if constexpr (!std::is_same_v<decltype(m), std::monostate>) {
                auto &v = variable(a, m);
                if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string>)
                    v = " text " + std::to_string(i) + " ";
                else
                    v = static_cast<std::decay_t<decltype(v)>>(1000 + i) + 0.5;
            }
        },
        key.field);
}

// A settings file as the viewer wrote it from distinct_settings(), kept so that every
// later version is held to the same keys, spelling, order and number forms.
const fs::path kWrittenFile = fs::path(TAVI_SOURCE_DIR) / "tests/data/settings/TAVI.ini";

// Every test gets a store of its own in a fresh configuration folder.
class SettingsTest : public ::testing::Test {
  protected:
    SettingsTest() : config_("XDG_CONFIG_HOME", home_.path().string()) {
        hooks_.status_message = [this](const std::string &t) { status_.push_back(t); };
        hooks_.message_box = [this](const std::string &t) { boxes_.push_back(t); };
    }

    static void store(const char *section, const char *key, const std::string &value) {
        ASSERT_TRUE(settings::put(state::kProgramTitle, section, key, value));
    }
    static std::string stored(const char *section, const char *key) {
        return settings::get(state::kProgramTitle, section, key, "<none>");
    }

    bool load(int client_height = 500) {
        sized_ = 0;
        palette_.fill(0);
        return project::Defaults_Load(
            values_, view_, furniture_, palette_, [this](std::size_t n) { sized_ = n; }, hooks_,
            client_height, kInstallFolder);
    }

    bool saw_status(const std::string &text) const {
        for (const auto &s : status_)
            if (s == text)
                return true;
        return false;
    }

    static constexpr const char *kInstallFolder = "/opt/tavi/share/tavi/data/";

    TempFolder home_;
    ScopedEnv config_;
    state::UiHooks hooks_;
    std::vector<std::string> status_;
    std::vector<std::string> boxes_;
    state::SettingsValues values_;
    state::ViewState view_;
    state::FurnitureSettings furniture_;
    state::Palette palette_{};
    std::size_t sized_ = 0;
};

} // namespace

// ---- The store itself -------------------------------------------------------------

TEST_F(SettingsTest, StoreLivesUnderTheConfigurationFolderAndFollowsTheEnvironment) {
    EXPECT_EQ(settings::file_of("Tavi"), home_.path() / "TAVI" / "TAVI.ini");
    ASSERT_TRUE(settings::put("TAVI", "Startup", "CD Drive", "/media/first/data/"));
    EXPECT_TRUE(fs::is_regular_file(home_.path() / "TAVI" / "TAVI.ini"));

    // Moved elsewhere within the same process, the store is a different one.
    TempFolder other;
    {
        ScopedEnv moved("XDG_CONFIG_HOME", other.path().string());
        EXPECT_EQ(settings::get("TAVI", "Startup", "CD Drive", "<none>"), "<none>");
        ASSERT_TRUE(settings::put("TAVI", "Startup", "CD Drive", "/media/second/data/"));
    }
    EXPECT_EQ(settings::get("TAVI", "Startup", "CD Drive", ""), "/media/first/data/");

    // Without XDG_CONFIG_HOME (or with a relative one) the store is under ~/.config.
    ScopedEnv home("HOME", other.path().string());
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(settings::file_of("TAVI"), other.path() / ".config" / "TAVI" / "TAVI.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(settings::file_of("TAVI"), other.path() / ".config" / "TAVI" / "TAVI.ini");
}

TEST_F(SettingsTest, NamesIgnoreCaseButKeepTheirBlanksAndSeparators) {
    ASSERT_TRUE(settings::put("Tavi", "Startup", "Grid On/Off", "0"));
    EXPECT_EQ(settings::get("TAVI", "STARTUP", "grid on/OFF", "<none>"), "0");

    // Leading and trailing blanks make different keys.
    store("Display", "Scale Bar ", "2");
    store("Colours", " 0", "255");
    EXPECT_EQ(stored("Display", "Scale Bar "), "2");
    EXPECT_EQ(stored("Display", "Scale Bar"), "<none>");
    EXPECT_EQ(stored("Colours", " 0"), "255");
    EXPECT_EQ(stored("Colours", "0"), "<none>");
    EXPECT_EQ(stored("Colours", "  0"), "<none>");

    // A separator in a name does not move the key into another section.
    store("a/b", "c", "one");
    store("a", "b/c", "two");
    store("a", "b//c", "three");
    store("a", "/b", "four");
    EXPECT_EQ(stored("a/b", "c"), "one");
    EXPECT_EQ(stored("a", "b/c"), "two");
    EXPECT_EQ(stored("a", "b//c"), "three");
    EXPECT_EQ(stored("a", "/b"), "four");
    EXPECT_EQ(stored("a", "b"), "<none>");
    // Nor does an escape-like name collide with the name it looks like.
    store("a", "b%2Fc", "five");
    EXPECT_EQ(stored("a", "b/c"), "two");
    EXPECT_EQ(stored("a", "b%2Fc"), "five");
}

TEST_F(SettingsTest, ValuesComeBackExactlyAndAnEmptyValueIsNotTheDefault) {
    const std::vector<std::string> values = {"C:\\program Files\\Tavi\\Data\\",
                                             "  leading and trailing  ",
                                             "a, b,c",
                                             "@Invalid()",
                                             "key=value ; not a comment # nor this",
                                             "\"quoted\"",
                                             "caf\xc3\xa9"};
    for (std::size_t i = 0; i < values.size(); ++i)
        store("Values", std::to_string(i).c_str(), values[i]);
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(stored("Values", std::to_string(i).c_str()), values[i]) << i;

    store("Values", "empty", "");
    EXPECT_EQ(stored("Values", "empty"), "");
    store("Values", "empty", "replaced");
    EXPECT_EQ(stored("Values", "empty"), "replaced");
}

TEST_F(SettingsTest, HandWrittenFilesAreHonouredInEveryFormAndSavedAsTheProgramSpellsNames) {
    struct Form {
        const char *what;
        const char *text;
    };
    const Form forms[] = {
        {"as the program spells it",
         "[Startup]\nCD Drive=/data/\nGrid On/Off=0\n\n[Display]\nScale Bar%20=2\n"},
        {"in other cases, blanks around '='",
         "; my settings\r\n[STARTUP]\r\ncd drive = /data/\r\ngrid on/off=0\r\n[display]\r\n"
         "SCALE BAR%20=2\r\n"},
        {"as earlier versions wrote it",
         "[display]\nscale%20bar%20=2\n\n[startup]\ncd%20drive=/data/\ngrid%20on%252Foff=0\n"},
    };
    const fs::path file = settings::file_of(state::kSettingsApplication);
    for (const Form &f : forms) {
        SCOPED_TRACE(f.what);
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::trunc) << f.text;
        EXPECT_EQ(settings::get("TAVI", "Startup", "CD Drive", "<none>"), "/data/");
        EXPECT_EQ(stored("Startup", "Grid On/Off"), "0");
        EXPECT_EQ(stored("Display", "Scale Bar "), "2");

        // Writing a key gives it and its section the program's spelling; the rest stays.
        ASSERT_TRUE(settings::put("TAVI", "Startup", "CD Drive", "/media/disc/data/"));
        std::ifstream in(file);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        EXPECT_NE(text.find("[Startup]\nCD Drive=/media/disc/data/\n"), std::string::npos) << text;
        EXPECT_EQ(stored("Startup", "Grid On/Off"), "0");
        EXPECT_EQ(stored("Display", "Scale Bar "), "2");
    }
}

TEST_F(SettingsTest, AStoreThatCannotBeWrittenSaysSo) {
    // The configuration folder is a file: nothing can be made under it, whoever runs.
    ScopedEnv blocked("XDG_CONFIG_HOME", home_.write("not-a-folder", "x"));
    EXPECT_FALSE(project::Defaults_Save(values_, view_, furniture_, palette_, hooks_));
    EXPECT_FALSE(settings::put("TAVI", "Startup", "CD Drive", "/data/"));
}

// ---- Loading -----------------------------------------------------------------------

TEST_F(SettingsTest, EmptyStoreGivesTheStartViewAndTellsWhereDataAreExpected) {
    EXPECT_TRUE(load());
    EXPECT_DOUBLE_EQ(view_.View_X_Min, 49140000.0);
    EXPECT_DOUBLE_EQ(view_.View_Y_Min, 47568000.0);
    EXPECT_EQ(view_.View_Height_Units, 50000);
    EXPECT_EQ(values_.Data_Folder, kInstallFolder);
    EXPECT_TRUE(saw_status(std::string("data expected from ") + kInstallFolder));

    EXPECT_EQ(furniture_.Grid_Spacing, 1000);
    EXPECT_EQ(furniture_.Bar_Origin_X, 75);
    EXPECT_EQ(furniture_.Bar_Origin_Y, 75);
    EXPECT_EQ(furniture_.Scale_Bar_Style, 1);
    EXPECT_EQ(values_.Polygon_Filling, 1);
    EXPECT_DOUBLE_EQ(values_.Search_Buffer, 100.0);
    EXPECT_EQ(values_.Print_Credit, "Printed by Zent");
    EXPECT_EQ(values_.Drawing_Direction, -1);
    EXPECT_EQ(values_.NTF_Dir, "");

    // Ready for drawing: the fixed palette (entry 1 is dark blue) and room for the
    // maximum number of points with index 0 to Max_Points.
    EXPECT_EQ(palette_, library_palette());
    EXPECT_EQ(palette_[1], 170 * 65536);
    EXPECT_EQ(values_.Max_Points, 1000);
    EXPECT_EQ(sized_, 1001u);

    // Reading writes nothing.
    EXPECT_FALSE(fs::exists(settings::file_of("TAVI")));
}

TEST_F(SettingsTest, StoredViewIsLoadedWithItsHeightMadePositive) {
    store("Startup", "WorldHeight", "-2000");
    store("Startup", "Origin_X", "49150000.25");
    store("Startup", "Origin_Y", "-12.5");
    EXPECT_TRUE(load());
    EXPECT_EQ(view_.View_Height_Units, 2000);
    EXPECT_DOUBLE_EQ(view_.View_X_Min, 49150000.25);
    EXPECT_DOUBLE_EQ(view_.View_Y_Min, -12.5);

    // The most negative height has no positive twin: the largest height stands in.
    store("Startup", "WorldHeight", "-2147483648");
    EXPECT_TRUE(load());
    EXPECT_EQ(view_.View_Height_Units, std::numeric_limits<int32_t>::max());
}

TEST_F(SettingsTest, ScaleBarWithoutAStoredRowSits75PixelsAboveTheBottom) {
    store("Display", "Bar Origin Y", "0");
    EXPECT_TRUE(load(613));
    EXPECT_EQ(furniture_.Bar_Origin_Y, 613 - 75);

    store("Display", "Bar Origin Y", "40");
    EXPECT_TRUE(load(613));
    EXPECT_EQ(furniture_.Bar_Origin_Y, 40);
}

TEST_F(SettingsTest, NumbersConvertAsTheUsersNumberFormatDoes) {
    store("Startup", "Grid_spacing", " 2500 "); // blanks around a number are allowed
    store("Startup", "Grid Labels", "2.5");     // integers round half to even
    store("Startup", "Grid Precision", "3.5");
    store("Startup", "Polygon Filling", "&H0"); // hexadecimal is a number too
    store("Startup", "Search Buffer", "1E3");
    EXPECT_TRUE(load());
    EXPECT_EQ(furniture_.Grid_Spacing, 2500);
    EXPECT_EQ(furniture_.Grid_Labels, 2);
    EXPECT_EQ(furniture_.Grid_Precision, 4);
    EXPECT_EQ(values_.Polygon_Filling, 0);
    EXPECT_DOUBLE_EQ(values_.Search_Buffer, 1000.0);
}

TEST_F(SettingsTest, AValueThatDoesNotConvertEndsTheReadingButTheMapIsStillPrepared) {
    store("Startup", "WorldHeight", "3000");
    store("Startup", "Grid_spacing", "abc");
    store("Startup", "Polygon Filling", "0");
    store("Startup", "Search Buffer", "555");
    store("Display", "Bar Origin X", "12");
    store("NTF", "NTF_dir", "/ntf/");

    values_.Polygon_Filling = 7;
    values_.Search_Buffer = 7.0;
    values_.NTF_Dir = "kept";
    furniture_.Grid_Spacing = 7;
    furniture_.Bar_Origin_X = 7;

    EXPECT_FALSE(load());
    // Keys before the bad one are read ...
    EXPECT_EQ(view_.View_Height_Units, 3000);
    EXPECT_TRUE(saw_status(std::string("data expected from ") + kInstallFolder));
    // ... the bad one and everything after keep what they had ...
    EXPECT_EQ(furniture_.Grid_Spacing, 7);
    EXPECT_EQ(values_.Polygon_Filling, 7);
    EXPECT_DOUBLE_EQ(values_.Search_Buffer, 7.0);
    EXPECT_EQ(furniture_.Bar_Origin_X, 7);
    EXPECT_EQ(values_.NTF_Dir, "kept");
    // ... and still the map has its colours and the points their room.
    EXPECT_EQ(palette_, library_palette());
    EXPECT_EQ(sized_, static_cast<std::size_t>(values_.Max_Points) + 1);
}

TEST_F(SettingsTest, EmptyOrOutOfRangeNumbersDoNotConvert) {
    // An empty height stops the reading before the data folder is even announced.
    store("Startup", "WorldHeight", "");
    view_.View_Height_Units = 123;
    EXPECT_FALSE(load());
    EXPECT_EQ(view_.View_Height_Units, 123);
    EXPECT_TRUE(status_.empty());
    EXPECT_EQ(palette_, library_palette());

    store("Startup", "WorldHeight", "2147483648"); // one past the 32-bit range
    EXPECT_FALSE(load());
    EXPECT_EQ(view_.View_Height_Units, 123);

    store("Startup", "WorldHeight", "2000");
    store("Startup", "Origin_X", "1E999"); // beyond any real
    view_.View_X_Min = 5.0;
    EXPECT_FALSE(load());
    EXPECT_EQ(view_.View_Height_Units, 2000);
    EXPECT_DOUBLE_EQ(view_.View_X_Min, 5.0);

    store("Startup", "Origin_X", "12 34"); // a blank inside is not a number
    EXPECT_FALSE(load());
}

TEST_F(SettingsTest, DataFolderComesFromTheLaunchersValueWhateverItsCase) {
    ASSERT_TRUE(settings::put("tavi", "STARTUP", "cd drive", "/media/disc/data/"));
    ASSERT_TRUE(settings::put("TAVI", "startup", "WORLDHEIGHT", "4000"));
    EXPECT_TRUE(load());
    EXPECT_EQ(values_.Data_Folder, "/media/disc/data/");
    EXPECT_TRUE(saw_status("data expected from /media/disc/data/"));
    EXPECT_EQ(view_.View_Height_Units, 4000);
}

// ---- Saving ------------------------------------------------------------------------

TEST_F(SettingsTest, SaveWritesTheViewThePaletteAndEveryDisplayKey) {
    view_.View_Height_Units = 12345;
    view_.View_X_Min = 49200000.5;
    view_.View_Y_Min = 36552000.0;
    furniture_.Scale_Bar_Style = 3;
    values_.Search_Buffer = 1000.0;
    values_.Max_Points = 1000;
    palette_ = library_palette();
    palette_[255] = 0x123456;

    EXPECT_TRUE(project::Defaults_Save(values_, view_, furniture_, palette_, hooks_));
    EXPECT_TRUE(saw_status("settings loaded"));

    EXPECT_EQ(stored("Startup", "WorldHeight"), "12345");
    EXPECT_EQ(stored("Startup", "Origin_X"), "49200000.5");
    EXPECT_EQ(stored("Startup", "Origin_Y"), "36552000");
    EXPECT_EQ(stored("Startup", "Search Buffer"), "1000"); // numbers carry no blank
    EXPECT_EQ(stored("Startup", "Max_Grid_lines"), "50");
    EXPECT_EQ(stored("Startup", "Maximum Number of Points to Load"), "1000");
    EXPECT_EQ(stored("Startup", "Polygon Outline"), "0");
    EXPECT_EQ(stored("Startup", "Load Zero Points"), "0");
    EXPECT_EQ(stored("Startup", "Load_Points_Beyond_View"), "0");
    EXPECT_EQ(stored("Colours", "UserPalette"), "255");
    for (int i = 0; i < 256; ++i) {
        const std::string key = " " + std::to_string(i);
        EXPECT_EQ(stored("Colours", key.c_str()), std::to_string(palette_[i])) << key;
    }
    EXPECT_EQ(stored("Colours", "255"), "<none>");
    EXPECT_EQ(stored("Symbols", "Symbol Size"), "2");
    EXPECT_EQ(stored("Display", "Scale Bar "), "3");
    EXPECT_EQ(stored("Display", "Scale Bar"), "<none>");
    EXPECT_EQ(stored("Display", "Scale Floating "), "0");
    EXPECT_EQ(stored("Print", "CopyRight"), "Printed by Zent");

    // The launcher's value and the keys the viewer never writes are left alone.
    EXPECT_EQ(settings::get("TAVI", "Startup", "CD Drive", "<none>"), "<none>");
    EXPECT_EQ(stored("Matrix", "Drawing Mode"), "<none>");
    EXPECT_EQ(stored("NTF", "NTF_dir"), "<none>");
}

TEST_F(SettingsTest, AViewLeftInTenthsIsSavedInWholeUnits) {
    view_.Fine_Units = 1;
    view_.View_X_Min = 491400005.0; // tenths
    view_.View_Y_Min = 475680000.0;
    view_.View_Height_Units = 500000;
    EXPECT_TRUE(project::Defaults_Save(values_, view_, furniture_, palette_, hooks_));
    EXPECT_EQ(view_.Fine_Units, 0);
    EXPECT_EQ(stored("Startup", "Origin_X"), "49140000.5");
    EXPECT_EQ(stored("Startup", "Origin_Y"), "47568000");
    EXPECT_EQ(stored("Startup", "WorldHeight"), "50000");
}

TEST_F(SettingsTest, WhatIsSavedLoadsBackTheSame) {
    state::SettingsValues saved;
    state::ViewState v;
    state::FurnitureSettings f;
    v.View_X_Min = 49321000.125;
    v.View_Y_Min = 36600000.0;
    v.View_Height_Units = 27500;
    f.Grid_On = 0;
    f.Grid_Spacing = 250000;
    f.Grid_Labels = 0;
    f.Grid_Precision = 2;
    f.Omit_Chars = 2;
    f.Scale_Bar_On = 0;
    f.Scale_Bar_Style = 2;
    f.Bar_Origin_X = 300;
    f.Bar_Origin_Y = 420;
    f.North_Point_On = 0;
    f.Scale_Floating = 1;
    saved.Polygon_Filling = 0;
    saved.Search_Buffer = 2550.5;
    saved.Print_Scale = 1250;
    saved.Print_Origin_X = 0.001;
    saved.Print_Origin_Y = -7.5;
    saved.Print_Limit_X = 1e20;
    saved.Print_Limit_Y = 123456789012345.0;
    saved.Print_Credit = "Printed by the city, 2024";
    saved.Text_Position = 3;
    ASSERT_TRUE(project::Defaults_Save(saved, v, f, library_palette(), hooks_));

    EXPECT_TRUE(load());
    EXPECT_DOUBLE_EQ(view_.View_X_Min, v.View_X_Min);
    EXPECT_DOUBLE_EQ(view_.View_Y_Min, v.View_Y_Min);
    EXPECT_EQ(view_.View_Height_Units, v.View_Height_Units);
    EXPECT_EQ(furniture_.Grid_On, f.Grid_On);
    EXPECT_EQ(furniture_.Grid_Spacing, f.Grid_Spacing);
    EXPECT_EQ(furniture_.Grid_Labels, f.Grid_Labels);
    EXPECT_EQ(furniture_.Grid_Precision, f.Grid_Precision);
    EXPECT_EQ(furniture_.Omit_Chars, f.Omit_Chars);
    EXPECT_EQ(furniture_.Scale_Bar_On, f.Scale_Bar_On);
    EXPECT_EQ(furniture_.Scale_Bar_Style, f.Scale_Bar_Style);
    EXPECT_EQ(furniture_.Bar_Origin_X, f.Bar_Origin_X);
    EXPECT_EQ(furniture_.Bar_Origin_Y, f.Bar_Origin_Y);
    EXPECT_EQ(furniture_.North_Point_On, f.North_Point_On);
    EXPECT_EQ(furniture_.Scale_Floating, f.Scale_Floating);
    EXPECT_EQ(values_.Polygon_Filling, saved.Polygon_Filling);
    EXPECT_DOUBLE_EQ(values_.Search_Buffer, saved.Search_Buffer);
    EXPECT_DOUBLE_EQ(values_.Print_Scale, saved.Print_Scale);
    EXPECT_DOUBLE_EQ(values_.Print_Origin_X, saved.Print_Origin_X);
    EXPECT_DOUBLE_EQ(values_.Print_Origin_Y, saved.Print_Origin_Y);
    EXPECT_DOUBLE_EQ(values_.Print_Limit_X, saved.Print_Limit_X);
    EXPECT_DOUBLE_EQ(values_.Print_Limit_Y, saved.Print_Limit_Y);
    EXPECT_EQ(values_.Print_Credit, saved.Print_Credit);
    EXPECT_EQ(values_.Text_Position, saved.Text_Position);
}

TEST_F(SettingsTest, SaveWritesTheFileEarlierVersionsWrote) {
    AllSettings a = distinct_settings();
    ASSERT_TRUE(project::Defaults_Save(a.s, a.v, a.f, a.palette, hooks_));
    EXPECT_EQ(file_text(settings::file_of(state::kProgramTitle)), file_text(kWrittenFile));

    // That file, with the keys others write beside it, gives back every value read.
    fs::copy_file(kWrittenFile, settings::file_of(state::kProgramTitle),
                  fs::copy_options::overwrite_existing);
    ASSERT_TRUE(settings::put("TAVI", "Startup", "CD Drive", a.s.Data_Folder));
    store("Matrix", "Drawing Direction", num::CStr(a.s.Drawing_Direction));
    store("Matrix", "Drawing Mode", num::CStr(a.s.Drawing_Mode));
    store("Matrix", "Matrix Z Mode", num::CStr(a.s.Matrix_Z_Mode));
    store("EDM", "EDM offset X", num::CStr(a.s.EDM_Offset_X));
    store("EDM", "EDM offset Y", num::CStr(a.s.EDM_Offset_Y));
    store("EDM", "EDM offset Z", num::CStr(a.s.EDM_Offset_Z));
    store("NTF", "NTF_dir", a.s.NTF_Dir);
    AllSettings loaded;
    ASSERT_TRUE(project::Defaults_Load(loaded.s, loaded.v, loaded.f, loaded.palette, nullptr,
                                       hooks_, 500, kInstallFolder));
    for (const project::SettingKey &key : project::setting_keys()) {
        if (key.use != project::SettingUse::write) {
            EXPECT_EQ(text_of(key, loaded), text_of(key, a)) << key.section << "/" << key.key;
        }
    }
}

TEST_F(SettingsTest, EveryKeyOfTheTableReachesItsVariable) {
    const auto keys = project::setting_keys();
    AllSettings saved;
    for (std::size_t i = 0; i < keys.size(); ++i)
        make_distinct(keys[i], static_cast<int>(i), saved);
    // Each key has a variable of its own: no two hold the same value now.
    std::set<std::string> texts;
    for (const project::SettingKey &key : keys) {
        if (const auto text = text_of(key, saved)) {
            EXPECT_TRUE(texts.insert(*text).second) << key.section << "/" << key.key;
        }
    }
    // The keys the viewer only reads are written by others (the launcher, earlier versions).
    for (const project::SettingKey &key : keys)
        if (key.use == project::SettingUse::read)
            store(key.section, key.key, *text_of(key, saved));
    ASSERT_TRUE(project::Defaults_Save(saved.s, saved.v, saved.f, saved.palette, hooks_));

    AllSettings loaded;
    ASSERT_TRUE(project::Defaults_Load(loaded.s, loaded.v, loaded.f, loaded.palette, nullptr,
                                       hooks_, 500, kInstallFolder));
    for (const project::SettingKey &key : keys) {
        SCOPED_TRACE(std::string(key.section) + "/" + key.key);
        const std::optional<std::string> text = text_of(key, saved);
        // Written keys hold their variable's text; those written by a hook at least exist.
        if (key.use != project::SettingUse::read && text) {
            EXPECT_EQ(stored(key.section, key.key), *text);
        }
        if (key.use != project::SettingUse::write) {
            EXPECT_EQ(text_of(key, loaded), text);
        }
        EXPECT_NE(stored(key.section, key.key), "<none>");
    }
}

// ---- The data-disc file test ---------------------------------------------------------

class FileExistsTest : public SettingsTest {
  protected:
    bool exists(const std::string &name, const std::string &folder) {
        return project::FileExists(name, folder, hooks_);
    }
    static std::string prompt(const std::string &drive) {
        return "Check to make sure the TAVI CD ROM is in drive " + drive +
               " and re-start Tavi which will cancel when you press OK";
    }
    TempFolder data_;
};

TEST_F(FileExistsTest, FilesThatAreThereAndFilesThatAreNot) {
    data_.write("tavi.zpj", "x");
    fs::create_directory(data_.path() / "Maps");
    data_.write("Maps/Roman.drw", "x");
    const std::string folder = data_.folder();

    EXPECT_TRUE(exists(folder + "tavi.zpj", folder));
    // Names written on another system: backslashes and another case.
    EXPECT_TRUE(exists(folder + "maps\\ROMAN.DRW", folder));
    EXPECT_FALSE(exists(folder + "missing.drw", folder));
    EXPECT_FALSE(exists(folder + "nofolder/missing.drw", folder));
    EXPECT_FALSE(exists(folder + "tavi.zpj/below", folder));
    EXPECT_FALSE(exists(folder + "Maps", folder)); // a folder is not a file
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(FileExistsTest, AFolderThatCannotBeSearchedAsksForTheDisc) {
    // A folder that leads round in circles cannot be searched, by anyone.
    fs::create_directory_symlink("loop", data_.path() / "loop");
    const std::string folder = (data_.path() / "loop").string() + "/";
    EXPECT_FALSE(exists(folder + "tavi.zpj", folder));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], prompt(files::mount_point(data_.path()).string()));
}

TEST_F(FileExistsTest, AFolderWithoutPermissionAsksForTheDisc) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    fs::create_directories(data_.path() / "locked" / "data");
    data_.write("locked/data/tavi.zpj", "x");
    ::chmod((data_.path() / "locked").c_str(), 0);
    const std::string folder = (data_.path() / "locked" / "data").string() + "/";
    EXPECT_FALSE(exists(folder + "tavi.zpj", folder));
    ::chmod((data_.path() / "locked").c_str(), 0700);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].rfind("Check to make sure the TAVI CD ROM is in drive ", 0), 0u);
}

TEST_F(FileExistsTest, ADiscThatHasGoneNamesWhereItWasMounted) {
    // The disc was mounted at media/DISC; taking it out took the mount folder with it.
    fs::create_directory(data_.path() / "media");
    const std::string folder = (data_.path() / "media" / "DISC" / "data").string() + "/";
    EXPECT_FALSE(exists(folder + "tavi.zpj", folder));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], prompt((data_.path() / "media" / "DISC").string()));

    // Every look at the missing disc asks again; the program carries on.
    EXPECT_FALSE(exists(folder + "roman.drw", folder));
    EXPECT_EQ(boxes_.size(), 2u);
}

TEST(InstallDataFolder, IsTheShareFolderBesideTheProgramsFolder) {
    // The tests run from the build's tests/ folder, a sibling of bin/ and share/.
    const fs::path expected = fs::weakly_canonical(fs::path(TAVI_BUILD_DIR) / "share/tavi/data");
    EXPECT_EQ(project::install_data_folder(), expected.string() + "/");
}
