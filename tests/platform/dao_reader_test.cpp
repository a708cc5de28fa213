// Access files are decoded in a reader process: whatever becomes of it (a fault on a
// damaged file, a hang, nonsense, a missing program), the caller gets dao::Error naming
// the file and goes on; and what it reads is exactly what the same code reads in the
// program's own process.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <random>

#include "dao_test_support.h"
#include "platform/db/dao.h"
#include "platform/db/dao_reader.h"
#include "support/temp_folder.h"

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
// naming the file, and the next opening with a sound reader reads the file.
TEST_F(DaoReader, AnyFailureOfTheReaderIsAnErrorAndTheProgramGoesOn) {
    const fs::path file = copy_of("tavidata.mdb");
    struct Case {
        std::string name;
        fs::path program;
        std::string words;
    } cases[] = {
        {"segmentation fault", script("segv", "kill -SEGV $$"), "signal 11"},
        {"killed", script("kill", "kill -KILL $$"), "signal 9"},
        {"abort", script("abort", "kill -ABRT $$"), "signal 6"},
        {"exit", script("exit", "exit 1"), "exit status 1"},
        {"hang", script("hang", "exec sleep 30"), "sent nothing"},
        {"nonsense", script("nonsense", "printf 'Q'; exec sleep 30"), "not an answer"},
        {"absurd count", script("count", "printf 'K\\377\\377\\377\\377'; exec sleep 30"),
         "not an answer"},
        {"missing", temp_.path() / "no-such-reader", "cannot be started"},
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
    }
    dao::set_access_reader_program({});
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

TEST(DaoReaderProgram, IsFoundBesideTheRunningProgramsFolder) {
    const fs::path reader = dao::access_reader_program();
    EXPECT_EQ(reader.filename(), "tavi-mdb-reader");
    EXPECT_EQ(reader.parent_path().filename(), "tavi");
    EXPECT_TRUE(fs::is_regular_file(reader)) << reader;
}

} // namespace
