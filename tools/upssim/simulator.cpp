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

namespace upssim {

namespace {

constexpr double kLongestSleepMs = 1000.0;
constexpr size_t kLongestEventLine = 65536;

volatile sig_atomic_t stopRequested = 0;
sigset_t loopSignals; // the signal mask inside the main loop's wait

void OnStopSignal(int)
{
    stopRequested = 1;
}

bool MakeDirectories(const std::string& path, std::string& error)
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

}  // namespace

void InstallStopSignals()
{
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stops;
    sigemptyset(&stops);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, s);
    sigprocmask(SIG_BLOCK, &stops, &loopSignals);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigdelset(&loopSignals, s);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &action, nullptr);
}

Simulator::Simulator(Options options)
    : options_(std::move(options)), random_(options_.seed.value_or(std::random_device{}()))
{
}

Simulator::~Simulator()
{
    const double now = NowMs();
    for (auto& port : ports_) port->Unplug(now);
}

bool Simulator::Start(std::string& error)
{
    if (!MakeDirectories(options_.dir, error)) return false;
    if (!options_.logPath.empty() && !log_.Open(options_.logPath, error)) return false;
    if (!watch_.Start(error)) return false;
    const DeviceSettings settings{options_.steady, options_.battery};
    for (const PortChoice& choice : options_.ports) {
        const double now = NowMs();
        ports_.push_back(std::make_unique<PtyPort>(choice.name, choice.kind, options_.dir, FaultsFor(options_, choice),
                                                   settings, log_, watch_, random_, now));
        if (!ports_.back()->Plug(now, error)) return false;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return true;
}

void Simulator::Run()
{
    std::vector<pollfd> fds;
    std::vector<PtyPort*> polled;
    while (!stopRequested) {
        double now = NowMs();
        double wake = now + kLongestSleepMs;
        for (auto& port : ports_) {
            port->Service(now);
            wake = std::min(wake, port->NextWake());
        }

        fds.clear();
        polled.clear();
        fds.push_back({watch_.Fd(), POLLIN, 0});
        if (stdinOpen_) fds.push_back({STDIN_FILENO, POLLIN, 0});
        for (auto& port : ports_) {
            if (port->heldFd() < 0) continue;
            fds.push_back({port->heldFd(), POLLIN, 0});
            polled.push_back(port.get());
        }
        const long long sleepNs = static_cast<long long>(std::max(0.0, wake - NowMs()) * 1e6);
        const timespec timeout{static_cast<time_t>(sleepNs / 1000000000), static_cast<long>(sleepNs % 1000000000)};
        if (::ppoll(fds.data(), fds.size(), &timeout, &loopSignals) < 0) continue;

        // Events first: a script that writes an event and then a command
        // byte expects them applied in that order.
        now = NowMs();
        const size_t first = stdinOpen_ ? 2 : 1;
        if (stdinOpen_ && fds[1].revents) ReadEvents(now);
        if (fds[0].revents) NoticeAccesses(now);
        for (size_t i = 0; i < polled.size(); ++i) {
            const short events = fds[first + i].revents;
            if (events & POLLIN) polled[i]->ReadInput(now);
            if (events & (POLLHUP | POLLERR)) polled[i]->HangUp(now);
        }
    }
}

void Simulator::NoticeAccesses(double now)
{
    const std::vector<OpenWatch::Access> accesses = watch_.Take();
    for (auto& port : ports_) {
        std::vector<bool> closes;
        for (const OpenWatch::Access& access : accesses)
            if (access.watch == port->watchId()) closes.push_back(access.closed);
        if (!closes.empty()) port->Accessed(closes, now);
    }
}

void Simulator::ReadEvents(double now)
{
    char buffer[4096];
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (count <= 0) {
        stdinOpen_ = false; // end of events; the ports keep running
        if (!pendingLine_.empty()) ApplyEvent(pendingLine_, ports_, now);
        pendingLine_.clear();
        return;
    }
    for (ssize_t i = 0; i < count; ++i) {
        if (buffer[i] == '\n') {
            ApplyEvent(pendingLine_, ports_, now);
            pendingLine_.clear();
        } else if (pendingLine_.size() < kLongestEventLine) {
            pendingLine_ += buffer[i];
        }
    }
}

}  // namespace upssim
