#include "platform/base/settings.h"

#include <QDir>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

#include "platform/base/files.h"

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

// The file's document; nothing when the file is there but cannot be read, is not a
// regular file or is far too large for a settings file (a missing file is an empty
// document). Such a file is then never replaced by this program's few keys.
std::optional<ini::Document> read_document(const std::filesystem::path &path) {
    if (files::kind_of(path) == files::Kind::Missing)
        return ini::Document{};
    const std::optional<std::string> text = files::read_text_file(path);
    if (!text)
        return std::nullopt;
    return ini::Document::parse(*text);
}

// Writes text into a new file beside path, flushes it to the disc, then puts it in
// path's place: a crash, a power cut or a full disc at any moment leaves either the old
// settings or the new ones under the real name, never a part of them.
bool replace_file(const std::filesystem::path &path, const std::string &text) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    const std::filesystem::path temp =
        path.parent_path() / (path.filename().string() + ".new-" + std::to_string(::getpid()));
    int fd;
    do {
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    bool written = true;
    for (std::size_t done = 0; written && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        if (written)
            done += static_cast<std::size_t>(n);
    }
    written = written && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    // The rename itself reaches the disc with the folder.
    const int dir = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
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
