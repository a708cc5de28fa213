// Access files are decoded in a reader process: whatever becomes of it (a fault on a
// damaged file, a hang, nonsense, a missing program), the caller gets dao::Error naming
// the file and goes on; and what it reads is exactly what the same code reads in the
// program's own process.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "dao_test_support.h"
#include "platform/db/dao.h"
#include "platform/db/dao_reader.h"
#include "support/temp_folder.h"

#if defined(__SANITIZE_ADDRESS__)
#define TAVI_TEST_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVI_TEST_ADDRESS_SANITIZER 1
#endif
#endif

extern char **environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Every value of every table, in table order and in each index's order.
std::vector<std::string> everything(const fs::path &file) {
    std::vector<std::string> out;
    auto db = dao::Database::open(file);
    for (const dao::TableInfo &t : db.tables()) {
        out.push_back("table " + t.name);
        auto rs = db.open_table(t.name);
        for (const dao::IndexInfo &index : t.indexes) {
            rs.select_index(index.name);
            if (!rs.eof())
                out.push_back(index.name + " first " + rs.values().front().to_string());
        }
        rs.select_index("");
        for (; !rs.eof(); rs.move_next())
            for (const dao::Value &v : rs.values())
                out.push_back(std::to_string(static_cast<int>(v.kind())) + ":" + v.to_string());
    }
    return out;
}

// Reads everything; returns the message of the dao::Error it gave, or "" when it read.
// Any other exception, or a crash, fails the test.
std::string error_of(const fs::path &file) {
    try {
        everything(file);
        return "";
    } catch (const dao::Error &e) {
        return e.what();
    }
}

class DaoReader : public ::testing::Test {
  protected:
    void SetUp() override { dao::clear_cache(); }
    void TearDown() override {
        dao::set_access_reader_program({});
        dao::set_access_reader_time_limit(dao::kDefaultReaderTimeLimit);
        dao::set_access_reading(dao::AccessReading::ReaderProcess);
        dao::clear_cache();
    }

    fs::path copy_of(const std::string &name) {
        const fs::path p = temp_.path() / name;
        fs::copy_file(dao_test::test_data(name), p);
        return p;
    }
    fs::path script(const std::string &name, const std::string &body) {
        const fs::path p = temp_.write(name, "#!/bin/sh\n" + body + "\n");
        fs::permissions(p, fs::perms::owner_all);
        return p;
    }

    testing_support::TempFolder temp_;
};

TEST_F(DaoReader, ReadsWhatTheSameCodeReadsInProcess) {
    for (const std::string name : {"tavidata.mdb", "tavidata.accdb"}) {
        const fs::path file = copy_of(name);
        const auto contained = everything(file);
        dao::clear_cache();
        dao::set_access_reading(dao::AccessReading::InProcess);
        const auto in_process = everything(file);
        dao::set_access_reading(dao::AccessReading::ReaderProcess);
        EXPECT_GT(contained.size(), 400u) << name;
        EXPECT_EQ(contained, in_process) << name;
    }
}

// A reader that dies, hangs, talks nonsense or cannot be started: each time an error
// naming the file, and the next opening with a sound reader reads the file. The file is
// called damaged only when the reader failed by its own doing (a fault, an abort, its own
// time limit), not when a signal from outside ended it.
TEST_F(DaoReader, AnyFailureOfTheReaderIsAnErrorAndTheProgramGoesOn) {
    const fs::path file = copy_of("tavidata.mdb");
    struct Case {
        std::string name;
        fs::path program;
        std::string words;
        bool blames_file;
    } cases[] = {
        {"segmentation fault", script("segv", "kill -SEGV $$"), "signal 11", true},
        {"killed", script("kill", "kill -KILL $$"), "signal 9", false},
        {"terminated", script("term", "kill -TERM $$"), "signal 15", false},
        {"abort", script("abort", "kill -ABRT $$"), "signal 6", true},
        {"its own time limit", script("cpu", "kill -XCPU $$"), "processor time", true},
        {"exit", script("exit", "exit 1"), "exit status 1", true},
        {"hang", script("hang", "exec sleep 30"), "sent nothing", true},
        {"nonsense", script("nonsense", "printf 'Q'; exec sleep 30"), "not an answer", true},
        {"absurd count", script("count", "printf 'K\\377\\377\\377\\377'; exec sleep 30"),
         "not an answer", true},
        {"missing", temp_.path() / "no-such-reader", "cannot be started", false},
    };
    dao::set_access_reader_time_limit(300ms);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        dao::clear_cache();
        dao::set_access_reader_program(c.program);
        const auto start = std::chrono::steady_clock::now();
        const std::string message = error_of(file);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_EQ(message.rfind(file.string() + ": ", 0), 0u) << message;
        EXPECT_NE(message.find(c.words), std::string::npos) << message;
        EXPECT_EQ(message.find("damaged") != std::string::npos, c.blames_file) << message;
    }
    dao::set_access_reader_program({});
    // The real reader, at its own pace: under the sanitizers it starts slower than 0.3 s.
    dao::set_access_reader_time_limit(dao::kDefaultReaderTimeLimit);
    dao::clear_cache();
    EXPECT_EQ(error_of(file), "");
}

