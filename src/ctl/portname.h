#pragma once
#include <memory>
#include <optional>
#include <string>

#include "serial/serialdevice.h"

namespace tornavel::ctl {

// A port as named on the command line: COM1 to COM16 (any case), through
// the program's port map, or a device path such as /dev/serial/by-id/...
struct PortName {
    std::string label;  // "COM3", or the path as given: how the monitor names the unit too
    int number = 0;     // 1..16, or 0 for a path
    std::string path;   // the device file it names
};

// nullopt for a word that is neither COMn (1..16) nor a path.
std::optional<PortName> ParsePortName(const std::string& word, const std::optional<std::string>& portsDir);

// Two names for the same device file (links followed), e.g. COM1 and its path.
bool SameDevice(const PortName& a, const PortName& b);

// Opens the named port exclusively, as the window does.
std::unique_ptr<PortOpener> OpenerFor(const PortName& port, const std::optional<std::string>& portsDir);

}  // namespace tornavel::ctl
