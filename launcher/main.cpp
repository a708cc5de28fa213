// brevo: started from the data disc. It records where the viewer's data lie on that
// disc, in the viewer's own settings, opens the installer package found beside it and
// ends at once. It shows nothing; of arguments it knows only --help and --version.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/base/files.h"
#include "platform/base/settings.h"

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brevo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVI_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Run from a TAVI data disc: records the disc's data folder (its mount point and "
        "data/) as the setting \"CD Drive\" of section \"Startup\" in ~/.config/TAVI/TAVI.ini, "
        "then opens the installer package install.msi beside it."));
    parser.addHelpOption();
    parser.addVersionOption();
    if (!parser.parse(QCoreApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "brevo: %s\n",
                     parser.errorText().isEmpty() ? "it takes no arguments"
                                                  : qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        // The program by its name, not by the path it was started with.
        std::fputs(qPrintable(parser.helpText().replace(QCoreApplication::arguments().first(),
                                                        QStringLiteral("brevo"))),
                   stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);

    // The data sit in data/ at the top of the disc, wherever on it we were started.
    std::string data_folder = files::mount_point(here).string();
    if (data_folder.empty() || data_folder.back() != '/')
        data_folder += '/';
    data_folder += "data/";
    settings::put("TAVI", "Startup", "CD Drive", data_folder);

    // The desktop chooses the installer's handler; whether it starts is not our concern.
    QProcess::startDetached(QStringLiteral("xdg-open"), {QStringLiteral("install.msi")},
                            QString::fromStdString(here.string()));
    return 0;
}
