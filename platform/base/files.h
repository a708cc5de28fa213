// File access for the data folder: binary files opened the way the drawing readers
// expect (exact-length buffered reads, absolute and relative seeks), text files read
// whole, and the path rules for data written on other systems.
//
// Data come off old discs and shared drives, so a name in the data folder may turn out
// to be a folder, a named pipe or a device. Only regular files are opened as data:
// opening never waits (a pipe with no writer would block for ever) and nothing reads
// past the size the file had when it was opened (a device such as /dev/zero never
// ends). Nothing here creates or deletes a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/file_identity.h"

namespace files {

namespace fs = std::filesystem;

// A read-only binary file with its own buffer: many small reads cost one system call
// per buffer fill, not one per read.
class BinaryFile {
  public:
    BinaryFile() = default;
    ~BinaryFile();
    BinaryFile(BinaryFile &&other) noexcept;
    BinaryFile &operator=(BinaryFile &&other) noexcept;
    BinaryFile(const BinaryFile &) = delete;
    BinaryFile &operator=(const BinaryFile &) = delete;

    // Opens an existing regular file for reading only; closed (reading as empty) when
    // it does not exist, cannot be read or is not a regular file.
    static BinaryFile open_existing(const fs::path &path, std::size_t buffer_size = 64 * 1024);
    // Reads bytes held in memory (a file read whole beforehand) as if they were the file;
    // closed when there are none.
    static BinaryFile over(std::shared_ptr<const std::vector<unsigned char>> bytes);

    bool is_open() const { return fd_ >= 0 || memory_ != nullptr; }
    void close();

    // Reads up to n bytes; returns the number read. Fewer than n means the end of the
    // file came first; 0 means nothing was left. The end is the size at opening: bytes
    // appended later are not read.
    std::size_t read(void *out, std::size_t n);
    // The next n bytes where they already lie in memory (a file opened over held bytes),
    // moving past them; null, with the position unchanged, when the file is read
    // through the system or fewer than n bytes are left. Saves the copy that read makes.
    const unsigned char *take(std::size_t n) {
        if (!memory_ || pos_ < 0 || size_ - pos_ < static_cast<int64_t>(n))
            return nullptr;
        const unsigned char *p = memory_->data() + pos_;
        pos_ += static_cast<int64_t>(n);
        return p;
    }

    // Absolute position in bytes from the start; false when the position is negative.
    bool seek(int64_t offset);
    // Moves relative to the current position.
    bool skip(int64_t delta);
    int64_t position() const { return pos_; }
    int64_t size() const { return size_; }

  private:
    bool fill();

    int fd_ = -1;
    std::shared_ptr<const std::vector<unsigned char>> memory_; // instead of the file
    int64_t size_ = 0;
    int64_t pos_ = 0;         // logical position of the next byte to return
    int64_t buf_start_ = 0;   // file offset of buf_[0]
    std::size_t buf_len_ = 0; // valid bytes in buf_
    std::vector<unsigned char> buf_;
};

// The whole of a regular file read into memory, with its identity as it was read;
// nothing when it is missing, unreadable or not a regular file, or when it changed while
// being read.
std::shared_ptr<const std::vector<unsigned char>> read_whole(const fs::path &path,
                                                             Identity &identity);

// Turns a path that may use backslashes into a path of this system; when the exact
// name does not exist, each component is matched without regard to case.
fs::path resolve(std::string_view path);

// True when the path names an existing regular file (after resolve()).
bool exists(std::string_view path);

// What a path names, following symbolic links: nothing, a regular file, or anything
// else (a folder, a pipe, a device, a socket), which is never opened as data.
enum class Kind { Missing, Regular, Other };
Kind kind_of(const fs::path &path);

// The file's write permission bits are all clear (the read-only attribute).
bool is_read_only(const fs::path &path);

// The mount point of the file system holding the path (the nearest existing folder
// above it when the path itself does not exist).
fs::path mount_point(const fs::path &path);

// Replaces the last three characters of a path (its extension) by ext.
std::string with_extension3(std::string_view path, std::string_view ext);

// The largest text file read whole (project lists, linked-data descriptions, world
// files, raster lists, settings): far beyond any real one, small enough that a damaged
// or wrong file cannot exhaust memory.
inline constexpr std::int64_t kTextFileLimit = 4 * 1024 * 1024;

// Whole text file as bytes; nothing when it is missing, unreadable, not a regular file
// or larger than kTextFileLimit.
std::optional<std::string> read_text_file(const fs::path &path);
// The same, empty when read_text_file gives nothing.
std::string read_text(const fs::path &path);

// True when name, joined to the end of a folder's path, stays inside that folder: ".."
// may step back out of a subfolder the name went into ("maps\..\roman.drw"), never
// above the folder itself ("..\other\roman.drw"). Backslashes separate as slashes do;
// a leading separator is taken as the folder's own, as joining does. Only the text is
// looked at, not the file system.
bool stays_inside(std::string_view name);

// The folder part of a path, up to and including its last separator ('/' or '\');
// empty when there is none.
std::string folder_of(const std::string &path);

// folder and name joined; a separator is put between them only when the folder is
// non-empty and does not already end with one.
std::string join_path(const std::string &folder, const std::string &name);

} // namespace files
