#pragma once

#include "device.h"
#include "faults.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace upssim {

struct PortChoice {
    std::string name; // "com1"
    DeviceKind kind;
};

// A fault option as given: for one port, or for every UPS port when port is empty.
struct FaultSetting {
    std::string port;
    std::function<void(Faults&)> apply;
};

struct Options {
    bool help = false;
    bool version = false;
    std::string dir;
    std::string logPath;
    std::optional<unsigned> seed;
    bool steady = false;
    BatteryModel battery;
    std::vector<PortChoice> ports;
    std::vector<FaultSetting> faults;
};

// nullopt with a message in error when the command line is wrong.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error);

// The faults of one port: settings for every UPS port first, then the port's own.
Faults FaultsFor(const Options& options, const PortChoice& port);

const char* HelpText();

}  // namespace upssim
