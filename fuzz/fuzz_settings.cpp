// The settings read at start: a hand-edited or damaged settings file, read through the
// settings store into every value the viewer starts with. Seeds: the file the viewer
// writes, and one in the earlier form.
#include <cstdlib>
#include <filesystem>

#include "fuzz_support.h"
#include "platform/base/ini.h"
#include "platform/base/settings.h"
#include "project/settings.h"
#include "state/furniture_settings.h"
#include "state/settings_values.h"
#include "state/view_state.h"

TAVI_FUZZ_INIT(fuzz_settings) {
    ::setenv("XDG_CONFIG_HOME", fuzzing::scratch().c_str(), 1);
    std::filesystem::create_directories(settings::file_of(state::kProgramTitle).parent_path());
    return 0;
}

TAVI_FUZZ_INPUT(fuzz_settings) {
    const std::string_view text = fuzzing::bytes(data, size);
    const std::filesystem::path file = settings::file_of(state::kProgramTitle);
    fuzzing::put(std::filesystem::relative(file, fuzzing::scratch()).string(), text);

    state::SettingsValues s;
    state::ViewState v;
    state::FurnitureSettings f;
    state::Palette palette{};
    state::UiHooks hooks;
    std::size_t points = 0;
    project::Defaults_Load(
        s, v, f, palette, [&](std::size_t n) { points = n; }, hooks, 600, "/nonexistent/data/");
    if (points == 0)
        __builtin_trap(); // the site-point store must always get its room

    // What the store reads, written back, reads back the same.
    const ini::Document doc = ini::Document::parse(text);
    const ini::Document again = ini::Document::parse(doc.text());
    if (again.text() != doc.text())
        __builtin_trap();
    return 0;
}
