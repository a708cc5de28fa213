// tavi: the map viewer. The data folder and everything else come from the settings, and
// the program shows the project found there; a folder given on the command line is
// shown instead, for this run only.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/shared/app_icon.h"
#include "app/shared/interface_font.h"
#include "app/windows/frm_drawing.h"
#include "app/windows/frm_main.h"
#include "project/settings.h"

namespace {

int signal_pair[2] = {-1, -1};

void on_termination(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signal_pair[1], &c, 1);
}

// A request to terminate (logout, kill, Ctrl+C) closes the frame as the user would, so
// the settings of the run are kept; a message open at that moment is closed unanswered. The handler
// only wakes the event loop, which does the closing.
void close_frame_on_termination(frmMain &frame) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signal_pair) != 0)
        return;
    auto *notifier = new QSocketNotifier(signal_pair[0], QSocketNotifier::Read, &frame);
    QObject::connect(notifier, &QSocketNotifier::activated, &frame, [&frame] {
        char c = 0;
        [[maybe_unused]] const ssize_t n = ::read(signal_pair[0], &c, 1);
        frame.terminate();
    });
    struct sigaction sa {};
    sa.sa_handler = on_termination;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
}

} // namespace

int main(int argc, char **argv) {
    // The command line is read before the window system is reached, so that --help and
    // --version answer on a console without a display.
    QCoreApplication::setApplicationName(QStringLiteral("tavi"));
    QCoreApplication::setApplicationVersion(QString::fromStdString(frmMain::version_number()));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("TAVI: the map viewer of the archaeological record. It shows the project "
                       "of the data folder named in the settings (~/.config/TAVI/TAVI.ini, "
                       "section Startup, key \"CD Drive\"), or the sample project."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("DATA_FOLDER"),
        QStringLiteral("Show the project in this folder for this run only; the settings keep "
                       "their data folder."),
        QStringLiteral("[DATA_FOLDER]"));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "tavi: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        // Asked before any application object exists, the parser cannot name the program.
        std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                        QStringLiteral("tavi"))),
                   stdout);
        std::exit(0);
    }
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "tavi: one data folder at most\n");
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setWindowIcon(app::app_icon());
    QApplication::setFont(app::interface_font(QApplication::font()));
    frmMain frame(project::install_data_folder());
    frame.state().program_folder = QCoreApplication::applicationDirPath().toStdString() + "/";
    if (!parser.positionalArguments().isEmpty()) {
        const QString folder = parser.positionalArguments().front();
        frame.set_run_data_folder(QFileInfo(folder).absoluteFilePath().toStdString());
    }
    close_frame_on_termination(frame);
    frame.Form_Load();
    if (frame.ended())
        return frame.exit_code();
    frame.map_window()->set_pointer(state::kPointerCross);
    return app.exec();
}
