// A request's body read as a form (multipart/form-data, or URL-encoded), through the HTTP
// library's post processor: the small fields join the request's parameters under the same
// bounds as a query's, and the one file field ("file") is written to a temporary file of
// its own, in a folder only this process may read, removed with the upload. Nothing is
// ever written where the data is. The whole body is bounded: a length said beforehand past
// the bound is refused (413) before anything is read, and a body that grows past it as it
// comes is read no further.
#pragma once

#include <cstddef>
#include <string>

#include "serve/parameters.h"

struct MHD_Connection;
struct MHD_PostProcessor;

namespace serve {

class Upload {
  public:
    static constexpr std::size_t kMaxBytes = 16 * 1024 * 1024;
    // The field a file comes in.
    static constexpr const char *kFileField = "file";

    Upload(MHD_Connection *connection, std::size_t max_bytes = kMaxBytes);
    ~Upload();
    Upload(const Upload &) = delete;
    Upload &operator=(const Upload &) = delete;

    // Takes the next part of the body. False once the upload is refused: status() and
    // why() then say how to answer. A refused form's body is still counted as it comes.
    bool feed(const char *data, std::size_t size);
    // More has come than the bound: nothing more is to be read.
    bool past_bound() const { return bytes_ > max_bytes_; }
    // The body has all come: the last field is taken and the file closed. False when the
    // upload is refused.
    bool finish();
    int status() const { return status_; } // 0 while nothing is wrong
    const std::string &why() const { return why_; }

    Parameters &fields() { return fields_; }
    // The file written, empty when the form held none.
    const std::string &file() const { return file_; }
    // The name the client gave the file, its last part only and plain characters only.
    const std::string &file_name() const { return file_name_; }

  private:
    friend struct UploadIterator;
    bool refuse(int status, std::string why);
    bool take(const char *key, const char *filename, const char *data, std::size_t size);
    bool finish_field();

    MHD_PostProcessor *processor_ = nullptr;
    std::size_t max_bytes_;
    std::size_t bytes_ = 0;
    int status_ = 0;
    std::string why_;
    Parameters fields_;
    std::string key_;   // the field being read
    std::string value_; // and its value so far
    std::string folder_;
    std::string file_;
    std::string file_name_;
    int fd_ = -1;
};

// A file name fit to be kept and shown: its last part, only letters, digits and ". - _",
// at most 80 characters; "upload" when nothing is left.
std::string plain_file_name(const std::string &name);

} // namespace serve
