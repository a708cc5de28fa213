// Running one of the built programs from a test: its exit code and what it printed.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <string>

namespace testing_support {

struct RunResult {
    int code = -1; // -1 when the program crashed or did not finish
    std::string out, err;
};

// Runs build/bin/<program> with the arguments, waiting at most timeout_ms.
inline RunResult run_program(const std::string &program, const QStringList &args,
                             int timeout_ms = 120000) {
    QProcess p;
    p.setProgram(
        QString::fromStdString((std::filesystem::path(TAVI_BUILD_DIR) / "bin" / program).string()));
    p.setArguments(args);
    p.start();
    p.waitForFinished(timeout_ms);
    return RunResult{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                     p.readAllStandardOutput().toStdString(),
                     p.readAllStandardError().toStdString()};
}

} // namespace testing_support
