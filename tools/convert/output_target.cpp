#include "tools/convert/output_target.h"
#include "platform/base/text.h"

#include <gdal.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <vector>

#include "tools/convert/convert_error.h"
#include "tools/convert/ogr_support.h"

namespace convert {

namespace fs = std::filesystem;

namespace {

// The usual driver of the common extensions; others are looked up in GDAL's drivers.
std::string known_driver(const std::string &ext) {
    static const std::pair<const char *, const char *> table[] = {{"gpkg", "GPKG"},
                                                                  {"geojson", "GeoJSON"},
                                                                  {"json", "GeoJSON"},
                                                                  {"dxf", "DXF"},
                                                                  {"fgb", "FlatGeobuf"},
                                                                  {"shp", "ESRI Shapefile"},
                                                                  {"sqlite", "SQLite"},
                                                                  {"gml", "GML"},
                                                                  {"kml", "KML"},
                                                                  {"csv", "CSV"},
                                                                  {"tab", "MapInfo File"},
                                                                  {"mif", "MapInfo File"},
                                                                  {"geojsonl", "GeoJSONSeq"},
                                                                  {"geojsons", "GeoJSONSeq"}};
    for (const auto &[e, d] : table)
        if (ext == e)
            return d;
    return {};
}

std::string driver_claiming(const std::string &ext) {
    for (int i = 0; i < GDALGetDriverCount(); ++i) {
        GDALDriverH d = GDALGetDriver(i);
        if (GDALGetMetadataItem(d, GDAL_DCAP_VECTOR, nullptr) == nullptr ||
            GDALGetMetadataItem(d, GDAL_DCAP_CREATE, nullptr) == nullptr)
            continue;
        const char *exts = GDALGetMetadataItem(d, GDAL_DMD_EXTENSIONS, nullptr);
        if (exts == nullptr)
            continue;
        std::istringstream in(text::lower(exts));
        for (std::string e; in >> e;)
            if (e == ext)
                return GDALGetDriverShortName(d);
    }
    return {};
}

} // namespace

OutputFormat choose_format(const fs::path &out) {
    init_gdal();
    OutputFormat f;
    std::string ext = text::lower(out.extension().string());
    if (!ext.empty())
        ext.erase(0, 1);
    std::error_code ec;
    if (ext.empty() || fs::is_directory(out, ec)) {
        f.driver = "ESRI Shapefile";
        f.folder = true;
        f.mixed_geometry = false;
        return f;
    }
    f.driver = known_driver(ext);
    if (f.driver.empty())
        f.driver = driver_claiming(ext);
    if (f.driver.empty() || GDALGetDriverByName(f.driver.c_str()) == nullptr)
        throw ConvertError("no OGR driver writes ." + ext + " files (" + out.string() + ")");
    // These formats keep one layer in a file of that name.
    static const char *single[] = {"GeoJSON", "GeoJSONSeq",     "DXF",         "CSV", "FlatGeobuf",
                                   "GPX",     "ESRI Shapefile", "MapInfo File"};
    f.one_layer = std::any_of(std::begin(single), std::end(single),
                              [&](const char *d) { return f.driver == d; });
    f.mixed_geometry = f.driver != "ESRI Shapefile";
    return f;
}

namespace {

// The staging folders of this process, for the signal handler, which may use nothing but
// these fixed buffers and system calls.
constexpr int kSlots = 4;
char g_staging[kSlots][PATH_MAX];
volatile sig_atomic_t g_registered[kSlots];

// Empties the open folder: files unlinked, subfolders (a folder of Shapefiles) emptied
// and removed. Read again from the start until nothing is left, as entries removed while
// a folder is read may hide others.
void empty_folder(int fd, int depth) {
    alignas(dirent64) char buf[4096];
    for (int pass = 0; pass < 8; ++pass) {
        bool removed = false;
        ::lseek(fd, 0, SEEK_SET);
        for (;;) {
            const ssize_t n = ::getdents64(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            for (ssize_t at = 0; at < n;) {
                const auto *d = reinterpret_cast<const dirent64 *>(buf + at);
                at += d->d_reclen;
                const char *name = d->d_name;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                    continue;
                removed = true;
                if (::unlinkat(fd, name, 0) == 0 || errno != EISDIR || depth > 2)
                    continue;
                const int sub = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0) {
                    empty_folder(sub, depth + 1);
                    ::close(sub);
                }
                ::unlinkat(fd, name, AT_REMOVEDIR);
            }
        }
        if (!removed)
            return;
    }
}

void remove_folder_now(const char *path) {
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        empty_folder(fd, 0);
        ::close(fd);
    }
    ::rmdir(path);
}

extern "C" void remove_staging_and_end(int sig) {
    for (int i = 0; i < kSlots; ++i)
        if (g_registered[i] != 0)
            remove_folder_now(g_staging[i]);
    // The handler was a one-time one: the signal, blocked until the handler returns,
    // then ends the program as it would have without it.
    ::raise(sig);
}

// Signals that end a conversion (Ctrl+C, kill, a closed terminal) remove the staging
// folders first; a signal the program was started ignoring (nohup) stays ignored.
void catch_ending_signals() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction old {};
            if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL ||
                (old.sa_flags & SA_SIGINFO) != 0)
                continue;
            struct sigaction sa {};
            sa.sa_handler = remove_staging_and_end;
            sigfillset(&sa.sa_mask);
            sa.sa_flags = SA_RESETHAND;
            ::sigaction(sig, &sa, nullptr);
        }
    });
}

