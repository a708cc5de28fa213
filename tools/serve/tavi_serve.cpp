// Serves a project's period maps and site record as an OGC web map service (WMS 1.3.0)
// and as a page for a browser (at /) over HTTP, read only.
//
//   tavi-serve --data DIR [--listen HOST:PORT] [--workers N] [--queue N]
//              [--render-limit MS] | --help | --version
//
// A parent process and N worker processes accepting on one listening socket, each worker
// with its own session (see serve/workers.h).
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>

#include <arpa/inet.h>
#include <netdb.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/base/files.h"
#include "platform/db/dao.h"
#include "project/load_data.h"
#include "project/session.h"
#include "serve/enquiry_routes.h"
#include "serve/http_server.h"
#include "serve/page.h"
#include "serve/service.h"
#include "serve/worker_exit.h"
#include "serve/workers.h"

namespace {

struct Options {
    std::string data;
    std::string host = "127.0.0.1";
    std::string port = "8080";
    int workers = 0; // one a processor
    int queue = 4;
    int render_limit_ms = static_cast<int>(serve::kRenderLimit.count());
};

[[noreturn]] void fail(const std::string &message) {
    std::fprintf(stderr, "tavi-serve: %s\n", message.c_str());
    std::exit(2);
}

bool parse_int(const std::string &s, int &v, int lo, int hi) {
    char *end = nullptr;
    const long n = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || n < lo || n > hi)
        return false;
    v = static_cast<int>(n);
    return true;
}

Options parse(int argc, char **argv) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves a TAVI project's period maps and site record as an OGC web map service "
        "(WMS 1.3.0 at /wms), read only."));
    parser.addHelpOption();
    parser.addVersionOption();
    const auto option = [&parser](const char *name, const char *what, const char *value) {
        QCommandLineOption o(QString::fromLatin1(name), QString::fromLatin1(what),
                             QString::fromLatin1(value));
        parser.addOption(o);
        return o;
    };
    const auto data = option("data", "The data folder holding the project tavi.zpj.", "DIR");
    const auto listen =
        option("listen", "The address to listen on (default 127.0.0.1:8080).", "HOST:PORT");
    const auto workers = option("workers", "Worker processes (default: one a processor).", "N");
    const auto queue =
        option("queue",
               "Maps each worker may hold, the one it draws included, before more are refused "
               "(default 4).",
               "N");
    const auto limit = option("render-limit",
                              "Milliseconds a map may take to draw before it is given up "
                              "(default 10000).",
                              "MS");
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments))
        fail(parser.errorText().toStdString());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                        QStringLiteral("tavi-serve"))),
                   stdout);
        std::exit(0);
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("tavi-serve %s\n", TAVI_VERSION);
        std::exit(0);
    }
    if (!parser.positionalArguments().isEmpty())
        fail("unknown argument '" + parser.positionalArguments().front().toStdString() + "'");
    const auto text = [&parser](const QCommandLineOption &o) {
        return parser.value(o).toStdString();
    };

    Options o;
    o.data = text(data);
    if (o.data.empty())
        fail("--data DIR is needed (see --help)");
    if (parser.isSet(listen)) {
        const std::string s = text(listen);
        const auto colon = s.rfind(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 == s.size())
            fail("--listen wants HOST:PORT, not '" + s + "'");
        o.host = s.substr(0, colon);
        o.port = s.substr(colon + 1);
        if (o.host.size() > 2 && o.host.front() == '[' && o.host.back() == ']')
            o.host = o.host.substr(1, o.host.size() - 2);
        int port = 0;
        if (!parse_int(o.port, port, 0, 65535))
            fail("--listen wants a port from 0 to 65535, not '" + o.port + "'");
    }
    if (parser.isSet(workers) && !parse_int(text(workers), o.workers, 1, 64))
        fail("--workers wants a count from 1 to 64");
    if (o.workers == 0)
        o.workers = std::max(1, static_cast<int>(::sysconf(_SC_NPROCESSORS_ONLN)));
    if (parser.isSet(queue) && !parse_int(text(queue), o.queue, 1, 1000))
        // The map being drawn is one of those held: with none, nothing would ever be drawn.
        fail("--queue wants a count from 1 to 1000");
    if (parser.isSet(limit) && !parse_int(text(limit), o.render_limit_ms, 1, 600000))
        fail("--render-limit wants milliseconds from 1 to 600000");
    return o;
}

