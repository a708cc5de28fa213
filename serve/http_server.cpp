#include "serve/http_server.h"

#include <fcntl.h>
#include <microhttpd.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "serve/upload.h"
#include "serve/worker_exit.h"

namespace serve {

struct HttpServer::Exchange {
    MHD_Connection *connection = nullptr;
    std::unique_ptr<Upload> upload;   // a form being posted; its file lives as long
    std::optional<Job> job;           // waiting in the queue
    std::optional<Response> response; // ready to go
    bool sent = false;                // handed to the library
};

namespace {

// What the stuck-map alarm sends before the worker ends: the connection and the answer
// made ready beforehand, since a signal handler may only write what it finds.
volatile sig_atomic_t stuck_fd = -1;
constexpr char kStuckAnswer[] =
    "HTTP/1.1 503 Service Unavailable\r\n"
    "Content-Type: text/xml\r\n"
    "Retry-After: 2\r\n"
    "Cache-Control: no-store\r\n"
    "Connection: close\r\n"
    "Content-Length: 198\r\n"
    "\r\n"
    "<?xml version=\"1.0\"?>\n"
    "<ServiceExceptionReport version=\"1.3.0\" xmlns=\"http://www.opengis.net/ogc\">\n"
    "<ServiceException>The map could not be drawn in time</ServiceException>\n"
    "</ServiceExceptionReport>\n";

void on_stuck(int) {
    const int fd = stuck_fd;
    if (fd >= 0) {
        // The answer is sent whole or not at all as far as this worker is concerned.
        [[maybe_unused]] const ssize_t n = ::write(fd, kStuckAnswer, sizeof kStuckAnswer - 1);
    }
    ::_exit(kExitStuck);
}

bool method_served(const char *method) {
    return std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
           std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
}

bool is_post(const char *method) {
    return std::strcmp(method, MHD_HTTP_METHOD_POST) == 0;
}

MHD_Result add_parameter(void *cls, MHD_ValueKind, const char *key, const char *value) {
    auto *p = static_cast<std::pair<Parameters *, bool> *>(cls);
    try {
        p->first->add(key != nullptr ? key : "", value != nullptr ? value : "");
    } catch (const std::exception &) {
        p->second = false;
        return MHD_NO; // no more
    }
    return MHD_YES;
}

std::string header(MHD_Connection *c, const char *name) {
    const char *v = MHD_lookup_connection_value(c, MHD_HEADER_KIND, name);
    return v != nullptr ? std::string(v) : std::string();
}

} // namespace

struct Callbacks {
    static MHD_Result send(HttpServer &server, HttpServer::Exchange &x, Response r) {
        MHD_Response *m =
            MHD_create_response_from_buffer(r.body.size(), r.body.data(), MHD_RESPMEM_MUST_COPY);
        if (m == nullptr)
            return MHD_NO;
        if (!r.content_type.empty())
            MHD_add_response_header(m, MHD_HTTP_HEADER_CONTENT_TYPE, r.content_type.c_str());
        for (const auto &[name, value] : r.headers)
            MHD_add_response_header(m, name.c_str(), value.c_str());
        // Nothing a picture or a record holds is to be taken for a page of the site.
        MHD_add_response_header(m, "X-Content-Type-Options", "nosniff");
        if (server.draining_)
            MHD_add_response_header(m, MHD_HTTP_HEADER_CONNECTION, "close");
        const MHD_Result ok = MHD_queue_response(x.connection, static_cast<unsigned>(r.status), m);
        MHD_destroy_response(m);
        if (ok == MHD_YES) {
            x.sent = true;
            ++server.in_flight_;
        }
        return ok;
    }

