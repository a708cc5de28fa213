// tavi: the map viewer. There is no command line: the data folder and everything else
// come from the settings, and the program shows the project found there.
#include <QApplication>
#include <QSocketNotifier>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/app_icon.h"
#include "app/frm_drawing.h"
#include "app/frm_main.h"
#include "project/app_state.h"
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
    QApplication app(argc, argv);
    QApplication::setWindowIcon(app::app_icon());
    project::AppState state;
    state.program_folder = QCoreApplication::applicationDirPath().toStdString() + "/";

    frmMain frame(state, project::install_data_folder());
    close_frame_on_termination(frame);
    frame.Form_Load();
    if (frame.ended())
        return frame.exit_code();
    frame.map_window()->set_pointer(state::kPointerCross);
    return app.exec();
}
