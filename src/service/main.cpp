// tornavel-monitor: watches Smart-UPS units on serial ports and publishes
// their readings as Prometheus metrics.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "monitor.h"
#include "options.h"
#include "setupcheck.h"
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
    if (command.options.webConfigFile) {
        std::string error;
        const auto web = LoadWebConfig(*command.options.webConfigFile, error);
        if (!web) {
            std::fprintf(stderr, "tornavel-monitor: %s\n", error.c_str());
            return 2;
        }
        command.options.web = *web;
    }
    if (command.action == CommandLine::Action::Check) return CheckSetup(command.options, stdout, stderr);

    // SIGTERM and SIGINT are taken by sigwait below: blocked before any
    // thread starts, so every thread inherits the block. A vanished serial
    // device or a closed HTTP client must not end the program.
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    Monitor monitor(command.options);
    std::string error;
    if (!monitor.Open(error)) {
        std::fprintf(stderr, "tornavel-monitor: %s\n", error.c_str());
        return 1;
    }
    monitor.Start();
    int signal = 0;
    while (::sigwait(&stopSignals, &signal) != 0) {
    }
    monitor.Stop();
    return 0;
}
