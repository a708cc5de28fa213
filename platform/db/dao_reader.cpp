// Access files read in a reader process of their own (see dao_reader.h): both sides of
// the exchange.
//
// The program sends requests, one at a time, over a socket:
//   'C'                      the catalogue
//   'T' <u32 n> <n bytes>    every row of the table of that name
// and the reader answers:
//   to 'C': 'K' and the catalogue (counts as u32, texts as <u32 n> <n bytes>)
//   to 'T': the table's values in field order, row after row, each a tag and its
//           bytes ('0' null, 'i' 8-byte integer, 'r' 8-byte real, 't' text and 'b'
//           binary as <u32 n> <n bytes>), then 'Z'
//   to either, in place of the answer or part way through it: 'E' <u32 n> <message>
// Numbers are in the machine's own byte order: both sides are the same build.
#include "platform/db/dao_reader.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <type_traits>
#include <vector>

#include "platform/db/dao.h"
#include "platform/db/dao_rows.h"
#include "platform/db/dao_source.h"

extern char **environ;

namespace dao {

namespace {

std::atomic<AccessReading> g_reading{AccessReading::ReaderProcess};
std::atomic<std::int64_t> g_time_limit_ms{kDefaultReaderTimeLimit.count()};
std::mutex g_program_mutex;
std::filesystem::path g_program;

constexpr char kCatalogRequest = 'C';
constexpr char kTableRequest = 'T';
constexpr char kColumnsRequest = 'F'; // a table's name, then the positions of its fields
constexpr char kCatalogAnswer = 'K';
constexpr char kErrorAnswer = 'E';
constexpr char kEndOfRows = 'Z';
constexpr char kNull = '0';
constexpr char kInteger = 'i';
constexpr char kReal = 'r';
constexpr char kText = 't';
constexpr char kBinary = 'b';

// ---------------------------------------------------------------- writing

// Buffered writes to a descriptor; false once a write has failed (the other side gone).
class Writer {
  public:
    explicit Writer(int fd) : fd_(fd) { buf_.reserve(kSize); }

    void bytes(const void *p, std::size_t n) {
        const auto *c = static_cast<const char *>(p);
        if (buf_.size() + n > kSize)
            flush();
        if (n > kSize) {
            send(c, n);
            return;
        }
        buf_.insert(buf_.end(), c, c + n);
    }
    void tag(char t) { bytes(&t, 1); }
    template <class T> void number(T v) { bytes(&v, sizeof v); }
    void text(std::string_view s) {
        number(static_cast<std::uint32_t>(s.size()));
        bytes(s.data(), s.size());
    }
    bool flush() {
        send(buf_.data(), buf_.size());
        buf_.clear();
        return ok_;
    }
    bool ok() const { return ok_; }

  private:
    static constexpr std::size_t kSize = 256 * 1024;

    void send(const char *p, std::size_t n) {
        while (ok_ && n > 0) {
            // Never SIGPIPE: a reader that has died must give an error, not end the
            // program that writes to it.
            ssize_t got = socket_ ? ::send(fd_, p, n, MSG_NOSIGNAL) : ::write(fd_, p, n);
            if (got < 0 && errno == ENOTSOCK) {
                socket_ = false;
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                ok_ = false;
                return;
            }
            p += got;
            n -= static_cast<std::size_t>(got);
        }
    }

    int fd_;
    bool socket_ = true;
    bool ok_ = true;
    std::vector<char> buf_;
};

void write_catalog(Writer &w, const Catalog &c) {
    w.number(static_cast<std::uint32_t>(c.tables.size()));
    for (const TableInfo &t : c.tables) {
        w.text(t.name);
        w.number(static_cast<std::uint32_t>(t.fields.size()));
        for (const FieldInfo &f : t.fields) {
            w.text(f.name);
            w.number(static_cast<std::int32_t>(f.type));
            w.number(static_cast<std::int32_t>(f.size));
        }
        w.number(static_cast<std::uint32_t>(t.indexes.size()));
        for (const IndexInfo &i : t.indexes) {
            w.text(i.name);
            w.number(static_cast<std::uint8_t>(i.unique));
            w.number(static_cast<std::uint32_t>(i.columns.size()));
            for (std::size_t k = 0; k < i.columns.size(); ++k) {
                w.number(static_cast<std::int32_t>(i.columns[k]));
                w.number(static_cast<std::uint8_t>(k < i.descending.size() && i.descending[k]));
            }
        }
    }
    w.number(static_cast<std::uint32_t>(c.queries.size()));
    for (const QueryInfo &q : c.queries) {
        w.text(q.name);
        w.number(static_cast<std::uint8_t>(q.runnable));
    }
}

// The values a table streams, written as they come.
class WireSink final : public CellSink {
  public:
    explicit WireSink(Writer &w) : w_(w) {}
    void add_null() override { w_.tag(kNull); }
    void add_integer(std::int64_t v) override {
        w_.tag(kInteger);
        w_.number(v);
    }
    void add_real(double v) override {
        w_.tag(kReal);
        w_.number(v);
    }
    void add_text(std::string_view v) override {
        w_.tag(kText);
        w_.text(v);
    }
    void add_binary(std::string_view v) override {
        w_.tag(kBinary);
        w_.text(v);
    }