// The listening socket every worker accepts on; the address it is bound to, as a URL.
int listen_on(const Options &o, std::string &url) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    if (const int e = ::getaddrinfo(o.host.c_str(), o.port.c_str(), &hints, &found); e != 0)
        fail("cannot listen on " + o.host + ":" + o.port + ": " + ::gai_strerror(e));
    int fd = -1;
    std::string why = "no address";
    for (addrinfo *a = found; a != nullptr && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 128) != 0) {
            why = std::strerror(errno);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0)
        fail("cannot listen on " + o.host + ":" + o.port + ": " + why);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &length);
    char host[NI_MAXHOST], port[NI_MAXSERV];
    ::getnameinfo(reinterpret_cast<sockaddr *>(&bound), length, host, sizeof host, port,
                  sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
    const bool v6 = bound.ss_family == AF_INET6;
    url = std::string("http://") + (v6 ? "[" : "") + host + (v6 ? "]" : "") + ":" + port + "/";
    return fd;
}

volatile sig_atomic_t stop_asked = 0;

void on_stop(int) {
    stop_asked = 1;
}

// One worker: its own toolkit, session and server, until it is asked to stop.
int run_worker(const Options &o, const std::string &data, int listen_fd,
               const std::function<void()> &ready) {
    struct sigaction sa {};
    sa.sa_handler = on_stop;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGHUP, SIG_IGN);

    // Fonts come from the platform layer even without a screen; the toolkit's own
    // chatter would drown the service's log.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (std::getenv("TAVI_VERBOSE") == nullptr)
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "tavi-serve: %s\n", msg.toLocal8Bit().constData());
        });
    int argc = 1;
    char name[] = "tavi-serve";
    char *argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    project::Session session(64, 64, project::quiet_hooks(),
                             QCoreApplication::applicationDirPath().toStdString() + "/");
    if (!session.open(data)) {
        std::fprintf(stderr, "tavi-serve: cannot read the project %s/%s\n", data.c_str(),
                     project::kProjectFileName);
        return serve::kExitCannotStart;
    }
    try {
        session.plot_sites();
    } catch (const dao::Error &e) {
        std::fprintf(stderr, "tavi-serve: the sites are not served: %s\n", e.what());
    }
    const std::string title = std::filesystem::path(data).filename().string();
    serve::Service service(session, title, std::chrono::milliseconds(o.render_limit_ms));
    serve::add_enquiry(service, session);
    for (const std::string &missing : serve::add_page(service, session, title))
        std::fprintf(stderr, "tavi-serve: %s\n", missing.c_str());
    serve::ServerLimits limits;
    limits.queue = o.queue;
    limits.stuck_after = std::chrono::seconds(o.render_limit_ms / 1000 + 5);
    serve::HttpServer server(listen_fd, service, limits);
    if (!server.started()) {
        std::fprintf(stderr, "tavi-serve: %s\n", server.error().c_str());
        return serve::kExitCannotStart;
    }
    ready();
    server.run([] { return stop_asked != 0; });
    return serve::kExitDrained;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication::setApplicationName(QStringLiteral("tavi-serve"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVI_VERSION));
    const Options o = parse(argc, argv);
    std::string data = files::resolve(o.data).string();
    while (data.size() > 1 && data.back() == '/')
        data.pop_back();
    if (!files::exists(files::join_path(data, project::kProjectFileName)))
        fail("cannot read the project " + data + "/" + project::kProjectFileName);

    std::string url;
    const int fd = listen_on(o, url);
    serve::WorkerPlan plan;
    plan.count = o.workers;
    plan.run = [&](int listen_fd, const std::function<void()> &ready) {
        return run_worker(o, data, listen_fd, ready);
    };
    plan.on_ready = [&url] {
        std::printf("tavi-serve: listening on %s\n", url.c_str());
        std::fflush(stdout);
    };
    const int status = serve::supervise(fd, plan);
    ::close(fd);
    return status;
}
