#include "platform/settings.h"

#include <QDir>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace settings {

namespace {

// The application names the file, in capitals so that any spelling of it opens the
// same one; separators cannot become folders.
std::string file_name_of(std::string_view application) {
    std::string name;
    for (const char c : application)
        name += c == '/' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name.empty())
        name = "_";
    return name + ".ini";
}

std::filesystem::path config_home() {
    // Only an absolute XDG_CONFIG_HOME counts; an empty or relative one is ignored.
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return xdg;
    return std::filesystem::path(QDir::homePath().toStdString()) / ".config";
}

// The file's document; nothing when the file is there but cannot be read (a missing
// file is an empty document).
std::optional<ini::Document> read_document(const std::filesystem::path &path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return ini::Document{};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return ini::Document::parse(text.str());
}

// Writes text into a new file beside path, then puts it in path's place.
bool replace_file(const std::filesystem::path &path, const std::string &text) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    const std::filesystem::path temp =
        path.parent_path() / (path.filename().string() + ".new-" + std::to_string(::getpid()));
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace

std::filesystem::path file_of(std::string_view application) {
    return config_home() / "TAVI" / file_name_of(application);
}

Store::Store(std::string_view application)
    : path_(file_of(application)), doc_(read_document(path_).value_or(ini::Document{})) {}

Store::~Store() {
    sync();
}

std::string Store::get(std::string_view section, std::string_view key, std::string_view def) const {
    return doc_.get(section, key).value_or(std::string(def));
}

void Store::put(std::string_view section, std::string_view key, std::string_view value) {
    doc_.set(section, key, value);
    pending_.emplace_back(section, key, value);
}

bool Store::sync() {
    if (pending_.empty())
        return true;
    // What others wrote meanwhile stays; a file that cannot be read is not replaced by
    // this store's few keys.
    std::optional<ini::Document> read = read_document(path_);
    if (!read)
        return false;
    ini::Document now = std::move(*read);
    for (const auto &[section, key, value] : pending_)
        now.set(section, key, value);
    if (!replace_file(path_, now.text()))
        return false;
    pending_.clear();
    doc_ = std::move(now);
    return true;
}

std::string get(std::string_view application, std::string_view section, std::string_view key,
                std::string_view def) {
    return Store(application).get(section, key, def);
}

bool put(std::string_view application, std::string_view section, std::string_view key,
         std::string_view value) {
    Store store(application);
    store.put(section, key, value);
    return store.sync();
}

} // namespace settings
