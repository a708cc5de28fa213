// The parent of the workers. The graphics library keeps its view per process, so each
// worker is a process of its own with its own session, all accepting on one listening
// socket. The parent starts them, says when the service answers, starts a worker again
// when one dies (saying why), and on SIGTERM or SIGINT has each finish what it holds
// before it ends.
#pragma once

#include <functional>
#include <string>

namespace serve {

struct WorkerPlan {
    int count = 1;
    // Runs in the new worker process: serves on listen_fd until told to stop, calling
    // ready() once it answers; its return value is the process's exit status.
    std::function<int(int listen_fd, const std::function<void()> &ready)> run;
    // Said once every first worker answers.
    std::function<void()> on_ready;
};

// Runs the workers until SIGTERM or SIGINT, then waits for them to finish. Returns 0
// after a clean stop, 2 when the first workers could not start.
int supervise(int listen_fd, const WorkerPlan &plan);

// Why a process ended, in words, from its wait status.
std::string exit_reason(int wait_status);

} // namespace serve
