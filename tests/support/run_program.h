// Running one of the built programs from a test: its exit code and what it printed.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <string>

namespace testing_support {

struct RunResult {
    int code = -1; // -1 when the program crashed or did not finish
    std::string out, err;
};

// Where and how a program runs: its working folder (the test's own when empty), variables
// added to the environment, and how long it may take.
struct RunOptions {
    std::filesystem::path folder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    int timeout_ms = 120000;
};

// Runs a program (a path, or a name on PATH) with the arguments.
inline RunResult run_command(const QString &program, const QStringList &args,
                             const RunOptions &options = {}) {
    QProcess p;
    if (!options.folder.empty())
        p.setWorkingDirectory(QString::fromStdString(options.folder.string()));
    p.setProcessEnvironment(options.env);
    p.start(program, args);
    p.waitForFinished(options.timeout_ms);
    return RunResult{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                     p.readAllStandardOutput().toStdString(),
                     p.readAllStandardError().toStdString()};
}

// Runs build/bin/<program> with the arguments, waiting at most timeout_ms.
inline RunResult run_program(const std::string &program, const QStringList &args,
                             int timeout_ms = 120000) {
    RunOptions options;
    options.timeout_ms = timeout_ms;
    return run_command(
        QString::fromStdString((std::filesystem::path(TAVI_BUILD_DIR) / "bin" / program).string()),
        args, options);
}

} // namespace testing_support
