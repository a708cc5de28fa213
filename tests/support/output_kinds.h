// Outputs that are not regular files, for the tests of what the writers do with them: a
// named pipe with a reader, and character devices that discard (null) or are always full.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

namespace testing_support {

// A device of its own in the folder (1,3 null; 1,7 full), so that a writer that replaced
// it would replace only the test's; the system's /dev node where nodes cannot be made
// (not root), which only root could replace.
inline std::filesystem::path device_node(const std::filesystem::path &folder, bool full) {
    const std::filesystem::path p = folder / (full ? "full" : "null");
    if (::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, full ? 7 : 3)) == 0)
        return p;
    return full ? "/dev/full" : "/dev/null";
}

inline bool is_character_device(const std::filesystem::path &p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// A named pipe and a reader taking everything written into it. A descriptor of the test's
// own holds the pipe open for writing until finish(), so that neither side waits for the
// other to open it, and the reader gets the end of the data only then: a writer that
// replaced the pipe instead leaves the reader with nothing, not waiting for ever.
class PipeReader {
  public:
    explicit PipeReader(const std::filesystem::path &path) : path_(path) {
        ::mkfifo(path.c_str(), 0644);
        hold_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        reader_ = std::thread([this, fd] {
            char buf[65536];
            for (ssize_t n; fd >= 0 && (n = ::read(fd, buf, sizeof buf)) > 0;)
                got_.append(buf, static_cast<std::size_t>(n));
            if (fd >= 0)
                ::close(fd);
        });
    }
    ~PipeReader() { finish(); }
    PipeReader(const PipeReader &) = delete;
    PipeReader &operator=(const PipeReader &) = delete;

    // Everything the pipe carried, once every writer has closed it.
    const std::string &finish() {
        if (hold_ >= 0)
            ::close(hold_);
        hold_ = -1;
        if (reader_.joinable())
            reader_.join();
        return got_;
    }
    bool is_pipe() const {
        struct stat st {};
        return ::lstat(path_.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
    }

  private:
    std::filesystem::path path_;
    int hold_ = -1;
    std::string got_;
    std::thread reader_;
};

} // namespace testing_support