  private:
    Writer &w_;
};

// Passes on the values of the fields at the given positions (ascending) only, each row's
// fields coming in table order.
class ColumnSink final : public CellSink {
  public:
    ColumnSink(CellSink &to, std::size_t fields, const std::vector<int> &columns)
        : to_(to), wanted_(fields, false) {
        for (const int c : columns)
            wanted_[static_cast<std::size_t>(c)] = true;
    }
    void add_null() override {
        if (next())
            to_.add_null();
    }
    void add_integer(std::int64_t v) override {
        if (next())
            to_.add_integer(v);
    }
    void add_real(double v) override {
        if (next())
            to_.add_real(v);
    }
    void add_text(std::string_view v) override {
        if (next())
            to_.add_text(v);
    }
    void add_binary(std::string_view v) override {
        if (next())
            to_.add_binary(v);
    }

  private:
    bool next() {
        const bool pass = wanted_[at_];
        at_ = (at_ + 1) % wanted_.size();
        return pass;
    }
    CellSink &to_;
    std::vector<bool> wanted_;
    std::size_t at_ = 0;
};

// ---------------------------------------------------------------- reading

// Why the reader's answer stopped.
struct ReaderStopped {
    enum Why { Ended, Silent, Garbled } why;
};

// Buffered reads from the reader's socket; each wait for more bytes is bounded by the
// time limit.
class Reader {
  public:
    Reader(int fd, std::chrono::milliseconds limit) : fd_(fd), limit_(limit) {}

    // Makes n bytes available at data().
    void need(std::size_t n) {
        if (end_ - begin_ >= n)
            return;
        if (begin_ > 0) {
            std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        if (buf_.size() < n)
            buf_.resize(std::max(n, 2 * buf_.size()));
        while (end_ < n) {
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, wait_ms());
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready == 0)
                throw ReaderStopped{ReaderStopped::Silent};
            const ssize_t got = ::read(fd_, buf_.data() + end_, buf_.size() - end_);
            if (got < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (got <= 0)
                throw ReaderStopped{ReaderStopped::Ended};
            end_ += static_cast<std::size_t>(got);
        }
    }
    const char *data() const { return buf_.data() + begin_; }
    void take(std::size_t n) { begin_ += n; }

    char tag() {
        need(1);
        const char t = *data();
        take(1);
        return t;
    }
    template <class T> T number() {
        need(sizeof(T));
        T v;
        std::memcpy(&v, data(), sizeof v);
        take(sizeof v);
        return v;
    }
    // A length-prefixed string; longer than limit means the stream is garbled.
    std::string_view text(std::size_t limit) {
        const auto n = number<std::uint32_t>();
        if (n > limit)
            throw ReaderStopped{ReaderStopped::Garbled};
        need(n);
        const std::string_view s(data(), n);
        take(n);
        return s;
    }

  private:
    // The limit for poll(): none (-1) when it is beyond what poll can wait.
    int wait_ms() const {
        return limit_.count() >= std::numeric_limits<int>::max() ? -1
                                                                 : static_cast<int>(limit_.count());
    }

