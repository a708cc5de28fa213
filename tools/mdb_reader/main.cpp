// tavi-mdb-reader FILE SIZE: serves the requests of the program that started it for the
// Access file FILE (SIZE bytes when it was opened), on standard input and output, which
// are the program's socket (platform/dao_reader.h). Whatever libmdb prints goes to
// standard error, never into the answers, and only with TAVI_VERBOSE set: the program
// reports a damaged file in one message of its own.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/db/dao_reader.h"

#if defined(__SANITIZE_ADDRESS__)
#define TAVI_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVI_ADDRESS_SANITIZER 1
#endif
#endif

#ifdef TAVI_ADDRESS_SANITIZER
// Under AddressSanitizer the address-space limit below cannot be used (the shadow memory
// alone is larger); the runtime's own limit on the resident size stands in for it, so a
// file on which libmdb allocates without end still ends the reader, not the machine.
extern "C" const char *__asan_default_options() {
    return "hard_rss_limit_mb=1024:allocator_may_return_null=1";
}
#endif

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "tavi-mdb-reader: started by the TAVI programs, not by hand\n");
        return 2;
    }
    const long long size = std::atoll(argv[2]);
#ifndef TAVI_ADDRESS_SANITIZER
    // A damaged file may make libmdb ask for absurd amounts of memory: the reader then
    // fails on its own rather than pressing the whole machine (and the program that
    // waits for it) out of memory. Decoded tables are a few times the file at most.
    const rlim_t limit = (rlim_t{4} << 30) + 8 * static_cast<rlim_t>(size > 0 ? size : 0);
    const rlimit as{limit, limit};
    setrlimit(RLIMIT_AS, &as);
#endif
    // The answers go out on a descriptor of their own; standard output becomes standard
    // error, so that nothing libmdb prints can mix into them.
    const int answers = ::dup(1);
    if (answers < 0 || ::dup2(2, 1) < 0)
        return 2;
    if (std::getenv("TAVI_VERBOSE") == nullptr) {
        const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (quiet < 0 || ::dup2(quiet, 1) < 0 || ::dup2(quiet, 2) < 0)
            return 2;
        ::close(quiet);
    }
    return dao::serve_access_file(argv[1], size, 0, answers);
}
