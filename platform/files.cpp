#include "platform/files.h"

#include "platform/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace files {

BinaryFile::~BinaryFile() {
    close();
}

BinaryFile::BinaryFile(BinaryFile &&o) noexcept {
    *this = std::move(o);
}

BinaryFile &BinaryFile::operator=(BinaryFile &&o) noexcept {
    if (this != &o) {
        close();
        fd_ = o.fd_;
        size_ = o.size_;
        pos_ = o.pos_;
        buf_start_ = o.buf_start_;
        buf_len_ = o.buf_len_;
        buf_ = std::move(o.buf_);
        o.fd_ = -1;
        o.size_ = o.pos_ = o.buf_start_ = 0;
        o.buf_len_ = 0;
    }
    return *this;
}

namespace {

void open_with(const fs::path &path, int flags, int &fd_out, int64_t &size_out) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && (flags & O_CREAT)) {
        // The folder may be read-only (a disc): a missing file then simply reads empty.
        do {
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
    }
    fd_out = fd;
    size_out = 0;
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            size_out = st.st_size;
    }
}

} // namespace

BinaryFile BinaryFile::open_always(const fs::path &path, std::size_t buffer_size) {
    BinaryFile f;
    open_with(path, O_RDONLY | O_CREAT, f.fd_, f.size_);
    f.buf_.resize(std::max<std::size_t>(buffer_size, 512));
    return f;
}

BinaryFile BinaryFile::open_existing(const fs::path &path, std::size_t buffer_size) {
    BinaryFile f;
    open_with(path, O_RDONLY, f.fd_, f.size_);
    f.buf_.resize(std::max<std::size_t>(buffer_size, 512));
    return f;
}

void BinaryFile::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    buf_len_ = 0;
}

bool BinaryFile::fill() {
    buf_start_ = pos_;
    buf_len_ = 0;
    if (::lseek(fd_, pos_, SEEK_SET) < 0)
        return false;
    while (buf_len_ < buf_.size()) {
        const ssize_t got = ::read(fd_, buf_.data() + buf_len_, buf_.size() - buf_len_);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        buf_len_ += static_cast<std::size_t>(got);
        // One read is enough unless the system returned a short chunk mid-file.
        if (buf_start_ + static_cast<int64_t>(buf_len_) >= size_)
            break;
    }
    return buf_len_ > 0;
}

std::size_t BinaryFile::read(void *out, std::size_t n) {
    if (fd_ < 0 || n == 0)
        return 0;
    auto *dst = static_cast<unsigned char *>(out);
    std::size_t done = 0;
    while (done < n) {
        const int64_t in_buf = pos_ - buf_start_;
        if (in_buf < 0 || in_buf >= static_cast<int64_t>(buf_len_)) {
            if (!fill())
                break;
            continue;
        }
        const std::size_t avail = buf_len_ - static_cast<std::size_t>(in_buf);
        const std::size_t take = std::min(avail, n - done);
        std::memcpy(dst + done, buf_.data() + in_buf, take);
        done += take;
        pos_ += static_cast<int64_t>(take);
    }
    return done;
}

bool BinaryFile::seek(int64_t offset) {
    if (offset < 0)
        return false;
    pos_ = offset; // the buffer stays valid if the new position lies inside it
    return true;
}

bool BinaryFile::skip(int64_t delta) {
    // Compared so that no delta, however large, can overflow the sum.
    if (delta < 0 ? delta < -pos_ : pos_ > INT64_MAX - delta)
        return false;
    return seek(pos_ + delta);
}

fs::path resolve(std::string_view written) {
    std::string s(written);
    std::replace(s.begin(), s.end(), '\\', '/');
    fs::path p(s);
    std::error_code ec;
    if (p.empty() || fs::exists(p, ec))
        return p;
    // Walk the components, matching each without regard to case where the exact
    // name is missing (drawings copied from discs made on other systems).
    fs::path built = p.is_absolute() ? p.root_path() : fs::path();
    bool matched_all = true;
    for (const auto &part : p.relative_path()) {
        const fs::path exact = built / part;
        if (!matched_all || fs::exists(exact, ec)) {
            built = exact;
            continue;
        }
        fs::path found;
        const fs::path dir = built.empty() ? fs::path(".") : built;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            if (text::equal_ignoring_case(it->path().filename().string(), part.string())) {
                found = built / it->path().filename();
                break;
            }
        }
        if (found.empty()) {
            matched_all = false;
            built = exact;
        } else {
            built = found;
        }
    }
    return built;
}

bool exists(std::string_view path) {
    std::error_code ec;
    return fs::is_regular_file(resolve(path), ec);
}

bool is_read_only(const fs::path &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

fs::path mount_point(const fs::path &path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec).lexically_normal();
    while (!p.empty() && !fs::exists(p, ec) && p != p.root_path())
        p = p.parent_path();
    if (p.empty())
        return "/";
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0)
        return p.root_path();
    const dev_t dev = st.st_dev;
    // Climb while the parent is on the same device.
    while (p != p.root_path()) {
        const fs::path parent = p.parent_path();
        struct stat ps {};
        if (::stat(parent.c_str(), &ps) != 0 || ps.st_dev != dev)
            break;
        p = parent;
    }
    return p;
}

std::string with_extension3(std::string_view path, std::string_view ext) {
    std::string s(path);
    if (s.size() < 3)
        return std::string(ext);
    s.replace(s.size() - 3, 3, ext);
    return s;
}

std::string read_text(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string folder_of(const std::string &path) {
    const auto cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string join_path(const std::string &folder, const std::string &name) {
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\')
        return folder + name;
    return folder + '/' + name;
}

} // namespace files