int register_staging(const fs::path &dir) {
    static std::mutex m;
    std::lock_guard lock(m);
    const std::string path = fs::absolute(dir).string();
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < kSlots; ++i)
        if (g_registered[i] == 0) {
            std::memcpy(g_staging[i], path.c_str(), path.size() + 1);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            g_registered[i] = 1;
            return i;
        }
    return -1;
}

std::string host_name() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

constexpr std::string_view kStagingPrefix = ".tavi-convert.";

// The free space of the folder's file system is gone (what a writer failing part way
// through most often means, whatever words it found for it). Not to the last block: by
// the time the failure reaches us the writer has given back what its journal held, and
// the driver may have gone on to fail at something else ("no such table" for the
// GeoPackage table whose creation found the disc full).
bool out_of_room(const fs::path &dir) {
    struct statvfs st {};
    constexpr unsigned long long kNearlyFull = 1ull << 20;
    return ::statvfs(dir.c_str(), &st) == 0 &&
           static_cast<unsigned long long>(st.f_bavail) * st.f_frsize < kNearlyFull;
}

} // namespace

std::string Staging::folder_prefix() {
    return std::string(kStagingPrefix) + host_name() + "." + std::to_string(::getpid()) + ".";
}

int remove_stale_staging(const fs::path &folder) {
    // <prefix><host>.<pid>.<six random characters>
    const std::string host = host_name();
    int removed = 0;
    std::error_code ec;
    for (const fs::directory_entry &e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(kStagingPrefix, 0) != 0)
            continue;
        const std::string rest = name.substr(kStagingPrefix.size());
        const auto random_at = rest.rfind('.');
        if (random_at == std::string::npos || random_at == 0)
            continue;
        const auto pid_at = rest.rfind('.', random_at - 1);
        if (pid_at == std::string::npos || rest.substr(0, pid_at) != host)
            continue;
        const std::string pid_text = rest.substr(pid_at + 1, random_at - pid_at - 1);
        if (pid_text.empty() || pid_text.size() > 9 ||
            pid_text.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = static_cast<pid_t>(std::stol(pid_text));
        // Alive, or someone else's (EPERM): not ours to remove.
        if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        std::error_code rm;
        if (e.is_directory(rm) && !e.is_symlink(rm) && fs::remove_all(e.path(), rm) > 0)
            ++removed;
    }
    return removed;
}

