// The site database in the forms the lookups and the plot meet: the Access 2000 and
// 2010 test files, their SQLite copy ("mdb", "accdb", "sqlite": the same rows) and the
// sample project's database ("sample"), copied into the test's folder; a drawing table
// whose entry 1 describes it; and a record of what the user is told.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/dao_test_support.h"
#include "state/drawing_table.h"
#include "state/ui_hooks.h"

namespace sites_test {

namespace fs = std::filesystem;

inline const std::vector<std::string> kSources = {"mdb", "accdb", "sqlite", "sample"};

inline fs::path site_database(const std::string &source, const fs::path &folder) {
    if (source != "sample")
        return dao_test::site_database(source, folder);
    fs::copy_file(fs::path(TAVI_BUILD_DIR) / "share/tavi/data/tavidata.sqlite",
                  folder / "tavidata.sqlite");
    return folder / "tavidata.sqlite";
}

inline state::DrawingTable drawings_for(const std::string &path) {
    state::DrawingEntry e;
    e.linked_kind = 2;
    e.data_file = path;
    e.raz_table = "RAZ Text";
    e.raz_index = "RAZREF";
    e.era_table = "Era details";
    e.era_index = "ERANO";
    state::DrawingTable t;
    t.add(e);
    return t;
}

struct Recorder {
    std::vector<std::string> messages;
    int beeps = 0, events = 0;
    state::UiHooks ui() {
        state::UiHooks h;
        h.status_message = [this](const std::string &m) { messages.push_back(m); };
        h.beep_sound = [this] { ++beeps; };
        h.process_events = [this] { ++events; };
        return h;
    }
};

} // namespace sites_test