    int fd_;
    std::chrono::milliseconds limit_;
    std::vector<char> buf_ = std::vector<char>(256 * 1024);
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

// Counts in a catalogue beyond these mean the stream is garbled.
constexpr std::uint32_t kMaxCount = 1u << 20;
constexpr std::size_t kMaxName = 1u << 16;

Catalog read_catalog_answer(Reader &r) {
    const auto count = [&r] {
        const auto n = r.number<std::uint32_t>();
        if (n > kMaxCount)
            throw ReaderStopped{ReaderStopped::Garbled};
        return n;
    };
    Catalog c;
    for (std::uint32_t t = count(); t > 0; --t) {
        TableInfo table;
        table.name = r.text(kMaxName);
        for (std::uint32_t f = count(); f > 0; --f) {
            FieldInfo field;
            field.name = r.text(kMaxName);
            field.type = static_cast<FieldType>(r.number<std::int32_t>());
            field.size = r.number<std::int32_t>();
            table.fields.push_back(std::move(field));
        }
        for (std::uint32_t i = count(); i > 0; --i) {
            IndexInfo index;
            index.name = r.text(kMaxName);
            index.unique = r.number<std::uint8_t>() != 0;
            for (std::uint32_t k = count(); k > 0; --k) {
                const auto column = r.number<std::int32_t>();
                if (column < 0 || static_cast<std::size_t>(column) >= table.fields.size())
                    throw ReaderStopped{ReaderStopped::Garbled};
                index.columns.push_back(column);
                index.descending.push_back(r.number<std::uint8_t>() != 0);
            }
            table.indexes.push_back(std::move(index));
        }
        c.tables.push_back(std::move(table));
    }
    for (std::uint32_t q = count(); q > 0; --q) {
        QueryInfo query;
        query.name = r.text(kMaxName);
        query.runnable = r.number<std::uint8_t>() != 0;
        c.queries.push_back(std::move(query));
    }
    return c;
}

// ---------------------------------------------------------------- the program's side

// The signals a process raises by its own doing (a fault, an abort, a limit of its own);
// any other came from outside: someone's kill, the machine's shutdown, the memory killer.
bool own_fault(int sig) {
    switch (sig) {
    case SIGSEGV:
    case SIGBUS:
    case SIGILL:
    case SIGFPE:
    case SIGABRT:
    case SIGSYS:
    case SIGTRAP:
    case SIGXCPU:
    case SIGXFSZ:
        return true;
    default:
        return false;
    }
}

std::string signal_text(int sig) {
    const char *name = ::strsignal(sig);
    return "signal " + std::to_string(sig) + (name != nullptr ? std::string(", ") + name : "");
}

class ContainedAccess final : public Source {
  public:
    ContainedAccess(std::string path, std::int64_t file_size)
        : path_(std::move(path)), file_size_(file_size) {}
    ~ContainedAccess() override { stop(false); }
    ContainedAccess(const ContainedAccess &) = delete;
    ContainedAccess &operator=(const ContainedAccess &) = delete;

    Catalog read_catalog() override {
        return exchange(kCatalogRequest, {}, {}, [](Reader &r, char answer) {
            if (answer != kCatalogAnswer)
                throw ReaderStopped{ReaderStopped::Garbled};
            return read_catalog_answer(r);
        });
    }

    std::shared_ptr<Rows> read_table(const TableInfo &info) override {
        return receive(kTableRequest, info, info.fields, {});
    }

    std::shared_ptr<Rows> read_columns(const TableInfo &info,
                                       const std::vector<int> &columns) override {
        std::vector<FieldInfo> fields;
        for (const int c : columns)
            fields.push_back(info.fields[static_cast<std::size_t>(c)]);
        return columns.empty() ? nullptr : receive(kColumnsRequest, info, fields, columns);
    }

    std::shared_ptr<Rows> run_query(const QueryInfo &query) override {
        throw Error(path_ + ": the saved query \"" + query.name +
                    "\" cannot be run: Access saved queries cannot be run by this reader, "
                    "only tables can be opened");
    }

  private:
    [[noreturn]] void damaged(const std::string &what) const {
        throw Error(path_ + ": damaged or unreadable Access database: " + what);
    }

