// The progress line of a long conversion: once a second, on standard error, how many
// features are done of how many. Short conversions print nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace convert {

class Progress {
  public:
    // total < 0: not known beforehand.
    explicit Progress(int64_t total, std::FILE *out = stderr);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    void add_total(int64_t n) { total_ += n; }
    // Asks the clock every time: a single feature may take long (a huge polyline into a
    // slow format), and a clock reading costs nothing beside writing a feature.
    void step(int64_t n = 1) {
        done_ += n;
        maybe_print();
    }
    // Ends the line the progress was written on, if any.
    void finish();

  private:
    void maybe_print();

    std::FILE *out_;
    int64_t total_, done_ = 0;
    std::chrono::steady_clock::time_point last_;
    bool printed_ = false, terminal_ = false, finished_ = false;
};

} // namespace convert