// Damaged copies of both Access files, through the reader: cut short at page bounds and
// inside pages, bytes flipped, pages of random bytes behind a sound header. Each reads
// or gives an error naming the file; a file cut short always gives one.
TEST_F(DaoReader, DamagedAccessFilesGiveErrorsNamingTheFile) {
    for (const std::string name : {"tavidata.mdb", "tavidata.accdb"}) {
        std::string bytes;
        {
            std::ifstream in(dao_test::test_data(name), std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        const std::size_t page = 4096; // both are Jet 4 or later
        std::mt19937 rng(11);
        struct Damage {
            std::string label;
            std::string content;
            bool must_fail;
        };
        std::vector<Damage> damages;
        for (const std::size_t pages : {1, 2, 5, 9, 17, 33})
            damages.push_back({"cut after page " + std::to_string(pages),
                               bytes.substr(0, std::min(bytes.size(), pages * page)), true});
        for (const std::size_t at : {page + 7, bytes.size() / 3, bytes.size() - 1})
            damages.push_back({"cut at byte " + std::to_string(at), bytes.substr(0, at), true});
        for (int k = 0; k < 24; ++k) {
            std::string flipped = bytes;
            for (int n = 0; n < 1 + k % 8; ++n)
                flipped[page + rng() % (bytes.size() - page)] ^=
                    static_cast<char>(1 << (rng() % 8));
            damages.push_back({"flipped " + std::to_string(k), flipped, false});
        }
        for (int k = 0; k < 4; ++k) {
            std::string noisy = bytes;
            const std::size_t from = page * (1 + rng() % (bytes.size() / page - 1));
            for (std::size_t i = from; i < std::min(bytes.size(), from + page); ++i)
                noisy[i] = static_cast<char>(rng());
            damages.push_back({"random page " + std::to_string(k), noisy, false});
        }
        for (std::size_t i = 0; i < damages.size(); ++i) {
            const Damage &d = damages[i];
            SCOPED_TRACE(name + ": " + d.label);
            const fs::path p = temp_.write(std::to_string(i) + "-" + name, d.content);
            const std::string message = error_of(p);
            if (d.must_fail) {
                EXPECT_NE(message, "");
            }
            if (!message.empty()) {
                EXPECT_EQ(message.rfind(p.string() + ": ", 0), 0u) << message;
            }
        }
    }
}

// A reader that can read only part of a table says so part way through its answer; the
// program passes on the reader's own words.
TEST_F(DaoReader, TheReadersOwnErrorPartWayThroughATableIsPassedOn) {
    const fs::path file = copy_of("tavidata.mdb");
    const std::string why = file.string() + ": table \"TAVIsitelist\" holds 40 rows but only 2 "
                                            "can be read";
    std::string answers;
    const auto number = [&answers](auto v) {
        answers.append(reinterpret_cast<const char *>(&v), sizeof v);
    };
    const auto text = [&](const std::string &s) {
        number(static_cast<std::uint32_t>(s.size()));
        answers += s;
    };
    // The catalogue: one table of one Long field, no index, no query.
    answers += 'K';
    number(std::uint32_t{1});
    text("TAVIsitelist");
    number(std::uint32_t{1});
    text("RENO");
    number(std::int32_t{4});
    number(std::int32_t{4});
    number(std::uint32_t{0});
    number(std::uint32_t{0});
    const std::string catalogue = temp_.write("catalogue", answers);
    // Two rows of the table, then the reader's error.
    answers.clear();
    for (const std::int64_t reno : {1, 2}) {
        answers += 'i';
        number(reno);
    }
    answers += 'E';
    text(why);
    const std::string rows = temp_.write("rows", answers);
    // Each answer after its request ('C'; 'T', the name's length and the name).
    dao::set_access_reader_program(script("partial", "head -c 1 >/dev/null; cat '" + catalogue +
                                                         "'; head -c 17 >/dev/null; cat '" + rows +
                                                         "'; exec sleep 30"));
    EXPECT_EQ(error_of(file), why);
}

// The reader ends with the program that started it, however that ends (here SIGKILL),
// and refuses to start for a program that has already gone; meanwhile it keeps limits of
// its own on processor time and, well under the machine's, on memory.
TEST_F(DaoReader, TheReaderEndsWithItsProgramAndKeepsLimitsOfItsOwn) {
    const fs::path file = copy_of("tavidata.mdb");
    const std::string reader = dao::access_reader_program().string();
    const std::string size = std::to_string(fs::file_size(file));
    int sv[2], told[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    ASSERT_EQ(::pipe2(told, O_CLOEXEC), 0);
    // The program: starts the reader on its end of the socket, says the reader's pid, waits.
    const pid_t program = ::fork();
    if (program == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlives a test that failed part way
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, sv[1], 0);
        posix_spawn_file_actions_adddup2(&actions, sv[1], 1);
        std::string self = std::to_string(::getpid());
        char *argv[] = {const_cast<char *>(reader.c_str()), const_cast<char *>(file.c_str()),
                        const_cast<char *>(size.c_str()), self.data(), nullptr};
        pid_t pid = -1;
        if (::posix_spawn(&pid, reader.c_str(), &actions, nullptr, argv, environ) != 0)
            ::_exit(1);
        (void)!::write(told[1], &pid, sizeof pid);
        for (;;)
            ::pause();
    }
    ASSERT_GT(program, 0);
    ::close(sv[1]);
    ::close(told[1]);
    pid_t pid = -1;
    ASSERT_EQ(::read(told[0], &pid, sizeof pid), static_cast<ssize_t>(sizeof pid));
    ::close(told[0]);

    // It serves: a catalogue asked for is answered.
    ASSERT_EQ(::write(sv[0], "C", 1), 1);
    char answer = 0;
    pollfd p{sv[0], POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    ASSERT_EQ(::read(sv[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'K');

    std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
    const std::string text{std::istreambuf_iterator<char>(limits), {}};
    const auto soft = [&text](const std::string &name) -> std::string {
        const auto at = text.find(name);
        if (at == std::string::npos)
            return "";
        std::istringstream in(text.substr(at + name.size()));
        std::string value;
        in >> value;
        return value;
    };
    EXPECT_EQ(soft("Max cpu time"), "60") << text;
#ifndef TAVI_TEST_ADDRESS_SANITIZER
    const std::string memory = soft("Max address space");
    ASSERT_FALSE(memory.empty() || memory == "unlimited") << text;
    EXPECT_LE(std::stoull(memory), 1ull << 30) << text;
#endif

    // The program is killed, the socket stays open (this test holds the other end): the
    // reader goes all the same.
    ::kill(program, SIGKILL);
    ::waitpid(program, nullptr, 0);
    const auto gone = [](pid_t pid) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto state = line.rfind(") ");
        return line.empty() || (state != std::string::npos && line[state + 2] == 'Z');
    };
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!gone(pid) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(gone(pid));
    ::close(sv[0]);

    // Started for a program that is not its parent (which has gone, and left it to
    // another): it ends at once.
    std::string other = std::to_string(::getpid() + 1);
    char *argv[] = {const_cast<char *>(reader.c_str()), const_cast<char *>(file.c_str()),
                    const_cast<char *>(size.c_str()), other.data(), nullptr};
    pid_t orphan = -1;
    ASSERT_EQ(::posix_spawn(&orphan, reader.c_str(), nullptr, nullptr, argv, environ), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(orphan, &status, 0), orphan);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
}

TEST(DaoReaderProgram, IsFoundBesideTheRunningProgramsFolder) {
    const fs::path reader = dao::access_reader_program();
    EXPECT_EQ(reader.filename(), "tavi-mdb-reader");
    EXPECT_EQ(reader.parent_path().filename(), "tavi");
    EXPECT_TRUE(fs::is_regular_file(reader)) << reader;
}

} // namespace