Staging::Staging(const fs::path &final_path, bool folder, const std::string &stream_extension)
    : target_(outputs::target_of(final_path)), named_(final_path), folder_(folder) {
    const bool stream =
        target_.kind == outputs::Kind::Stream || target_.kind == outputs::Kind::StandardOutput;
    fs::path parent;
    std::error_code ec;
    if (stream) {
        if (folder)
            throw ConvertError(named_.string() +
                               " is a pipe, a device or standard output, which cannot take a "
                               "folder of files: give a format of one file (--format gpkg)");
        parent = fs::temp_directory_path(ec);
        if (ec)
            parent = "/tmp";
    } else {
        final_ = target_.kind == outputs::Kind::File ? target_.path : named_;
        parent = final_.parent_path();
        if (parent.empty())
            parent = ".";
        if (!fs::is_directory(parent, ec))
            throw ConvertError("the folder " + parent.string() + " does not exist");
    }
    remove_stale_staging(parent);
    catch_ending_signals();
    std::string tmpl = (parent / (folder_prefix() + "XXXXXX")).string();
    if (::mkdtemp(tmpl.data()) == nullptr)
        throw ConvertError("cannot write in " + parent.string() + ": " + outputs::reason(errno));
    dir_ = tmpl;
    slot_ = register_staging(dir_);
    if (stream)
        staged_ = dir_ / (stream_extension.empty() ? named_.filename()
                                                   : fs::path("output." + stream_extension));
    else
        staged_ = dir_ / final_.filename();
}

Staging::~Staging() {
    if (slot_ >= 0)
        g_registered[slot_] = 0;
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

void Staging::fail(const std::string &what) const {
    if (out_of_room(dir_))
        throw ConvertError("cannot write " + named_.string() + ": " + outputs::reason(ENOSPC));
    throw ConvertError(what);
}

void Staging::commit_to_stream() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry &e : fs::directory_iterator(dir_, ec))
        names.push_back(e.path().filename().string());
    if (names.size() != 1 || names.front() != staged_.filename()) {
        std::sort(names.begin(), names.end());
        std::string list;
        for (const std::string &n : names)
            list += (list.empty() ? "" : ", ") + n;
        throw ConvertError(named_.string() + " would be " + std::to_string(names.size()) +
                           " files (" + list +
                           "), and a pipe, a device or standard output takes one: give a "
                           "format of one file (--format gpkg)");
    }
    if (const int e = outputs::copy_into(staged_, target_))
        throw ConvertError("cannot write " + named_.string() + ": " + outputs::reason(e));
}

void Staging::commit() {
    // Some drivers (GeoJSON's among them) take a short write for the end of the file and
    // close it as finished: a file system left without one free block once our files are
    // written has all but surely cut them short, and the earlier output must stay.
    struct statvfs st {};
    if (::statvfs(dir_.c_str(), &st) == 0 && st.f_bavail == 0)
        throw ConvertError("cannot write " + named_.string() + ": " + outputs::reason(ENOSPC));
    if (target_.kind == outputs::Kind::Stream || target_.kind == outputs::Kind::StandardOutput) {
        commit_to_stream();
        return;
    }
    std::error_code ec;
    const fs::path from = folder_ ? staged_ : dir_;
    const fs::path to = folder_ ? final_ : final_.parent_path();
    if (folder_) {
        fs::create_directories(final_, ec);
        if (ec)
            throw ConvertError("cannot make the folder " + final_.string() + ": " + ec.message());
    }
    std::vector<fs::path> names;
    for (const fs::directory_entry &e : fs::directory_iterator(from, ec))
        names.push_back(e.path().filename());
    if (ec)
        throw ConvertError("cannot read back " + from.string() + ": " + ec.message());
    // The main file last: its companions are in place when it appears.
    std::stable_partition(names.begin(), names.end(),
                          [&](const fs::path &n) { return n != final_.filename(); });
    for (const fs::path &n : names) {
        // A companion's link too is written through, not replaced.
        const fs::path dest = outputs::follow_links(to / n);
        fs::rename(from / n, dest, ec);
        if (ec)
            throw ConvertError("cannot write " + dest.string() + ": " + ec.message());
    }
}

} // namespace convert
