// What the harnesses share: a scratch folder of their own for the files each input
// becomes (the readers take paths, as the program gives them), and a view of the input
// in parts.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

// A harness's entry points: libFuzzer's in the fuzzing build; functions of their own,
// named after the harness, where tests/fuzz replays kept inputs through every harness
// in one test program.
#ifdef TAVI_FUZZ_REPLAY
#define TAVI_FUZZ_INIT(name)                                                                       \
    int name##_init([[maybe_unused]] int *argc, [[maybe_unused]] char ***argv)
#define TAVI_FUZZ_INPUT(name) int name##_input(const uint8_t *data, size_t size)
#else
#define TAVI_FUZZ_INIT(name)                                                                       \
    extern "C" int LLVMFuzzerInitialize([[maybe_unused]] int *argc, [[maybe_unused]] char ***argv)
#define TAVI_FUZZ_INPUT(name)                                                                      \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
#endif

namespace fuzzing {

// A folder made once per process, in memory where the system offers it.
inline const std::filesystem::path &scratch() {
    static const std::filesystem::path folder = [] {
        std::string pattern = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        pattern += "/tavi-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        return std::filesystem::path(pattern);
    }();
    return folder;
}

// Writes bytes to name in the scratch folder, replacing what was there.
inline std::string put(const std::string &name, std::string_view bytes) {
    const std::filesystem::path p = scratch() / name;
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        std::abort();
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return p.string();
}

inline void drop(const std::string &name) {
    std::error_code ec;
    std::filesystem::remove(scratch() / name, ec);
}

// The input as bytes, and its parts: up to the first separator, and the rest.
inline std::string_view bytes(const uint8_t *data, std::size_t size) {
    return {reinterpret_cast<const char *>(data), size};
}
inline std::pair<std::string_view, std::string_view> split(std::string_view s, char separator) {
    const std::size_t at = s.find(separator);
    if (at == std::string_view::npos)
        return {s, {}};
    return {s.substr(0, at), s.substr(at + 1)};
}

} // namespace fuzzing
