// brevo: started from the data disc. It records where the viewer's data lie on that
// disc, in the viewer's own settings, opens the installer package found beside it, says
// which folder it recorded and ends. Of arguments it knows only --help and --version.
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QMessageBox>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "platform/base/files.h"
#include "platform/base/settings.h"

namespace {

// A display to show a message on: a window system, or a platform the user chose.
bool has_display() {
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char *v = std::getenv(name); v != nullptr && *v != '\0')
            return true;
    return false;
}

// The same line in a message box, when there is a screen to show it on. A display that
// cannot be reached gives no box rather than an abort.
void show_box(int argc, char **argv, const QString &line) {
    const bool platform_chosen = std::getenv("QT_QPA_PLATFORM") != nullptr;
    if (!platform_chosen) {
        const char *wayland = std::getenv("WAYLAND_DISPLAY");
        qputenv("QT_QPA_PLATFORM",
                wayland != nullptr && *wayland != '\0' ? "wayland;xcb;offscreen" : "xcb;offscreen");
    }
    QApplication app(argc, argv);
    if (!platform_chosen && QGuiApplication::platformName() == QStringLiteral("offscreen"))
        return;
    QMessageBox::information(nullptr, QStringLiteral("Brevo"), line);
}

} // namespace

int main(int argc, char **argv) {
    // The command line is read before any window system is reached.
    QCoreApplication::setApplicationName(QStringLiteral("brevo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVI_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Run from a TAVI data disc: records the disc's data folder (its mount point and "
        "data/) as the setting \"CD Drive\" of section \"Startup\" in ~/.config/TAVI/TAVI.ini, "
        "then opens the installer package install.msi beside it."));
    parser.addHelpOption();
    parser.addVersionOption();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "brevo: %s\n",
                     parser.errorText().isEmpty() ? "it takes no arguments"
                                                  : qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        // The program by its name, not by the path it was started with.
        QString help = parser.helpText();
        help.replace(QStringLiteral("<executable_name>"), QStringLiteral("brevo"));
        if (!arguments.isEmpty())
            help.replace(arguments.first(), QStringLiteral("brevo"));
        std::fputs(qPrintable(help), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("brevo %s\n", TAVI_VERSION);
        return 0;
    }

    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);

    // The data sit in data/ at the top of the disc, wherever on it we were started.
    std::string data_folder = files::mount_point(here).string();
    if (data_folder.empty() || data_folder.back() != '/')
        data_folder += '/';
    data_folder += "data/";
    const bool stored = settings::put("TAVI", "Startup", "CD Drive", data_folder);

    // The desktop chooses the installer's handler; whether it starts is not our concern.
    QProcess::startDetached(QStringLiteral("xdg-open"), {QStringLiteral("install.msi")},
                            QString::fromStdString(here.string()));

    // The user learns where the viewer will look for its data.
    const std::string file = settings::file_of("TAVI").string();
    const std::string line =
        stored
            ? "TAVI's data folder is now " + data_folder + " (setting \"CD Drive\" in " + file + ")"
            : "TAVI's data folder " + data_folder + " could not be written to " + file;
    std::fprintf(stored ? stdout : stderr, "brevo: %s\n", line.c_str());
    std::fflush(stdout);
    if (has_display())
        show_box(argc, argv, QString::fromStdString(line));
    return 0;
}
