#include "simulator.h"

#include "clockms.h"
#include "events.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr double longestSleepMs = 1000.0;
constexpr size_t longestEventLine = 65536;

volatile sig_atomic_t stopRequested = 0;
sigset_t loopSignals; // the signal mask inside the main loop's wait

void onStopSignal(int)
{
    stopRequested = 1;
}

bool makeDirectories(const std::string& path, std::string& error)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            error = "cannot create " + part + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos) return true;
    }
}

} // namespace

void installStopSignals()
{
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stops;
    sigemptyset(&stops);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, s);
    sigprocmask(SIG_BLOCK, &stops, &loopSignals);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigdelset(&loopSignals, s);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &action, nullptr);
}

Simulator::Simulator(Options options)
    : options_(std::move(options)), random_(options_.seed.value_or(std::random_device{}()))
{
}

Simulator::~Simulator()
{
    const double now = nowMs();
    for (auto& port : ports_) port->unplug(now);
}

bool Simulator::start(std::string& error)
{
    if (!makeDirectories(options_.dir, error)) return false;
    if (!options_.logPath.empty() && !log_.open(options_.logPath, error)) return false;
    if (!watch_.start(error)) return false;
    const DeviceSettings settings{options_.steady};
    for (const PortSpec& spec : options_.ports) {
        const double now = nowMs();
        ports_.push_back(std::make_unique<PtyPort>(spec.name, spec.kind, options_.dir, faultsFor(options_, spec),
                                                   settings, log_, watch_, random_, now));
        if (!ports_.back()->plug(now, error)) return false;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return true;
}

void Simulator::run()
{
    std::vector<pollfd> fds;
    std::vector<PtyPort*> polled;
    while (!stopRequested) {
        double now = nowMs();
        double wake = now + longestSleepMs;
        for (auto& port : ports_) {
            port->service(now);
            wake = std::min(wake, port->nextWake());
        }

        fds.clear();
        polled.clear();
        fds.push_back({watch_.fd(), POLLIN, 0});
        if (stdinOpen_) fds.push_back({STDIN_FILENO, POLLIN, 0});
        for (auto& port : ports_) {
            if (port->heldFd() < 0) continue;
            fds.push_back({port->heldFd(), POLLIN, 0});
            polled.push_back(port.get());
        }
        const long long sleepNs = static_cast<long long>(std::max(0.0, wake - nowMs()) * 1e6);
        const timespec timeout{static_cast<time_t>(sleepNs / 1000000000), static_cast<long>(sleepNs % 1000000000)};
        if (::ppoll(fds.data(), fds.size(), &timeout, &loopSignals) < 0) continue;

        // Events first: a script that writes an event and then a command
        // byte expects them applied in that order.
        now = nowMs();
        const size_t first = stdinOpen_ ? 2 : 1;
        if (stdinOpen_ && fds[1].revents) readEvents(now);
        if (fds[0].revents) noticeAccesses(now);
        for (size_t i = 0; i < polled.size(); ++i) {
            const short events = fds[first + i].revents;
            if (events & POLLIN) polled[i]->readInput(now);
            if (events & (POLLHUP | POLLERR)) polled[i]->hangUp(now);
        }
    }
}

void Simulator::noticeAccesses(double now)
{
    const std::vector<OpenWatch::Access> accesses = watch_.take();
    for (auto& port : ports_) {
        std::vector<bool> closes;
        for (const OpenWatch::Access& access : accesses)
            if (access.watch == port->watchId()) closes.push_back(access.closed);
        if (!closes.empty()) port->accessed(closes, now);
    }
}

void Simulator::readEvents(double now)
{
    char buffer[4096];
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (count <= 0) {
        stdinOpen_ = false; // end of events; the ports keep running
        if (!pendingLine_.empty()) applyEvent(pendingLine_, ports_, now);
        pendingLine_.clear();
        return;
    }
    for (ssize_t i = 0; i < count; ++i) {
        if (buffer[i] == '\n') {
            applyEvent(pendingLine_, ports_, now);
            pendingLine_.clear();
        } else if (pendingLine_.size() < longestEventLine) {
            pendingLine_ += buffer[i];
        }
    }
}
