#pragma once
#include <optional>
#include <string>

#include "serial/serialdevice.h"

namespace tornavel {

// Port number n (1 to 16) -> the device file that plays COMn:
//  1. with a ports directory (the --ports option): DIR/comN;
//  2. otherwise the user's own link or file $XDG_CONFIG_HOME/tornavel/ports/comN
//     (default ~/.config/...), e.g. com1 -> /dev/serial/by-id/...;
//  3. otherwise the usual Linux names: COM1-4 ttyS0-3, COM5-12 ttyUSB0-7,
//     COM13-16 ttyACM0-3.
// The path is not checked here: opening it decides whether the port exists.
class PortMap {
public:
    explicit PortMap(std::optional<std::string> portsDir = std::nullopt) : portsDir_(std::move(portsDir)) {}

    // No path for a number outside 1 to 16.
    std::optional<std::string> DevicePath(int number) const;

private:
    std::optional<std::string> portsDir_;
};

}  // namespace tornavel
