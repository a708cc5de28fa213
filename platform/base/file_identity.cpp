#include "platform/base/file_identity.h"

#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>

#include <algorithm>
#include <atomic>

namespace files {

namespace {

constexpr int64_t kMillisecond = 1'000'000;
constexpr int64_t kSecond = 1'000'000'000;

// File systems whose clock may tick in two-second steps, or whose times are set by
// another machine, by their statfs type.
constexpr unsigned long kCoarseFileSystems[] = {
    0x4d44,     // FAT (msdos, vfat)
    0x2011BAB0, // exFAT
    0x517B,     // SMB
    0xFF534D42, // CIFS
    0xFE534D42, // SMB2 and later
    0x6969,     // NFS
    0x65735546, // FUSE (ntfs-3g, sshfs, ...)
    0x01021997, // 9P
    0x00C36400, // Ceph
    0x73757245, // Coda
    0x5346414F, // AFS
    0x6B414653, // kAFS
    0x564c,     // NCP
    0x4244,     // HFS
    0x482b,     // HFS+
    0x9660,     // ISO 9660
    0x15013346, // UDF
};

int64_t nanoseconds(const timespec &t) {
    return static_cast<int64_t>(t.tv_sec) * kSecond + t.tv_nsec;
}

int64_t now_ns() {
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return nanoseconds(t);
}

// The coarse clock local file systems take their times from ticks once a jiffy.
int64_t coarse_clock_tick() {
    static const int64_t tick = [] {
        timespec res{};
        const int64_t got = ::clock_getres(CLOCK_REALTIME_COARSE, &res) == 0 ? nanoseconds(res) : 0;
        return std::max<int64_t>(got, 10 * kMillisecond);
    }();
    return tick;
}

std::atomic<uint64_t> g_looks{0};

// The identity in st, taken at taken_ns; file_system gives the statfs type of the file's
// file system, asked only when the times are recent enough for it to matter.
template <class FileSystem>
Identity identity_from(const struct stat &st, int64_t taken_ns, FileSystem file_system) {
    Identity id;
    id.size = st.st_size;
    id.modified_ns = nanoseconds(st.st_mtim);
    id.changed_ns = nanoseconds(st.st_ctim);
    id.device = static_cast<uint64_t>(st.st_dev);
    id.inode = static_cast<uint64_t>(st.st_ino);
    id.look = ++g_looks;
    constexpr int64_t kLongestTick = 2 * kSecond;
    if (is_racy(id.modified_ns, id.changed_ns, taken_ns, kLongestTick)) {
        const bool whole_seconds = st.st_mtim.tv_nsec == 0 && st.st_ctim.tv_nsec == 0;
        id.racy = is_racy(id.modified_ns, id.changed_ns, taken_ns,
                          clock_tick_ns(file_system(), whole_seconds));
    }
    return id;
}

} // namespace

bool same_state(const Identity &a, const Identity &b) {
    return a.size == b.size && a.modified_ns == b.modified_ns && a.changed_ns == b.changed_ns &&
           a.device == b.device && a.inode == b.inode;
}

bool trusted(const Identity &held, const Identity &now) {
    return same_state(held, now) && (!held.racy || held.look == now.look);
}

int64_t clock_tick_ns(long file_system_type, bool whole_seconds) {
    const auto type = static_cast<unsigned long>(file_system_type) & 0xFFFFFFFFul;
    int64_t tick = coarse_clock_tick();
    if (whole_seconds)
        tick = std::max(tick, kSecond);
    if (file_system_type == -1 ||
        std::find(std::begin(kCoarseFileSystems), std::end(kCoarseFileSystems), type) !=
            std::end(kCoarseFileSystems))
        tick = std::max(tick, 2 * kSecond);
    return tick;
}

std::optional<Identity> identity_of(const std::filesystem::path &path) {
    // Taken before the file is looked at: a write after this moment gets later times.
    const int64_t taken = now_ns();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return identity_from(st, taken, [&path] {
        struct statfs fs {};
        return ::statfs(path.c_str(), &fs) == 0 ? static_cast<long>(fs.f_type) : -1L;
    });
}

std::optional<Identity> identity_of(int fd) {
    const int64_t taken = now_ns();
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return identity_from(st, taken, [fd] {
        struct statfs fs {};
        return ::fstatfs(fd, &fs) == 0 ? static_cast<long>(fs.f_type) : -1L;
    });
}

} // namespace files
