// The per-user settings store: text values addressed by application, section and key,
// kept in an INI file under the user's configuration folder ($XDG_CONFIG_HOME, or
// ~/.config, then TAVI/<APPLICATION>.ini). The viewer and the launcher share one value
// through it, and people edit the file by hand, so names are written as the program
// spells them and found whatever case each writes them in.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/base/ini.h"

namespace settings {

// The file that holds an application's settings. The environment is read at every call,
// so a process (or a test) that changes XDG_CONFIG_HOME or HOME sees the new place.
std::filesystem::path file_of(std::string_view application);

// One application's settings, read once when opened for a run of reads or writes.
// Changes reach the file when sync() is called or the store is destroyed; they are
// merged into the file as it is then, so that two stores (or two programs) writing
// different keys do not undo each other.
class Store {
  public:
    explicit Store(std::string_view application);
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // The stored text, or def when the key has never been written. A key written with
    // an empty value reads back empty, not as the default.
    std::string get(std::string_view section, std::string_view key, std::string_view def) const;
    // Replaces any earlier value of the key.
    void put(std::string_view section, std::string_view key, std::string_view value);
    // Writes pending changes; false when the file could not be written (the changes stay
    // pending). The file is replaced whole, never left half-written.
    bool sync();

  private:
    std::filesystem::path path_;
    ini::Document doc_;
    std::vector<std::tuple<std::string, std::string, std::string>> pending_;
};

// One read or one write with a store of its own, for callers that touch a single key.
std::string get(std::string_view application, std::string_view section, std::string_view key,
                std::string_view def);
bool put(std::string_view application, std::string_view section, std::string_view key,
         std::string_view value);

} // namespace settings
