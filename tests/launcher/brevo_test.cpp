// brevo run for real from a temporary "disc", with its own settings folder and a stand-in
// for the desktop's opener that notes what it was asked to open, and from where.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base/files.h"
#include "platform/base/settings.h"
#include "support/temp_folder.h"

using testing_support::TempFolder;

namespace {

// Xvfb on a display of its own choosing, for as long as the object lives.
struct XServer {
    pid_t pid = -1;
    std::string display;
    bool start() {
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            ::dup2(fds[1], 1);
            ::execlp("Xvfb", "Xvfb", "-displayfd", "1", "-nolisten", "tcp", nullptr);
            ::_exit(127);
        }
        ::close(fds[1]);
        char buf[32] = {};
        const ssize_t n = pid > 0 ? ::read(fds[0], buf, sizeof buf - 1) : -1;
        ::close(fds[0]);
        if (n <= 0)
            return false;
        display = ":" + std::string(buf, static_cast<std::size_t>(n));
        while (!display.empty() && display.back() == '\n')
            display.pop_back();
        return true;
    }
    ~XServer() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class Brevo : public ::testing::Test {
  protected:
    Brevo() {
        fs::create_directories(root_.path() / "bin");
        fs::create_directories(root_.path() / "home");
        fs::create_directories(disc_.path() / "setup" / "deeper");
        use_opener("");
    }

    // The opener notes its folder and arguments, then does whatever extra says.
    void use_opener(const std::string &extra) {
        const fs::path opener = root_.path() / "bin" / "xdg-open";
        std::ofstream(opener) << "#!/bin/sh\n"
                              << "{ pwd -P; printf '%s\\n' \"$@\"; } > \"$OPENER_LOG.tmp\"\n"
                              << "mv \"$OPENER_LOG.tmp\" \"$OPENER_LOG\"\n"
                              << extra << "\n";
        fs::permissions(opener, fs::perms::owner_all);
    }

    fs::path config() const { return root_.path() / "config"; }
    fs::path log() const { return root_.path() / "opener.log"; }

    // Starts brevo in folder with a clean environment (and the extra entries given), its
    // standard output going to said(); returns its process.
    pid_t start(const fs::path &folder, bool with_xdg_config = true,
                std::vector<std::string> env = {}) {
        env.push_back("PATH=" + (root_.path() / "bin").string() + ":/usr/bin:/bin");
        env.push_back("HOME=" + (root_.path() / "home").string());
        env.push_back("OPENER_LOG=" + log().string());
        if (with_xdg_config)
            env.push_back("XDG_CONFIG_HOME=" + config().string());
        std::vector<char *> envp;
        for (auto &e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string program = BREVO_PROGRAM;
        char *argv[] = {program.data(), nullptr};
        const std::string out = (root_.path() / "stdout").string();

        const pid_t pid = ::fork();
        if (pid == 0) {
            if (std::freopen(out.c_str(), "w", stdout) != nullptr && ::chdir(folder.c_str()) == 0)
                ::execve(argv[0], argv, envp.data());
            ::_exit(127);
        }
        return pid;
    }

    // Runs brevo to its end; returns its exit status.
    int run(const fs::path &folder, bool with_xdg_config = true) {
        int status = 0;
        ::waitpid(start(folder, with_xdg_config), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // What brevo wrote on its standard output.
    std::string said() const {
        std::ifstream in(root_.path() / "stdout");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // What the opener noted: its folder, then one argument a line. It runs on its own
    // after brevo has gone, so it is waited for.
    std::vector<std::string> opener_saw() {
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (!fs::exists(log()) && Clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream in(log());
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        fs::remove(log());
        return lines;
    }

    std::string stored_folder(const fs::path &config_home) {
        const char *old = std::getenv("XDG_CONFIG_HOME");
        const std::string kept = old ? old : "";
        ::setenv("XDG_CONFIG_HOME", config_home.c_str(), 1);
        const std::string value = settings::get("tavi", "startup", "cd drive", "<none>");
        if (old)
            ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        return value;
    }

    // The disc's top folder, where its data/ folder is expected.
    std::string expected_folder() const {
        std::string top = files::mount_point(disc_.path()).string();
        if (top.back() != '/')
            top += '/';
        return top + "data/";
    }

    TempFolder root_; // opener, settings and home
    TempFolder disc_; // the folder brevo is started from
};

} // namespace

TEST_F(Brevo, RecordsTheDiscsDataFolderAndOpensTheInstallerBesideIt) {
    ASSERT_EQ(run(disc_.path()), 0);
    EXPECT_EQ(stored_folder(config()), expected_folder());
    EXPECT_TRUE(fs::is_regular_file(config() / "TAVI" / "TAVI.ini"));

    const auto saw = opener_saw();
    ASSERT_EQ(saw.size(), 2u);
    EXPECT_EQ(saw[0], fs::canonical(disc_.path()).string());
    EXPECT_EQ(saw[1], "install.msi");
}

TEST_F(Brevo, StartedDeeperOnTheDiscItStillNamesTheDiscsDataFolder) {
    const fs::path deeper = disc_.path() / "setup" / "deeper";
    ASSERT_EQ(run(deeper), 0);
    EXPECT_EQ(stored_folder(config()), expected_folder());
    // The installer is looked for where brevo was started.
    const auto saw = opener_saw();
    ASSERT_FALSE(saw.empty());
    EXPECT_EQ(saw[0], fs::canonical(deeper).string());
}

TEST_F(Brevo, EachRunReplacesTheEarlierValue) {
    ::setenv("XDG_CONFIG_HOME", config().c_str(), 1);
    ASSERT_TRUE(settings::put("Tavi", "STARTUP", "Cd Drive", "/media/old/data/"));
    ::unsetenv("XDG_CONFIG_HOME");

    ASSERT_EQ(run(disc_.path()), 0);
    EXPECT_EQ(stored_folder(config()), expected_folder());
    opener_saw();
    ASSERT_EQ(run(disc_.path() / "setup"), 0);
    EXPECT_EQ(stored_folder(config()), expected_folder());
    opener_saw();

    // One value under one name, whatever case it was written in before.
    std::ifstream in(config() / "TAVI" / "TAVI.ini");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().find("old"), std::string::npos) << text.str();
}

TEST_F(Brevo, WithoutXdgConfigHomeTheValueGoesUnderHome) {
    ASSERT_EQ(run(disc_.path(), false), 0);
    EXPECT_EQ(stored_folder(root_.path() / "home" / ".config"), expected_folder());
    EXPECT_EQ(stored_folder(config()), "<none>");
    opener_saw();
}

TEST_F(Brevo, EndsAtOnceWithoutWaitingForTheInstallerOrCaringIfItFails) {
    // The installer holds on until the test lets it go (or half a minute has passed),
    // then fails: brevo has to have ended while it was still holding on.
    const fs::path release = root_.path() / "release", done = root_.path() / "done";
    use_opener("i=0; while [ ! -e '" + release.string() +
               "' ] && [ $i -lt 600 ]; do sleep 0.05; "
               "i=$((i+1)); done; : > '" +
               done.string() + "'; exit 1");
    ASSERT_EQ(run(disc_.path()), 0);
    EXPECT_FALSE(fs::exists(done)) << "brevo waited for the installer";
    EXPECT_EQ(stored_folder(config()), expected_folder());
    EXPECT_FALSE(opener_saw().empty());
    std::ofstream(release).put('\n');
    for (const auto until = Clock::now() + std::chrono::seconds(30);
         !fs::exists(done) && Clock::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    // No opener at all: the value is still written and brevo still ends normally.
    fs::remove(root_.path() / "bin" / "xdg-open");
    ::setenv("XDG_CONFIG_HOME", config().c_str(), 1);
    ASSERT_TRUE(settings::put("TAVI", "Startup", "CD Drive", "/elsewhere/"));
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(run(disc_.path()), 0);
    EXPECT_EQ(stored_folder(config()), expected_folder());
}

TEST_F(Brevo, SaysInOneLineWhichFolderItStoredAndTellsTheDesktopWithoutWaiting) {
    ASSERT_EQ(run(disc_.path()), 0);
    const std::string line = said();
    EXPECT_EQ(line, "brevo: TAVI's data folder is now " + expected_folder() +
                        " (setting \"CD Drive\" in " + (config() / "TAVI" / "TAVI.ini").string() +
                        ")\n");
    opener_saw();

    // On a desktop the same words go to the notifier, which is not waited for: this one
    // holds on for half a minute, and brevo has to end well before.
    const fs::path noted = root_.path() / "noted";
    const fs::path notifier = root_.path() / "bin" / "notify-send";
    std::ofstream(notifier) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << noted.string()
                            << ".tmp'\nmv '" << noted.string() << ".tmp' '" << noted.string()
                            << "'\nsleep 30\n";
    fs::permissions(notifier, fs::perms::owner_all);
    // A real X display (a window system that would show a box) and a Wayland one that
    // cannot be reached.
    XServer x;
    std::vector<std::string> desktops{"WAYLAND_DISPLAY=wayland-9"};
    if (x.start())
        desktops.insert(desktops.begin(), "DISPLAY=" + x.display);
    else
        std::fprintf(stderr, "brevo test: no Xvfb, tried without a real display\n");
    for (const std::string &desktop : desktops) {
        fs::remove(noted);
        const auto started = Clock::now();
        const pid_t shown = start(disc_.path(), true, {desktop});
        int status = -1;
        for (const auto until = started + std::chrono::seconds(20);
             ::waitpid(shown, &status, WNOHANG) == 0 && Clock::now() < until;)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_LT(Clock::now() - started, std::chrono::seconds(10)) << desktop;
        if (::waitpid(shown, &status, WNOHANG) == 0) {
            ADD_FAILURE() << "brevo waited with " << desktop;
            ::kill(shown, SIGTERM);
            ::waitpid(shown, &status, 0);
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << desktop;
        EXPECT_EQ(said(), line) << desktop;
        for (const auto until = Clock::now() + std::chrono::seconds(10);
             !fs::exists(noted) && Clock::now() < until;)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream in(noted);
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_NE(text.str().find(line.substr(7, line.size() - 8)), std::string::npos)
            << desktop << ": " << text.str();
        opener_saw();
    }
}