    // The rows of a table as the reader streams them: all its fields, or those at the
    // positions given.
    std::shared_ptr<Rows> receive(char request, const TableInfo &info,
                                  const std::vector<FieldInfo> &fields,
                                  const std::vector<int> &positions) {
        // No value can be longer than the file it was decoded from (three bytes of UTF-8
        // for each byte stored at most).
        const std::size_t longest = static_cast<std::size_t>(file_size_) * 3 + 64;
        const std::size_t columns = fields.size();
        return exchange(request, info.name, positions, [&](Reader &r, char tag) {
            auto rows = std::make_shared<Rows>(fields);
            std::size_t cells = 0;
            for (;; tag = r.tag(), ++cells) {
                switch (tag) {
                case kNull:
                    rows->add_null();
                    continue;
                case kInteger:
                    rows->add_integer(r.number<std::int64_t>());
                    continue;
                case kReal:
                    rows->add_real(r.number<double>());
                    continue;
                case kText:
                    rows->add_text(r.text(longest));
                    continue;
                case kBinary:
                    rows->add_binary(r.text(longest));
                    continue;
                case kEndOfRows:
                    break;
                case kErrorAnswer:
                    // The reader read part of the table and says why it stopped, in its own
                    // words; it waits for the next request.
                    throw Error(std::string(r.text(kMaxName)));
                default:
                    throw ReaderStopped{ReaderStopped::Garbled};
                }
                break;
            }
            if (columns == 0 ? cells != 0 : cells % columns != 0)
                throw ReaderStopped{ReaderStopped::Garbled};
            return rows;
        });
    }

    // Sends one request and reads its answer with read_answer(reader, first tag); an
    // error answer is thrown as it came. Anything else going wrong ends the reader and
    // is thrown as dao::Error; the next request starts a new one.
    template <class ReadAnswer>
    std::invoke_result_t<ReadAnswer, Reader &, char> exchange(char request, std::string_view name,
                                                              const std::vector<int> &columns,
                                                              ReadAnswer read_answer) {
        start();
        Writer w(fd_);
        w.tag(request);
        if (request == kTableRequest || request == kColumnsRequest)
            w.text(name);
        if (request == kColumnsRequest) {
            w.number(static_cast<std::uint32_t>(columns.size()));
            for (const int c : columns)
                w.number(static_cast<std::int32_t>(c));
        }
        const bool sent = w.flush();
        Reader r(fd_, std::chrono::milliseconds(g_time_limit_ms.load()));
        try {
            const char tag = r.tag();
            if (tag == kErrorAnswer)
                throw Error(std::string(r.text(kMaxName)));
            return read_answer(r, tag);
        } catch (const ReaderStopped &stopped) {
            failed(stopped.why == ReaderStopped::Ended && !sent ? ReaderStopped::Ended
                                                                : stopped.why);
        } catch (const Error &) {
            // An error part way through a table leaves the reader in step: it waits for
            // the next request.
            throw;
        }
    }

    void start() {
        if (pid_ > 0)
            return;
        const std::filesystem::path program = access_reader_program();
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
            damaged(std::string("its reader cannot be started: ") + std::strerror(errno));
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, sv[1], 0);
        posix_spawn_file_actions_adddup2(&actions, sv[1], 1);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        // The reader starts with every signal at its default and none blocked, whatever
        // the program does with them: a reader whose program has gone dies of SIGPIPE.
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &all);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        // The reader checks that this process is still its parent once it has asked to
        // end with it.
        const std::string size = std::to_string(file_size_);
        std::string parent = std::to_string(::getpid());
        std::string program_text = program.string();
        char *argv[] = {program_text.data(), const_cast<char *>(path_.c_str()),
                        const_cast<char *>(size.c_str()), parent.data(), nullptr};
        pid_t pid = -1;
        const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        ::close(sv[1]);
        if (rc != 0) {
            ::close(sv[0]);
            throw Error(path_ + ": the Access reader " + program.string() + " cannot be started (" +
                        std::strerror(rc) + "): the installation is incomplete");
        }
        pid_ = pid;
        fd_ = sv[0];
    }

