#pragma once

#include "bytelog.h"
#include "openwatch.h"
#include "options.h"
#include "ptyport.h"

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace upssim {

// Owns the ports and runs them, with the events from standard input, until
// SIGTERM, SIGINT or SIGHUP.
class Simulator {
public:
    explicit Simulator(Options options);
    ~Simulator();

    // Creates the directory, the log and the ports; prints their links and "ready".
    bool Start(std::string& error);
    void Run();

private:
    void ReadEvents(double now);
    void NoticeAccesses(double now);

    Options options_;
    ByteLog log_;
    OpenWatch watch_;
    std::mt19937 random_;
    std::vector<std::unique_ptr<PtyPort>> ports_;
    bool stdinOpen_ = true;
    std::string pendingLine_;
};

// Blocks the stop signals except inside the main loop's wait and installs their handler.
void InstallStopSignals();

}  // namespace upssim
