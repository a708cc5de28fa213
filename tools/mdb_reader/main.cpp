// tavi-mdb-reader FILE SIZE PROGRAM: serves the requests of the program that started it
// (process PROGRAM) for the Access file FILE (SIZE bytes when it was opened), on standard
// input and output, which are the program's socket (platform/dao_reader.h). Whatever libmdb prints
// goes to standard error, never into the answers, and only with TAVI_VERBOSE set: the program
// reports a damaged file in one message of its own.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
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

namespace {

#ifndef TAVI_ADDRESS_SANITIZER
// The memory the reader may map: far beyond what decoding needs (a few tens of megabytes
// for a site list of 100,000 records, address space included), well under the machine's,
// so that a damaged file that makes libmdb allocate without end fails in the reader
// alone and early.
rlim_t memory_limit(long long file_size) {
    const rlim_t wanted =
        (rlim_t{512} << 20) + 2 * static_cast<rlim_t>(file_size > 0 ? file_size : 0);
    const long pages = ::sysconf(_SC_PHYS_PAGES), page = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0)
        return wanted;
    const rlim_t quarter = static_cast<rlim_t>(pages) * static_cast<rlim_t>(page) / 4;
    return std::max(std::min(wanted, quarter), rlim_t{256} << 20);
}
#endif

// Processor time for the reader's whole life: a minute and a second for each megabyte,
// where decoding takes well under a second for 28 MB. SIGXCPU at the soft limit ends it
// (the program reads the signal as the file's fault); the hard one stands behind.
rlim_t time_limit(long long file_size) {
    return 60 + static_cast<rlim_t>(file_size > 0 ? file_size >> 20 : 0);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "tavi-mdb-reader: started by the TAVI programs, not by hand\n");
        return 2;
    }
    // The reader ends with the program it serves, however that ends: an orphan would decode
    // on alone. The program may have gone before the request took effect; then the reader
    // already has a new parent and goes at once. (Strictly, the signal comes when the thread
    // that started the reader ends: the programs open their databases on their main thread.)
    const pid_t program = static_cast<pid_t>(std::atoll(argv[3]));
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != program)
        return 2;
    const long long size = std::atoll(argv[2]);
    const rlim_t seconds = time_limit(size);
    const rlimit cpu{seconds, seconds + 5};
    setrlimit(RLIMIT_CPU, &cpu);
#ifndef TAVI_ADDRESS_SANITIZER
    const rlim_t limit = memory_limit(size);
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