    // Ends the reader: asked to (its requests end) or, when kill is set or it does not
    // go within a moment, by force. Returns its wait status, or -1 when unknown.
    int stop(bool kill) {
        if (pid_ <= 0)
            return -1;
        if (kill)
            ::kill(pid_, SIGKILL);
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        fd_ = -1;
        int status = -1;
        pid_t done = 0;
        for (int waited = 0; done == 0 && waited < 1000; waited += 5) {
            done = ::waitpid(pid_, &status, WNOHANG);
            if (done == 0)
                ::usleep(5000);
            else if (done < 0 && errno == EINTR)
                done = 0;
        }
        if (done == 0) {
            ::kill(pid_, SIGKILL);
            while ((done = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
            }
        }
        pid_ = -1;
        return done > 0 ? status : -1;
    }

    [[noreturn]] void failed(ReaderStopped::Why why) {
        const bool hung = why == ReaderStopped::Silent;
        const int status = stop(why != ReaderStopped::Ended);
        if (hung)
            damaged("its reader sent nothing for " +
                    std::to_string(g_time_limit_ms.load() / 1000.0).substr(0, 4) +
                    " s and was stopped");
        if (why == ReaderStopped::Garbled)
            damaged("its reader sent something that is not an answer and was stopped");
        if (status != -1 && WIFSIGNALED(status)) {
            const int sig = WTERMSIG(status);
            if (sig == SIGXCPU)
                damaged("its reader used up its processor time on it (" + signal_text(sig) + ")");
            if (!own_fault(sig))
                throw Error(path_ + ": its reader was ended from outside (" + signal_text(sig) +
                            ") before it had answered; the file may be sound");
            damaged("its reader failed on it (" + signal_text(sig) + ")");
        }
        if (status != -1 && WIFEXITED(status))
            damaged("its reader failed on it (exit status " + std::to_string(WEXITSTATUS(status)) +
                    ")");
        damaged("its reader stopped before it had answered");
    }

    std::string path_;
    std::int64_t file_size_;
    pid_t pid_ = -1;
    int fd_ = -1;
};

} // namespace

void set_access_reading(AccessReading how) {
    g_reading = how;
}

void set_access_reader_program(const std::filesystem::path &program) {
    std::lock_guard lock(g_program_mutex);
    g_program = program;
}

std::filesystem::path access_reader_program() {
    {
        std::lock_guard lock(g_program_mutex);
        if (!g_program.empty())
            return g_program;
    }
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (self.parent_path() / TAVI_READER_FROM_BIN).lexically_normal();
}

void set_access_reader_time_limit(std::chrono::milliseconds limit) {
    g_time_limit_ms = std::max<std::int64_t>(limit.count(), 1);
}

std::unique_ptr<Source> open_access_source(const std::string &path, std::int64_t file_size) {
    if (g_reading == AccessReading::InProcess)
        return open_access_file(path, file_size);
    return std::make_unique<ContainedAccess>(path, file_size);
}

// ---------------------------------------------------------------- the reader's side

int serve_access_file(const std::string &path, std::int64_t file_size, int in_fd, int out_fd) {
    std::unique_ptr<AccessFile> file;
    std::optional<Catalog> catalog;
    Writer w(out_fd);
    Reader r(in_fd, std::chrono::milliseconds::max()); // the program may pause for ever
    const auto error = [&w](const std::string &message) {
        w.tag(kErrorAnswer);
        w.text(message);
    };
    for (;;) {
        char request;
        std::string name;
        std::vector<int> columns;
        try {
            request = r.tag();
            if (request == kTableRequest || request == kColumnsRequest)
                name = r.text(kMaxName);
            if (request == kColumnsRequest) {
                const auto n = r.number<std::uint32_t>();
                if (n > kMaxCount)
                    return 2;
                for (std::uint32_t i = 0; i < n; ++i)
                    columns.push_back(r.number<std::int32_t>());
            }
        } catch (const ReaderStopped &) {
            return 0; // the program has no more requests
        }
        try {
            if (!file)
                file = open_access_file(path, file_size);
            if (!catalog)
                catalog = file->read_catalog();
            if (request == kCatalogRequest) {
                w.tag(kCatalogAnswer);
                write_catalog(w, *catalog);
            } else if (request == kTableRequest || request == kColumnsRequest) {
                const TableInfo *table = nullptr;
                for (const TableInfo &t : catalog->tables)
                    if (t.name == name)
                        table = &t;
                if (table == nullptr)
                    throw Error(path + ": table \"" + name + "\" not found");
                WireSink sink(w);
                if (request == kTableRequest) {
                    file->read_table_into(*table, sink);
                } else {
                    for (std::size_t i = 0; i < columns.size(); ++i)
                        if (columns[i] < 0 ||
                            static_cast<std::size_t>(columns[i]) >= table->fields.size() ||
                            (i > 0 && columns[i] <= columns[i - 1]))
                            return 2; // not a request of this program
                    ColumnSink some(sink, table->fields.size(), columns);
                    file->read_table_into(*table, some);
                }
                w.tag(kEndOfRows);
            } else {
                return 2; // not a request of this program
            }
        } catch (const Error &e) {
            error(e.what());
        } catch (const std::exception &e) {
            error(path + ": damaged or unreadable Access database: " + e.what());
        }
        if (!w.flush())
            return 0;
    }
}

} // namespace dao
