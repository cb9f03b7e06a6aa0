#pragma once
// Runs tornavelctl for a system test and collects its output, its messages
// and its exit status. Every run is bounded: a hung program is killed.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "child_process.h"

namespace tornavel::testing {

struct CtlRun {
    int status = -1;  // exit status; -1 when it was killed or died by a signal
    std::string out;
    std::string err;
};

// A bound for one run (a full read, a round of steps and the closing second
// on a loaded machine), not a measured time.
inline constexpr int kCtlPatienceMs = 90000;

// A signal sent to the run once `when` first holds (checked every few
// milliseconds while it runs).
struct CtlSignal {
    std::function<bool()> when;
    int signal = SIGINT;
};

inline CtlRun RunCtl(std::vector<std::string> args, const CtlSignal& interrupt = {})
{
    args.insert(args.begin(), CTL_PATH);
    int output[2], errors[2];
    CtlRun run;
    if (::pipe2(output, O_CLOEXEC) || ::pipe2(errors, O_CLOEXEC)) return run;
    const pid_t pid = Spawn(args, -1, output[1], errors[1]);
    ::close(output[1]);
    ::close(errors[1]);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCtlPatienceMs);
    pollfd fds[2] = {{output[0], POLLIN, 0}, {errors[0], POLLIN, 0}};
    int open = 2;
    bool signalled = !interrupt.when;
    while (open > 0 && std::chrono::steady_clock::now() < until) {
        if (!signalled && interrupt.when()) {
            ::kill(pid, interrupt.signal);
            signalled = true;
        }
        if (::poll(fds, 2, signalled ? 200 : 20) <= 0) continue;
        for (pollfd& fd : fds) {
            if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            const ssize_t n = ::read(fd.fd, buffer, sizeof buffer);
            if (n > 0) {
                (fd.fd == output[0] ? run.out : run.err).append(buffer, static_cast<size_t>(n));
            } else {
                ::close(fd.fd);
                fd.fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& fd : fds)
        if (fd.fd >= 0) ::close(fd.fd);
    if (open > 0) ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = open == 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace tornavel::testing
