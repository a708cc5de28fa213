// Where the programs write what the user asked for (exports, search results, converted
// data): the name the user gave may be a regular file, a symbolic link, a named pipe, a
// device or "-".
//
// Only a regular file is replaced whole: it is written under a temporary name beside it
// and renamed into place once everything is on the disc, so that a failure leaves the
// earlier file as it was and nothing half written. Anything else is written in place,
// never replaced: renaming a file over a pipe would leave its reader waiting for ever,
// and over a device (run as root, "/dev/null") would put a plain file in the device's
// place. A symbolic link is followed to the file it names, which is written as above;
// the link stays. "-" is standard output.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace outputs {

namespace fs = std::filesystem;

// The name that means standard output.
inline constexpr std::string_view kStandardOutput = "-";

enum class Kind {
    File,           // a regular file, or nothing yet: replaced whole
    Stream,         // a named pipe, a device (anything but a file or a folder): written in place
    StandardOutput, // "-"
    Folder,         // a folder: nothing can be written under its name
};

struct Target {
    Kind kind = Kind::File;
    // File: the file the name leads to, every symbolic link followed, a dangling one to
    // the file it names; Stream and Folder: the name as given; empty for StandardOutput.
    fs::path path;
};

// What writing to the name would write to.
Target target_of(const fs::path &name);

// The path a name leads to with every symbolic link followed, also when the last one
// names nothing yet; the name itself when it is no link. Gives up (returning the name
// reached so far) after as many links as the system follows.
fs::path follow_links(const fs::path &name);

// The system's words for an error number ("No space left on device").
std::string reason(int error);

// Writes the bytes to the output the name leads to, as described above; returns 0 when
// everything was written, else the error number of the first failure. A replaced file
// keeps the permission bits of the one it replaces; a new one gets those of a file the
// program creates (0666 less the umask). Writing to a pipe whose reader has gone is an
// error (EPIPE), never the end of the program.
int write(const fs::path &name, std::string_view bytes);

// Copies the file `from`, finished elsewhere, into a Stream or StandardOutput target;
// returns 0 or the error number. Standard output is flushed before and after.
int copy_into(const fs::path &from, const Target &to);

} // namespace outputs
