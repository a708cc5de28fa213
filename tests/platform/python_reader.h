// Reading exported files back with independent readers written in Python (the
// spreadsheet reader xlrd, the standard library's HTML parser): a script prints what it
// read as JSON, which the test compares with what was written.
#pragma once

#include <QJsonDocument>
#include <QProcess>
#include <QStringList>

#include <optional>
#include <string>

namespace testing_support {

// A Python interpreter that can import the module: the system's first (where Debian
// installs its python3-* packages), then whatever python3 the path finds.
inline std::optional<QString> python_with(const QString &module) {
    for (const QString &python : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
        QProcess p;
        p.start(python, {"-c", "import " + module});
        if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return python;
    }
    return std::nullopt;
}

struct ScriptResult {
    bool ran = false;
    QJsonDocument json;
    std::string errors; // what the script wrote to its error output
};

// Runs the script with the arguments and reads its output as one JSON document.
inline ScriptResult run_python(const QString &python, const char *script, const QStringList &args) {
    QProcess p;
    p.start(python, QStringList{"-c", QString::fromUtf8(script)} + args);
    ScriptResult r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        r.errors = "the script did not finish";
        return r;
    }
    r.errors = p.readAllStandardError().toStdString();
    if (p.exitCode() != 0)
        return r;
    QJsonParseError error;
    r.json = QJsonDocument::fromJson(p.readAllStandardOutput(), &error);
    r.ran = error.error == QJsonParseError::NoError;
    if (!r.ran)
        r.errors += "unreadable output: " + error.errorString().toStdString();
    return r;
}

} // namespace testing_support
