// What tells one state of a file from another without reading it, for everything that
// keeps what it read of a file (the drawings held between redraws, the rows read from a
// site database) and must notice when the file is no longer what was read.
//
// Size, modification time, device and file number are not enough: copying with the
// times kept (cp -p, touch -r, rsync -t) writes a file of the same size and puts its
// old modification time back. The change time is set by the system at every change and
// no program can set it back, so it goes in too.
//
// Times come from a clock that ticks: once a tick of the file system's clock on most
// Linux file systems, two seconds on FAT and on many SMB servers. Two writes within one
// tick leave the same times behind, so a file whose times are not older than the moment
// its identity was taken (less one tick) may still change without its identity
// changing. Such an identity is "racy": what was read under it is good for that look at
// the file only, and read again at the next.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace files {

struct Identity {
    int64_t size = 0;
    int64_t modified_ns = 0; // modification time
    int64_t changed_ns = 0;  // change time (set by the system, never set back)
    uint64_t device = 0, inode = 0;
    // The times were within a tick of the moment this identity was taken.
    bool racy = false;
    // Which look at the file this is (every identity taken gets a number of its own).
    uint64_t look = 0;
};

// Whether two identities describe the same state of the file (racy and look aside).
bool same_state(const Identity &a, const Identity &b);

// Whether what was read of a file under the identity held may stand for the file whose
// identity is now: the same state, and held not racy unless it is the very same look.
bool trusted(const Identity &held, const Identity &now);

// The identity of the regular file at path (followed through links), or of an open
// file; nothing when there is no regular file there.
std::optional<Identity> identity_of(const std::filesystem::path &path);
std::optional<Identity> identity_of(int fd);

// The longest time one tick of a file system's clock may take: two seconds for file
// systems that keep times in whole seconds or two-second steps, or whose times come from
// another machine (FAT, exFAT, SMB and CIFS, NFS, FUSE and other network or foreign file
// systems, by their statfs type, and one whose type cannot be learnt: -1); a second for
// files whose times hold no fraction of a second; else a tick of the system's coarse
// clock, from which local file systems take their times (at least 10 ms). Times set by
// another machine are trusted to its clock: one running behind by more than the tick
// is not allowed for.
int64_t clock_tick_ns(long file_system_type, bool whole_seconds);

// The racy rule: times not older than the moment taken, less one tick.
constexpr bool is_racy(int64_t modified_ns, int64_t changed_ns, int64_t taken_ns, int64_t tick_ns) {
    const int64_t latest = modified_ns > changed_ns ? modified_ns : changed_ns;
    return latest >= taken_ns - tick_ns;
}

} // namespace files
