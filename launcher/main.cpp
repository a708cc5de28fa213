// brevo: started from the data disc. It records where the viewer's data lie on that
// disc, in the viewer's own settings, opens the installer package found beside it, says
// which folder it recorded and ends at once, waiting for nothing. Of arguments it knows
// only --help and --version.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/base/files.h"
#include "platform/base/settings.h"

namespace {

// A desktop to tell: a window system the user is logged in to.
bool has_desktop() {
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char *v = std::getenv(name); v != nullptr && *v != '\0')
            return true;
    return false;
}

// The same line as a desktop notification, handed to the desktop's notifier and not
// waited for: menus and scripts start brevo and expect it to end at once. No notifier,
// no notification; the printed line stays.
void notify(const std::string &line) {
    QProcess::startDetached(QStringLiteral("notify-send"),
                            {QStringLiteral("--app-name=brevo"), QStringLiteral("Brevo"),
                             QString::fromStdString(line)});
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
    if (has_desktop())
        notify(line);
    return 0;
}
