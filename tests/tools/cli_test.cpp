// Every program answers --help and --version in the usual form, and a wrong argument
// with one line and a failure, whatever the program.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

const std::filesystem::path kBin = std::filesystem::path(TAVI_BUILD_DIR) / "bin";

struct Answer {
    int code = -1;
    std::string out, err;
};

Answer run(const std::string &program, const QStringList &args) {
    QProcess p;
    // No display: the answers must not need one.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString((kBin / program).string()), args);
    p.waitForFinished(60000);
    return Answer{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                  p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

} // namespace

TEST(CommandLine, EveryProgramAnswersHelpVersionAndAWrongArgument) {
#ifdef TAVI_WITH_VIEWER
    const auto programs = {"tavi", "brevo", "tavi-render", "tavi-convert", "tavi-search"};
#else
    const auto programs = {"brevo", "tavi-render", "tavi-convert", "tavi-search"};
#endif
    for (const char *program : programs) {
        SCOPED_TRACE(program);
        const Answer help = run(program, {"--help"});
        EXPECT_EQ(help.code, 0) << help.err;
        EXPECT_EQ(help.out.rfind(std::string("Usage: ") + program + " ", 0), 0u) << help.out;
        EXPECT_NE(help.out.find("--version"), std::string::npos);

        const Answer version = run(program, {"--version"});
        EXPECT_EQ(version.code, 0) << version.err;
        EXPECT_EQ(version.out, std::string(program) + " " TAVI_VERSION "\n");

        const Answer wrong = run(program, {"--no-such-option"});
        EXPECT_EQ(wrong.code, 2);
        EXPECT_EQ(wrong.err.rfind(std::string(program) + ": ", 0), 0u) << wrong.err;
        EXPECT_EQ(std::count(wrong.err.begin(), wrong.err.end(), '\n'), 1) << wrong.err;
    }
}
