// tornavel-monitor: watches Smart-UPS units on serial ports and publishes
// their readings as Prometheus metrics.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/monitor.h"
#include "app/monitoroptions.h"
#include "app/setupcheck.h"
#include "app/startchecks.h"
#include "publish/credentials.h"
#include "tornavel_version.h"

using namespace tornavel::service;

int main(int argc, char** argv)
{
    CommandLine command = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (command.action) {
    case CommandLine::Action::Help: std::fputs(UsageText().c_str(), stdout); return 0;
    case CommandLine::Action::Version: std::puts("tornavel-monitor " TORNAVEL_VERSION); return 0;
    case CommandLine::Action::Error:
        std::fprintf(stderr, "tornavel-monitor: %s (see --help)\n", command.error.c_str());
        return 2;
    case CommandLine::Action::Check:
    case CommandLine::Action::Run: break;
    }
    ResolveCredentials(command.options, std::getenv("CREDENTIALS_DIRECTORY"));
    if (command.options.webConfigFile) {
        std::string error;
        const auto web = LoadWebConfig(*command.options.webConfigFile, error);
        if (!web) {
            std::fprintf(stderr, "tornavel-monitor: %s\n", error.c_str());
            return 2;
        }
        command.options.web = *web;
    }
    if (std::string error; !upsnet::LoadServerFiles(command.options.upsServer, command.options.web, error)) {
        std::fprintf(stderr, "tornavel-monitor: %s\n", error.c_str());
        return 2;
    }
    if (command.action == CommandLine::Action::Check) return CheckSetup(command.options, stdout, stderr);

    if (const auto problem = StartProblem(command.options)) {
        std::fprintf(stderr, "tornavel-monitor: %s\n", problem->c_str());
        return 2;
    }

    // SIGTERM, SIGINT and SIGHUP are taken by sigtimedwait below: blocked
    // before any thread starts, so every thread inherits the block. A
    // vanished serial device or a closed HTTP client must not end the program.
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    Monitor monitor(command.options);
    std::string error;
    if (!monitor.Open(error)) {
        std::fprintf(stderr, "tornavel-monitor: %s\n", error.c_str());
        return 1;
    }
    monitor.Start();

    // The first SIGTERM or SIGINT starts the stop on a thread of its own, so
    // a second one can still end the monitor at once. SIGHUP ends nothing.
    std::thread stopping;
    std::atomic<bool> stopped{false};
    const timespec step{0, 100'000'000};
    while (!stopped) {
        const int signal = ::sigtimedwait(&signals, nullptr, &step);
        if (signal == SIGHUP) {
            monitor.Reopen();
        } else if ((signal == SIGTERM || signal == SIGINT) && !stopping.joinable()) {
            stopping = std::thread([&] {
                monitor.Stop();
                stopped = true;
            });
        } else if (signal == SIGTERM || signal == SIGINT) {
            monitor.Abandon();
            std::fputs("tornavel-monitor: second stop signal: ending at once\n", stderr);
            std::fflush(stdout);
            std::_Exit(1);
        }
    }
    stopping.join();
    return 0;
}
