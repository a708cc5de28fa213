#include "platform/base/outputs.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace outputs {

namespace {

// While alive, a pipe whose reader has gone makes write() fail with EPIPE instead of
// ending the program with SIGPIPE: the viewer must survive a reader that stops early.
// The signal is blocked for this thread only, and one that the failed write raised is
// taken off again before the old mask comes back.
class NoBrokenPipeSignal {
  public:
    NoBrokenPipeSignal() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        was_pending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~NoBrokenPipeSignal() {
        sigset_t pending;
        sigpending(&pending);
        if (!was_pending_ && sigismember(&pending, SIGPIPE) == 1) {
            const timespec none{};
            while (sigtimedwait(&pipe_, nullptr, &none) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    NoBrokenPipeSignal(const NoBrokenPipeSignal &) = delete;
    NoBrokenPipeSignal &operator=(const NoBrokenPipeSignal &) = delete;

  private:
    sigset_t pipe_{}, old_{};
    bool was_pending_ = false;
};

// Writes everything; 0 or the error number. A write that takes nothing at all is a full
// device.
int write_all(int fd, std::string_view bytes) {
    NoBrokenPipeSignal quiet;
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return ENOSPC;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

int close_checked(int fd) {
    // Network file systems report a failed write at the latest here.
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

// Opens a pipe or device for writing in place (a pipe waits for its reader, as a
// shell's redirection does); never truncates, never creates.
int open_stream(const fs::path &path, int &fd) {
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? errno : 0;
}

int write_stream(const fs::path &path, std::string_view bytes) {
    int fd = -1;
    if (const int e = open_stream(path, fd))
        return e;
    const int e = write_all(fd, bytes);
    const int c = close_checked(fd);
    return e != 0 ? e : c;
}

int write_standard_output(std::string_view bytes) {
    std::fflush(stdout);
    return write_all(STDOUT_FILENO, bytes);
}

// A new file in the folder under a name of its own, with the permissions a file the
// program creates gets (the umask applies); its name in temp.
int create_temporary(const fs::path &folder, fs::path &temp, int &fd) {
    thread_local std::mt19937_64 random(
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        static_cast<std::uint64_t>(::getpid()) << 32);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, ".tavi-%012llx.part",
                      static_cast<unsigned long long>(random() & 0xffffffffffffULL));
        temp = folder / name;
        do {
            fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int replace_file(const fs::path &file, std::string_view bytes) {
    fs::path folder = file.parent_path();
    if (folder.empty())
        folder = ".";
    struct stat old {};
    const bool existed = ::stat(file.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    fs::path temp;
    int fd = -1;
    if (const int e = create_temporary(folder, temp, fd))
        return e;
    int e = write_all(fd, bytes);
    if (e == 0 && existed && ::fchmod(fd, old.st_mode & 07777) != 0)
        e = errno;
    // On the disc before it takes the name: a crash never leaves a part under it. File
    // systems that cannot sync (EINVAL) have nothing to wait for.
    if (e == 0 && ::fdatasync(fd) != 0 && errno != EINVAL)
        e = errno;
    const int c = close_checked(fd);
    if (e == 0)
        e = c;
    if (e == 0 && ::rename(temp.c_str(), file.c_str()) != 0)
        e = errno;
    if (e != 0)
        ::unlink(temp.c_str());
    return e;
}

} // namespace

fs::path follow_links(const fs::path &name) {
    fs::path p = name;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return p;
        std::error_code ec;
        const fs::path to = fs::read_symlink(p, ec);
        if (ec)
            return p;
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return p;
}

Target target_of(const fs::path &name) {
    if (name == kStandardOutput)
        return {Kind::StandardOutput, {}};
    const fs::path real = follow_links(name);
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return {Kind::File, real};
    return {S_ISDIR(st.st_mode) ? Kind::Folder : Kind::Stream, name};
}

std::string reason(int error) {
    char buf[256];
    // The GNU form: the text may be a static one rather than buf.
    return ::strerror_r(error, buf, sizeof buf);
}

int write(const fs::path &name, std::string_view bytes) {
    if (name.empty())
        return ENOENT;
    const Target t = target_of(name);
    switch (t.kind) {
    case Kind::StandardOutput:
        return write_standard_output(bytes);
    case Kind::Stream:
        return write_stream(t.path, bytes);
    case Kind::Folder:
        return EISDIR;
    case Kind::File:
        break;
    }
    return replace_file(t.path, bytes);
}

int copy_into(const fs::path &from, const Target &to) {
    int in = -1;
    do {
        in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    } while (in < 0 && errno == EINTR);
    if (in < 0)
        return errno;
    int out = STDOUT_FILENO;
    int e = 0;
    if (to.kind == Kind::StandardOutput)
        std::fflush(stdout);
    else if (to.kind != Kind::Stream)
        e = EINVAL;
    else
        e = open_stream(to.path, out);
    std::vector<char> buf(1 << 20);
    while (e == 0) {
        const ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            e = n < 0 ? errno : 0;
            break;
        }
        e = write_all(out, std::string_view(buf.data(), static_cast<std::size_t>(n)));
    }
    ::close(in);
    if (to.kind == Kind::Stream && out >= 0 && out != STDOUT_FILENO) {
        const int c = close_checked(out);
        if (e == 0)
            e = c;
    }
    return e;
}

} // namespace outputs
