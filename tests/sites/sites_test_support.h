// The site database as the lookups and the plot meet it: the Access 2000 and 2010 test
// files, their SQLite copy, and the sample project's own database, each copied into a
// folder of the test's own; and a drawing table whose entry 1 describes it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/dao_test_support.h"
#include "state/drawing_table.h"
#include "state/ui_hooks.h"

namespace sites_test {

namespace fs = std::filesystem;

// "mdb", "accdb" and "sqlite" hold the test rows; "sample" is the sample project's.
inline const std::vector<std::string> kSources = {"mdb", "accdb", "sqlite", "sample"};

inline fs::path site_database(const std::string &source, const fs::path &folder) {
    if (source != "sample")
        return dao_test::site_database(source, folder);
    const fs::path sample = fs::path(TAVI_BUILD_DIR) / "share/tavi/data/tavidata.sqlite";
    const fs::path out = folder / "tavidata.sqlite";
    fs::copy_file(sample, out);
    return out;
}

inline state::DrawingTable drawings_for(const std::string &path) {
    state::DrawingEntry e;
    e.file_name = "/data/prehistoric.drw";
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

// What the lookups tell the user.
struct Recorder {
    std::vector<std::string> messages;
    int beeps = 0;
    int events = 0;
    state::UiHooks ui() {
        state::UiHooks h;
        h.status_message = [this](const std::string &m) { messages.push_back(m); };
        h.beep_sound = [this] { ++beeps; };
        h.process_events = [this] { ++events; };
        return h;
    }
};

inline std::string source_name(const testing::TestParamInfo<std::string> &info) {
    return info.param;
}

} // namespace sites_test
