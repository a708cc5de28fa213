#include "tools/convert/progress.h"

#include <unistd.h>

namespace convert {

Progress::Progress(int64_t total, std::FILE *out)
    : out_(out), total_(total), last_(std::chrono::steady_clock::now()),
      terminal_(::isatty(::fileno(out)) != 0) {}

Progress::~Progress() {
    finish();
}

void Progress::maybe_print() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::seconds(1))
        return;
    last_ = now;
    // On a terminal the line is rewritten in place; in a log each report is a line.
    if (total_ >= 0)
        std::fprintf(out_, "%stavi-convert: %lld / %lld features%s", terminal_ ? "\r" : "",
                     static_cast<long long>(done_), static_cast<long long>(total_),
                     terminal_ ? "" : "\n");
    else
        std::fprintf(out_, "%stavi-convert: %lld features%s", terminal_ ? "\r" : "",
                     static_cast<long long>(done_), terminal_ ? "" : "\n");
    std::fflush(out_);
    printed_ = true;
}

void Progress::finish() {
    if (finished_)
        return;
    finished_ = true;
    if (printed_ && terminal_) {
        std::fputc('\n', out_);
        std::fflush(out_);
    }
}

} // namespace convert
