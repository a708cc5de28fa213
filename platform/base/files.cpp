#include "platform/base/files.h"

#include "platform/base/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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
        memory_ = std::move(o.memory_);
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

// Opens path for reading when it is a regular file; -1 otherwise. Non-blocking, so that
// a named pipe with no writer cannot hold the program up: it is opened, found not to be
// a regular file, and closed again. (The flag has no effect on reading a regular file.)
int open_regular(const fs::path &path, int64_t &size_out) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    size_out = 0;
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    size_out = st.st_size;
    return fd;
}

} // namespace

BinaryFile BinaryFile::open_existing(const fs::path &path, std::size_t buffer_size) {
    BinaryFile f;
    f.fd_ = open_regular(path, f.size_);
    f.buf_.resize(std::max<std::size_t>(buffer_size, 512));
    return f;
}

BinaryFile BinaryFile::over(std::shared_ptr<const std::vector<unsigned char>> bytes) {
    BinaryFile f;
    if (bytes) {
        f.size_ = static_cast<int64_t>(bytes->size());
        f.memory_ = std::move(bytes);
    }
    return f;
}

void BinaryFile::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    memory_.reset();
    buf_len_ = 0;
}

bool BinaryFile::fill() {
    buf_start_ = pos_;
    buf_len_ = 0;
    if (pos_ >= size_ || ::lseek(fd_, pos_, SEEK_SET) < 0)
        return false;
    // Never past the size at opening.
    const std::size_t want = static_cast<std::size_t>(
        std::min<int64_t>(static_cast<int64_t>(buf_.size()), size_ - pos_));
    while (buf_len_ < want) {
        const ssize_t got = ::read(fd_, buf_.data() + buf_len_, want - buf_len_);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        buf_len_ += static_cast<std::size_t>(got);
    }
    return buf_len_ > 0;
}

std::size_t BinaryFile::read(void *out, std::size_t n) {
    auto *dst = static_cast<unsigned char *>(out);
    if (memory_) {
        if (pos_ >= size_)
            return 0;
        const auto take =
            static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(n), size_ - pos_));
        std::memcpy(dst, memory_->data() + pos_, take);
        pos_ += static_cast<int64_t>(take);
        return take;
    }
    if (fd_ < 0 || n == 0)
        return 0;
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

std::shared_ptr<const std::vector<unsigned char>> read_whole(const fs::path &path,
                                                             Identity &identity) {
    int64_t size = 0;
    const int fd = open_regular(path, size);
    if (fd < 0)
        return nullptr;
    auto bytes = std::make_shared<std::vector<unsigned char>>();
    const std::optional<Identity> before = identity_of(fd);
    bool ok = before.has_value();
    if (ok) {
        identity = *before;
        bytes->resize(static_cast<std::size_t>(size));
        std::size_t done = 0;
        while (ok && done < bytes->size()) {
            const ssize_t got = ::read(fd, bytes->data() + done, bytes->size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            ok = got > 0;
            if (ok)
                done += static_cast<std::size_t>(got);
        }
        // Written meanwhile: what was read may be half old, half new.
        const std::optional<Identity> after = identity_of(fd);
        ok = ok && after && same_state(*after, identity);
    }
    ::close(fd);
    return ok ? std::move(bytes) : nullptr;
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

Kind kind_of(const fs::path &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return Kind::Missing;
    return S_ISREG(st.st_mode) ? Kind::Regular : Kind::Other;
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

std::optional<std::string> read_text_file(const fs::path &path) {
    int64_t size = 0;
    const int fd = open_regular(path, size);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> text;
    if (size <= kTextFileLimit) {
        text.emplace(static_cast<std::size_t>(size), '\0');
        std::size_t done = 0;
        while (done < text->size()) {
            const ssize_t got = ::read(fd, text->data() + done, text->size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                text.reset();
                break;
            }
            if (got == 0) {
                text->resize(done); // cut short while being read
                break;
            }
            done += static_cast<std::size_t>(got);
        }
    }
    ::close(fd);
    return text;
}

std::string read_text(const fs::path &path) {
    return read_text_file(path).value_or(std::string());
}

bool stays_inside(std::string_view name) {
    int depth = 0;
    std::size_t i = 0;
    while (i <= name.size()) {
        const std::size_t end = std::min(name.find_first_of("/\\", i), name.size());
        const std::string_view part = name.substr(i, end - i);
        if (part == "..") {
            if (--depth < 0)
                return false;
        } else if (!part.empty() && part != ".") {
            ++depth;
        }
        i = end + 1;
    }
    return true;
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