    static MHD_Result on_request(void *cls, MHD_Connection *connection, const char *url,
                                 const char *method, const char *, const char *upload_data,
                                 size_t *upload_size, void **context) {
        auto &server = *static_cast<HttpServer *>(cls);
        auto *x = static_cast<HttpServer::Exchange *>(*context);
        if (x == nullptr) {
            x = new HttpServer::Exchange;
            x->connection = connection;
            *context = x;
            const bool posts = server.service_.takes_posts(url != nullptr ? url : "");
            if (is_post(method) && posts) {
                // A body said at once to be too large is refused before any of it is read.
                const std::string length = header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
                if (!length.empty() &&
                    std::strtoull(length.c_str(), nullptr, 10) > Upload::kMaxBytes)
                    return send(server, *x,
                                Service::plain(413, "The upload is larger than " +
                                                        std::to_string(Upload::kMaxBytes >> 20) +
                                                        " MB"));
                x->upload = std::make_unique<Upload>(connection);
                if (x->upload->status() != 0)
                    return send(server, *x, Service::plain(x->upload->status(), x->upload->why()));
                return MHD_YES;
            }
            if (!method_served(method)) {
                Response r = Service::plain(405, posts ? "Only GET, HEAD and POST are served here"
                                                       : "Only GET and HEAD are served");
                r.headers.emplace_back("Allow", posts ? "GET, HEAD, POST" : "GET, HEAD");
                return send(server, *x, std::move(r));
            }
            return MHD_YES; // the rest of the request comes in the next call
        }
        if (*upload_size != 0) {
            // A body is of no use to a GET; a form's is read as it comes. A refused form
            // is answered once its body has come (the library answers no sooner), unless
            // the body grows past the bound: then the connection is closed.
            if (x->upload && !x->sent) {
                x->upload->feed(upload_data, *upload_size);
                if (x->upload->past_bound())
                    return MHD_NO;
            }
            *upload_size = 0;
            return MHD_YES;
        }
        if (x->sent)
            return MHD_YES;
        if (x->response) // drawn while the connection waited
            return send(server, *x, std::move(*x->response));
        if (x->job)
            return MHD_YES;

        Request request;
        request.method = method;
        request.path = url != nullptr ? url : "";
        std::pair<Parameters *, bool> adding{&request.parameters, true};
        MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, add_parameter, &adding);
        if (!adding.second)
            return send(server, *x, Service::exception(400, {}, "Too many or too long parameters"));
        if (x->upload) {
            if (!x->upload->finish())
                return send(server, *x, Service::plain(x->upload->status(), x->upload->why()));
            try {
                for (const auto &[name, value] : x->upload->fields().items())
                    request.parameters.add(name, value);
            } catch (const std::exception &e) {
                return send(server, *x, Service::plain(400, e.what()));
            }
            request.upload_file = x->upload->file();
            request.upload_name = x->upload->file_name();
        }
        request.if_none_match = header(connection, MHD_HTTP_HEADER_IF_NONE_MATCH);
        request.host = header(connection, MHD_HTTP_HEADER_HOST);
        request.https = header(connection, "X-Forwarded-Proto") == "https";
        Prepared p;
        try {
            p = server.service_.prepare(request);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "tavi-serve: %s\n", e.what());
            return send(server, *x,
                        Service::exception(500, {}, "The request could not be answered"));
        }
        if (p.answer)
            return send(server, *x, std::move(*p.answer));
        if (static_cast<int>(server.queue_.size()) >= server.limits_.queue || server.draining_)
            return send(server, *x,
                        Service::exception(503, {}, "The service is busy; try again shortly"));
        x->job = std::move(p.job);
        server.queue_.push_back(x);
        MHD_suspend_connection(connection);
        return MHD_YES;
    }

    static void on_completed(void *cls, MHD_Connection *, void **context,
                             MHD_RequestTerminationCode) {
        auto &server = *static_cast<HttpServer *>(cls);
        auto *x = static_cast<HttpServer::Exchange *>(*context);
        if (x == nullptr)
            return;
        if (x->sent)
            --server.in_flight_;
        delete x;
        *context = nullptr;
    }
};

HttpServer::HttpServer(int listen_fd, Service &service, ServerLimits limits)
    : service_(service), limits_(limits) {
    // The workers share the socket: a connection another worker took leaves accept()
    // with nothing, which must not block.
    ::fcntl(listen_fd, F_SETFL, ::fcntl(listen_fd, F_GETFL) | O_NONBLOCK);
    // Without the library's own log: it would write a line for every request refused
    // for its size, which any client can send by the thousand.
    daemon_ = MHD_start_daemon(
        MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME, 0, nullptr, nullptr, &Callbacks::on_request, this,
        MHD_OPTION_LISTEN_SOCKET, listen_fd, MHD_OPTION_CONNECTION_LIMIT,
        static_cast<unsigned>(limits_.connections), MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        limits_.header_bytes, MHD_OPTION_CONNECTION_TIMEOUT, limits_.idle_seconds,
        MHD_OPTION_NOTIFY_COMPLETED, &Callbacks::on_completed, this, MHD_OPTION_END);
    if (daemon_ == nullptr)
        error_ = "the HTTP library would not start on the listening socket";
    struct sigaction sa {};
    sa.sa_handler = on_stuck;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGALRM, &sa, nullptr);
}

HttpServer::~HttpServer() {
    if (daemon_ != nullptr)
        MHD_stop_daemon(daemon_);
}

void HttpServer::run(const std::function<bool()> &stop) {
    if (daemon_ == nullptr)
        return;
    constexpr auto kDrainLimit = std::chrono::seconds(30);
    std::chrono::steady_clock::time_point drain_end{};
    for (;;) {
        if (!draining_ && stop()) {
            draining_ = true;
            drain_end = std::chrono::steady_clock::now() + kDrainLimit;
            // No more connections for this worker; the socket stays open for the others.
            MHD_quiesce_daemon(daemon_);
        }
        if (!queue_.empty()) {
            Exchange *x = queue_.front();
            queue_.erase(queue_.begin());
            const MHD_ConnectionInfo *info =
                MHD_get_connection_info(x->connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            stuck_fd = info != nullptr ? info->connect_fd : -1;
            const std::chrono::seconds limit =
                x->job->stuck_after.count() > 0 ? x->job->stuck_after : limits_.stuck_after;
            ::alarm(static_cast<unsigned>(limit.count()));
            try {
                x->response = service_.complete(*x->job);
            } catch (const std::exception &e) {
                std::fprintf(stderr, "tavi-serve: %s\n", e.what());
                x->response = Service::exception(500, {}, "The request could not be answered");
            }
            ::alarm(0);
            stuck_fd = -1;
            x->job.reset();
            MHD_resume_connection(x->connection);
        }
        if (draining_ && queue_.empty() &&
            (in_flight_ == 0 || std::chrono::steady_clock::now() > drain_end))
            break;
        // Waits for the network only when nothing is queued; a short wait so that a stop
        // asked for by a signal is seen soon.
        MHD_run_wait(daemon_, queue_.empty() ? 200 : 0);
    }
}

} // namespace serve
