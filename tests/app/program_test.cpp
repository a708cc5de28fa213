// The program itself, build/bin/tavi, started as a user starts it: without its project
// it ends with a failure, and on a screen of its own it shows the map, keeps its
// settings when told to terminate, and shows the same map again at the next start.
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <optional>

#include "view/navigation.h"
#include "windows_test_support.h"

namespace {

using namespace windows_test;

const QString kTavi = QString::fromStdString((kBuild / "bin" / "tavi").string());

// A user's environment: their own home and settings, the data folder in the store.
QProcessEnvironment user_environment(const fs::path &home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(home.string()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString((home / ".config").string()));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(home.string()));
    return env;
}

class Program : public ::testing::Test {
  protected:
    Program() : config_env_("XDG_CONFIG_HOME", (home_.path() / ".config").string()) {
        std::error_code ec;
        fs::copy(kSampleData, data_.path(), fs::copy_options::recursive, ec);
        EXPECT_FALSE(ec);
        settings::put(state::kSettingsApplication, "Startup", "CD Drive", data_.folder());
    }
    static std::string stored(const char *section, const char *key) {
        return settings::get(state::kProgramTitle, section, key, "<none>");
    }

    testing_support::TempFolder home_;
    testing_support::TempFolder data_;
    ScopedEnv config_env_;
};

TEST_F(Program, WithoutItsProjectItSaysWhyEndsWithAFailureAndKeepsTheSettings) {
    settings::put(state::kProgramTitle, "Startup", "Origin_X", "49500000");
    fs::remove(data_.path() / "tavi.zpj");
    QProcess tavi;
    QProcessEnvironment env = user_environment(home_.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    tavi.setProcessEnvironment(env);
    tavi.start(kTavi, {});
    // The reason goes to the error stream, then into a message that waits for its OK.
    std::string err;
    QElapsedTimer t;
    t.start();
    while (err.find("no project file") == std::string::npos && t.elapsed() < 60000 &&
           tavi.state() != QProcess::NotRunning) {
        tavi.waitForReadyRead(500);
        err += tavi.readAllStandardError().toStdString();
    }
    EXPECT_NE(err.find("no project file " + data_.folder() + "tavi.zpj"), std::string::npos) << err;
    EXPECT_EQ(tavi.state(), QProcess::Running) << "the message should wait for the user";
    // A request to terminate ends it there and then, the message unanswered.
    tavi.terminate();
    ASSERT_TRUE(tavi.waitForFinished(30000));
    EXPECT_EQ(tavi.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tavi.exitCode(), 1);
    // The run showed nothing: the stored view is not replaced by the maximum view.
    EXPECT_EQ(stored("Startup", "Origin_X"), "49500000");
    EXPECT_EQ(stored("Startup", "Grid_spacing"), "<none>");
}

// An X display of its own for the program, and screenshots of it.
class Screen {
  public:
    bool start() {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty() ||
            QStandardPaths::findExecutable("import").isEmpty())
            return false;
        // The server picks a free display and writes its number when it is ready.
        xvfb_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        if (!xvfb_.waitForStarted(10000))
            return false;
        QElapsedTimer t;
        t.start();
        while (!xvfb_.canReadLine() && t.elapsed() < 20000)
            xvfb_.waitForReadyRead(500);
        const QString n = QString::fromLatin1(xvfb_.readLine()).trimmed();
        if (n.isEmpty())
            return false;
        display_ = ":" + n;
        return true;
    }
    ~Screen() {
        if (wm_.state() != QProcess::NotRunning) {
            wm_.terminate();
            wm_.waitForFinished(5000);
        }
        if (xvfb_.state() != QProcess::NotRunning) {
            xvfb_.terminate();
            xvfb_.waitForFinished(5000);
        }
    }
    const QString &display() const { return display_; }

    // A window manager on the display, which frames the windows and places them by
    // their frames as a desktop does.
    bool start_window_manager() {
        if (QStandardPaths::findExecutable("openbox").isEmpty() ||
            QStandardPaths::findExecutable("xwininfo").isEmpty() ||
            QStandardPaths::findExecutable("xdotool").isEmpty())
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display_);
        wm_.setProcessEnvironment(env);
        wm_.start("openbox", {});
        return wm_.waitForStarted(10000);
    }

    // The top-left corner of the frame of the window with that title, once the window
    // manager has framed it and it holds still; nothing when it does not appear.
    std::optional<QPoint> frame_corner(const QString &title) {
        QPoint last(-100000, -100000);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 60000) {
            QThread::msleep(400);
            QProcess search;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("DISPLAY", display_);
            search.setProcessEnvironment(env);
            search.start("xdotool", {"search", "--name", "^" + title + "$"});
            search.waitForFinished(10000);
            const QString id =
                QString::fromLatin1(search.readAllStandardOutput()).section('\n', 0, 0);
            if (id.isEmpty())
                continue;
            QProcess info;
            info.start("xwininfo", {"-display", display_, "-id", id});
            info.waitForFinished(10000);
            const QString text = QString::fromLatin1(info.readAllStandardOutput());
            const auto field = [&text](const char *name) {
                const QRegularExpression re(QString(name) + ":\\s*(-?\\d+)");
                return re.match(text).captured(1).toInt();
            };
            // The window's place less its place inside the frame: the frame's.
            const QPoint relative(field("Relative upper-left X"), field("Relative upper-left Y"));
            const QPoint corner =
                QPoint(field("Absolute upper-left X"), field("Absolute upper-left Y")) - relative;
            if (!relative.isNull() && corner == last)
                return corner;
            last = corner;
        }
        return std::nullopt;
    }

    QImage shot(const fs::path &file) {
        QProcess import;
        import.start("import", {"-display", display_, "-window", "root",
                                QString::fromStdString(file.string())});
        import.waitForFinished(20000);
        return QImage(QString::fromStdString(file.string()));
    }

    // The screen once the map is up and drawing has ended: coloured, and unchanged over
    // two looks. An empty image when that does not happen within the time.
    QImage settled_map(const fs::path &folder, const std::string &name) {
        QImage last;
        QElapsedTimer t;
        t.start();
        int look = 0;
        while (t.elapsed() < 90000) {
            QThread::msleep(700);
            const QImage now = shot(folder / (name + "-" + std::to_string(look++) + ".png"));
            if (!now.isNull() && coloured_pixels(now) > 20000 && now == last)
                return now;
            last = now;
        }
        return {};
    }

  private:
    QProcess xvfb_;
    QProcess wm_;
    QString display_;
};

