// The HTTP side of one worker, over libmicrohttpd: the worker's share of the listening
// socket, its connections, and the queue of checked requests waiting for its session.
//
// Everything runs in the worker's one thread: the library is driven from its own event
// loop here, and a request that needs drawing is parked (its connection suspended) in a
// queue of a few, answered in turn between rounds of the loop. A request beyond the
// queue is answered 503 with Retry-After at once, and bad input is refused the moment
// it is read, even while maps wait. The request line and headers are bounded by the
// connection's memory (the library answers 414 or 431 beyond it), and only GET and HEAD
// are served (405 for the others) - and POST on the paths the service says take a form,
// whose body is read as it comes by an Upload (serve/upload.h), bounded.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "serve/service.h"

struct MHD_Daemon;

namespace serve {

struct ServerLimits {
    int queue = 4;                        // checked requests waiting for the session
    int connections = 64;                 // open at once
    std::size_t header_bytes = 32 * 1024; // request line and headers of one request
    unsigned idle_seconds = 30;           // a connection with nothing to say is closed after this
    // A map still being drawn this long after it started ends the worker (the parent
    // starts another): the drawing's own stop at the render limit failed to come.
    std::chrono::seconds stuck_after{15};
};

class HttpServer {
  public:
    // listen_fd is bound and listening (shared with the other workers).
    HttpServer(int listen_fd, Service &service, ServerLimits limits = {});
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // False, with why in error(), when the library would not start.
    bool started() const { return daemon_ != nullptr; }
    const std::string &error() const { return error_; }

    // Serves until stop() returns true; then takes no more connections, answers what is
    // queued and sends what is on its way, and returns.
    void run(const std::function<bool()> &stop);

    struct Exchange; // one request's state while the library holds its connection

  private:
    friend struct Callbacks;
    Service &service_;
    ServerLimits limits_;
    ::MHD_Daemon *daemon_ = nullptr;
    std::string error_;
    std::vector<Exchange *> queue_;
    int in_flight_ = 0; // requests answered whose answers are still being sent
    bool draining_ = false;
};

} // namespace serve
