#include "serve/workers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "serve/worker_exit.h"

namespace serve {

namespace {

using Clock = std::chrono::steady_clock;

struct Worker {
    pid_t pid = -1;
    int ready_fd = -1; // read end: one byte when the worker answers
    bool ready = false;
    int starts = 0;
    Clock::time_point started{};
};

sigset_t handled_signals() {
    sigset_t s;
    sigemptyset(&s);
    sigaddset(&s, SIGCHLD);
    sigaddset(&s, SIGTERM);
    sigaddset(&s, SIGINT);
    return s;
}

void log_line(const std::string &text) {
    std::fprintf(stderr, "tavi-serve: %s\n", text.c_str());
    std::fflush(stderr);
}

bool start(Worker &w, int listen_fd, int signal_fd, const WorkerPlan &plan,
           const sigset_t &parent_mask) {
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0)
        return false;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipe_fds[0]);
        ::close(pipe_fds[1]);
        return false;
    }
    if (pid == 0) {
        ::close(pipe_fds[0]);
        ::close(signal_fd);
        // A worker outlives no parent: were the parent killed outright, the workers stop.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::sigprocmask(SIG_SETMASK, &parent_mask, nullptr);
        const int ready_fd = pipe_fds[1];
        const int status = plan.run(listen_fd, [ready_fd] {
            const char one = 1;
            [[maybe_unused]] const ssize_t n = ::write(ready_fd, &one, 1);
            ::close(ready_fd);
        });
        std::fflush(nullptr);
        ::_exit(status);
    }
    ::close(pipe_fds[1]);
    w.pid = pid;
    w.ready_fd = pipe_fds[0];
    w.ready = false;
    w.started = Clock::now();
    ++w.starts;
    return true;
}

} // namespace

std::string exit_reason(int status) {
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        const char *name = ::strsignal(sig);
        return "killed by signal " + std::to_string(sig) + " (" + (name ? name : "?") + ")" +
               (WCOREDUMP(status) ? ", core dumped" : "");
    }
    if (WIFEXITED(status)) {
        switch (WEXITSTATUS(status)) {
        case kExitDrained:
            return "ended";
        case kExitCannotStart:
            return "could not start";
        case kExitStuck:
            return "ended itself: a map went on drawing past the time allowed";
        default:
            return "exited with status " + std::to_string(WEXITSTATUS(status));
        }
    }
    return "ended (wait status " + std::to_string(status) + ")";
}

int supervise(int listen_fd, const WorkerPlan &plan) {
    const sigset_t signals = handled_signals();
    sigset_t parent_mask;
    ::sigprocmask(SIG_BLOCK, &signals, &parent_mask);
    const int signal_fd = ::signalfd(-1, &signals, SFD_CLOEXEC);
    std::vector<Worker> workers(static_cast<std::size_t>(plan.count));
    for (Worker &w : workers)
        if (!start(w, listen_fd, signal_fd, plan, parent_mask)) {
            log_line(std::string("cannot start a worker: ") + std::strerror(errno));
            return 2;
        }

    bool announced = false, stopping = false;
    int result = 0;
    Clock::time_point stop_deadline{};
    for (;;) {
        // Deaths first: a worker that died is started again, or the service ends when the
        // first ones cannot start.
        int status = 0;
        pid_t pid;
        while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0) {
            for (std::size_t i = 0; i < workers.size(); ++i) {
                Worker &w = workers[i];
                if (w.pid != pid)
                    continue;
                w.pid = -1;
                if (w.ready_fd >= 0) {
                    ::close(w.ready_fd);
                    w.ready_fd = -1;
                }
                if (stopping) {
                    if (!(WIFEXITED(status) && WEXITSTATUS(status) == kExitDrained))
                        log_line("worker " + std::to_string(i + 1) + " (process " +
                                 std::to_string(pid) + ") " + exit_reason(status));
                    break;
                }
                const bool never_ready = !w.ready;
                log_line("worker " + std::to_string(i + 1) + " (process " + std::to_string(pid) +
                         ") " + exit_reason(status) + (never_ready ? " before it answered" : "") +
                         (announced ? "; starting another" : ""));
                if (!announced) {
                    // The project or the socket is not right: no worker would do better.
                    stopping = true;
                    result = 2;
                    for (Worker &o : workers)
                        if (o.pid > 0)
                            ::kill(o.pid, SIGTERM);
                    stop_deadline = Clock::now() + std::chrono::seconds(30);
                    break;
                }
                // A worker dying as it starts, again and again, is not started in a loop.
                if (never_ready && w.starts > 1)
                    ::sleep(1);
                if (!start(w, listen_fd, signal_fd, plan, parent_mask))
                    log_line(std::string("cannot start a worker: ") + std::strerror(errno));
            }
        }
        bool alive = false;
        for (const Worker &w : workers)
            alive = alive || w.pid > 0;
        if (stopping && !alive)
            break;
        if (stopping && Clock::now() > stop_deadline) {
            for (Worker &w : workers)
                if (w.pid > 0)
                    ::kill(w.pid, SIGKILL);
        }

        std::vector<pollfd> fds{{signal_fd, POLLIN, 0}};
        for (const Worker &w : workers)
            if (w.ready_fd >= 0)
                fds.push_back({w.ready_fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(signal_fd, &info, sizeof info) == sizeof info &&
                (info.ssi_signo == SIGTERM || info.ssi_signo == SIGINT) && !stopping) {
                stopping = true;
                log_line("stopping: the workers finish the requests they hold");
                for (Worker &w : workers)
                    if (w.pid > 0)
                        ::kill(w.pid, SIGTERM);
                stop_deadline = Clock::now() + std::chrono::seconds(40);
            }
        }
        for (Worker &w : workers) {
            if (w.ready_fd < 0)
                continue;
            pollfd p{w.ready_fd, POLLIN, 0};
            if (::poll(&p, 1, 0) == 1) {
                char c = 0;
                if (::read(w.ready_fd, &c, 1) == 1)
                    w.ready = true;
                ::close(w.ready_fd);
                w.ready_fd = -1;
            }
        }
        if (!announced && !stopping) {
            bool all = true;
            for (const Worker &w : workers)
                all = all && w.ready;
            if (all) {
                announced = true;
                if (plan.on_ready)
                    plan.on_ready();
            }
        }
    }
    ::close(signal_fd);
    return result;
}

} // namespace serve