long differing_pixels(const QImage &a, const QImage &b) {
    if (a.size() != b.size())
        return a.width() * a.height();
    long n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                ++n;
    return n;
}

TEST_F(Program, ShowsTheMapKeepsItsSettingsAndShowsTheSameMapAgain) {
    Screen screen;
    if (!screen.start())
        GTEST_SKIP() << "needs Xvfb and ImageMagick's import";
    QProcessEnvironment env = user_environment(home_.path());
    env.remove("QT_QPA_PLATFORM");
    env.insert("DISPLAY", screen.display());
    // The screenshots stay in the build for a look after the run.
    const fs::path shots = kBuild / "tests" / "tavi-screens";
    fs::remove_all(shots);
    fs::create_directories(shots);

    auto run = [&](const std::string &name) -> QImage {
        QProcess tavi;
        tavi.setProcessEnvironment(env);
        tavi.start(kTavi, {});
        EXPECT_TRUE(tavi.waitForStarted(10000));
        const QImage map = screen.settled_map(shots, name);
        // A request to terminate closes the frame as the user would.
        tavi.terminate();
        EXPECT_TRUE(tavi.waitForFinished(30000));
        EXPECT_EQ(tavi.exitStatus(), QProcess::NormalExit)
            << tavi.readAllStandardError().toStdString();
        EXPECT_EQ(tavi.exitCode(), 0);
        return map;
    };

    ASSERT_EQ(stored("Colours", " 255"), "<none>");
    const QImage first = run("first");
    ASSERT_FALSE(first.isNull()) << "no map appeared; see " << shots;
    // Many pixels in the map's own colours, not an empty window.
    EXPECT_GT(coloured_pixels(first), 25000);

    EXPECT_EQ(stored("Startup", "WorldHeight"), std::to_string(view::kMaxViewHeight));
    EXPECT_EQ(stored("Startup", "Origin_X"), std::to_string(view::kMaxViewOriginX));
    EXPECT_EQ(stored("Startup", "Origin_Y"), std::to_string(view::kMaxViewOriginY));
    EXPECT_NE(stored("Colours", " 255"), "<none>");

    const QImage second = run("second");
    ASSERT_FALSE(second.isNull()) << "no map appeared the second time; see " << shots;
    EXPECT_LT(differing_pixels(first, second), first.width() * first.height() / 1000)
        << "the second start shows another map; see " << shots;
    EXPECT_EQ(stored("Startup", "WorldHeight"), std::to_string(view::kMaxViewHeight));
}

TEST_F(Program, UnderAWindowManagerThePanelOpensExactlyWhereItWasLeftRunAfterRun) {
    Screen screen;
    if (!screen.start() || !screen.start_window_manager())
        GTEST_SKIP() << "needs Xvfb, openbox, xdotool and xwininfo";
    QProcessEnvironment env = user_environment(home_.path());
    env.remove("QT_QPA_PLATFORM");
    env.insert("DISPLAY", screen.display());
    // Where the user left the panel's frame.
    settings::put(state::kProgramTitle, "Control Panel", "Left", "46");
    settings::put(state::kProgramTitle, "Control Panel", "Top", "30");
    for (int run = 1; run <= 4; ++run) {
        SCOPED_TRACE(run);
        QProcess tavi;
        tavi.setProcessEnvironment(env);
        tavi.start(kTavi, {});
        ASSERT_TRUE(tavi.waitForStarted(10000));
        const std::optional<QPoint> corner = screen.frame_corner("TAVI Control Panel");
        tavi.terminate();
        EXPECT_TRUE(tavi.waitForFinished(30000));
        ASSERT_TRUE(corner) << "no control panel appeared";
        EXPECT_EQ(*corner, QPoint(46, 30));
        EXPECT_EQ(stored("Control Panel", "Left"), "46");
        EXPECT_EQ(stored("Control Panel", "Top"), "30");
    }
}

} // namespace
