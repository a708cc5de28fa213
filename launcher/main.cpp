// brevo: started from the data disc. It records where the viewer's data lie on that
// disc, in the viewer's own settings, opens the installer package found beside it and
// ends at once. It reads no arguments and shows nothing.
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/files.h"
#include "platform/settings.h"

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);

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
