#include "serial/portmap.h"

#include <sys/stat.h>

#include <cstdlib>

namespace tornavel {

namespace {

// The XDG base directory rules: a relative or empty XDG_CONFIG_HOME is ignored.
std::optional<std::string> ConfigHome()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg);
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config";
    return std::nullopt;
}

std::string BuiltInPath(int number)
{
    if (number <= 4) return "/dev/ttyS" + std::to_string(number - 1);
    if (number <= 12) return "/dev/ttyUSB" + std::to_string(number - 5);
    return "/dev/ttyACM" + std::to_string(number - 13);
}

}  // namespace

std::optional<std::string> PortMap::DevicePath(int number) const
{
    if (number < kFirstPort || number > kLastPort) return std::nullopt;
    const std::string name = "com" + std::to_string(number);
    if (portsDir_) return *portsDir_ + "/" + name;
    if (const auto config = ConfigHome()) {
        const std::string userPath = *config + "/tornavel/ports/" + name;
        struct stat st;
        // lstat: a link the user made counts even when its device is unplugged
        // (the port is then absent rather than silently some other device).
        if (::lstat(userPath.c_str(), &st) == 0) return userPath;
    }
    return BuiltInPath(number);
}

}  // namespace tornavel
