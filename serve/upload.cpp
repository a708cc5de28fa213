#include "serve/upload.h"

#include <fcntl.h>
#include <microhttpd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "serve/service_exception.h"

namespace serve {

namespace {

constexpr std::size_t kProcessorBuffer = 64 * 1024;

} // namespace

struct UploadIterator {
    static MHD_Result next(void *cls, MHD_ValueKind, const char *key, const char *filename,
                           const char *, const char *, const char *data, uint64_t, size_t size) {
        auto &u = *static_cast<Upload *>(cls);
        return u.take(key != nullptr ? key : "", filename, data, size) ? MHD_YES : MHD_NO;
    }
};

std::string plain_file_name(const std::string &name) {
    std::string last = name;
    const auto slash = last.find_last_of("/\\");
    if (slash != std::string::npos)
        last = last.substr(slash + 1);
    std::string out;
    for (const char c : last) {
        if (out.size() >= 80)
            break;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '-' || c == '_')
            out += c;
    }
    while (!out.empty() && out.front() == '.')
        out.erase(out.begin());
    return out.empty() ? std::string("upload") : out;
}

Upload::Upload(MHD_Connection *connection, std::size_t max_bytes) : max_bytes_(max_bytes) {
    processor_ =
        MHD_create_post_processor(connection, kProcessorBuffer, &UploadIterator::next, this);
    if (processor_ == nullptr)
        refuse(415, "Send the form as multipart/form-data");
}

Upload::~Upload() {
    if (processor_ != nullptr)
        MHD_destroy_post_processor(processor_);
    if (fd_ >= 0)
        ::close(fd_);
    std::error_code ec;
    if (!folder_.empty())
        std::filesystem::remove_all(folder_, ec);
}

bool Upload::refuse(int status, std::string why) {
    if (status_ == 0) {
        status_ = status;
        why_ = std::move(why);
    }
    return false;
}

bool Upload::feed(const char *data, std::size_t size) {
    bytes_ += size;
    if (bytes_ > max_bytes_)
        return refuse(413, "The upload is larger than " + std::to_string(max_bytes_ >> 20) + " MB");
    if (status_ != 0)
        return false; // the rest of a refused form is only counted
    if (MHD_post_process(processor_, data, size) != MHD_YES)
        return refuse(400, "The form could not be read");
    return status_ == 0;
}

bool Upload::take(const char *key, const char *filename, const char *data, std::size_t size) {
    if (filename != nullptr && std::strcmp(key, kFileField) == 0) {
        if (fd_ < 0) {
            if (!file_.empty())
                return refuse(400, "Send one file");
            // A folder of its own, readable by this process alone, under the system's
            // temporary folder; the file keeps the kind its name gave (GDAL reads some
            // kinds by their extension).
            std::string tmpl =
                (std::filesystem::temp_directory_path() / "tavi-upload-XXXXXX").string();
            if (::mkdtemp(tmpl.data()) == nullptr)
                return refuse(500, "The upload could not be kept");
            folder_ = tmpl;
            file_name_ = plain_file_name(filename);
            file_ = folder_ + "/" + file_name_;
            fd_ = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd_ < 0)
                return refuse(500, "The upload could not be kept");
        }
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return refuse(500, "The upload could not be kept");
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    if (filename != nullptr)
        return refuse(400, std::string("Only the field '") + kFileField + "' takes a file");
    // A small field comes in pieces; a new key ends the one before.
    if (key != key_) {
        if (!finish_field())
            return false;
        key_ = key;
    }
    value_.append(data, size);
    if (value_.size() > Parameters::kMaxValueLength)
        return refuse(400, "The field '" + key_.substr(0, 40) + "' is too long");
    return true;
}

bool Upload::finish_field() {
    if (key_.empty())
        return true;
    try {
        fields_.add(key_, value_);
    } catch (const ServiceException &e) {
        return refuse(400, e.what());
    }
    key_.clear();
    value_.clear();
    return true;
}

bool Upload::finish() {
    if (status_ != 0)
        return false;
    if (processor_ != nullptr) {
        MHD_destroy_post_processor(processor_);
        processor_ = nullptr;
    }
    if (fd_ >= 0) {
        if (::close(fd_) != 0)
            refuse(500, "The upload could not be kept");
        fd_ = -1;
    }
    return finish_field() && status_ == 0;
}

} // namespace serve
