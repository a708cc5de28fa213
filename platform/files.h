// File access for the data folder: binary files opened the way the drawing readers
// expect (created empty when missing, exact-length buffered reads, absolute and
// relative seeks) and the path rules for data written on other systems.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

    // Opens for reading; a missing file is first created empty (where the folder
    // allows). A file that can be neither opened nor created gives a closed object,
    // which reads as empty.
    static BinaryFile open_always(const fs::path &path, std::size_t buffer_size = 64 * 1024);
    // Opens an existing file for reading only; closed when it does not exist.
    static BinaryFile open_existing(const fs::path &path, std::size_t buffer_size = 64 * 1024);

    bool is_open() const { return fd_ >= 0; }
    void close();

    // Reads up to n bytes; returns the number read. Fewer than n means the end of the
    // file came first; 0 means nothing was left.
    std::size_t read(void *out, std::size_t n);

    // Absolute position in bytes from the start; false when the position is negative.
    bool seek(int64_t offset);
    // Moves relative to the current position.
    bool skip(int64_t delta);
    int64_t position() const { return pos_; }
    int64_t size() const { return size_; }

  private:
    bool fill();

    int fd_ = -1;
    int64_t size_ = 0;
    int64_t pos_ = 0;         // logical position of the next byte to return
    int64_t buf_start_ = 0;   // file offset of buf_[0]
    std::size_t buf_len_ = 0; // valid bytes in buf_
    std::vector<unsigned char> buf_;
};

// Turns a path that may use backslashes into a path of this system; when the exact
// name does not exist, each component is matched without regard to case.
fs::path resolve(std::string_view path);

// True when the path names an existing regular file (after resolve()).
bool exists(std::string_view path);

// The file's write permission bits are all clear (the read-only attribute).
bool is_read_only(const fs::path &path);

// The mount point of the file system holding the path (the nearest existing folder
// above it when the path itself does not exist).
fs::path mount_point(const fs::path &path);

// Replaces the last three characters of a path (its extension) by ext.
std::string with_extension3(std::string_view path, std::string_view ext);

// Whole text file as bytes; empty when unreadable.
std::string read_text(const fs::path &path);

// The folder part of a path, up to and including its last separator ('/' or '\');
// empty when there is none.
std::string folder_of(const std::string &path);

// folder and name joined; a separator is put between them only when the folder is
// non-empty and does not already end with one.
std::string join_path(const std::string &folder, const std::string &name);

} // namespace files
