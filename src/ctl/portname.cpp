#include "portname.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "serial/portmap.h"
#include "serial/posixport.h"

namespace tornavel::ctl {

std::optional<PortName> ParsePortName(const std::string& word, const std::optional<std::string>& portsDir)
{
    if (word.find('/') != std::string::npos) return PortName{word, 0, word};
    if (word.size() < 4 || word.size() > 5) return std::nullopt;
    std::string prefix = word.substr(0, 3);
    for (char& c : prefix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string digits = word.substr(3);
    if (prefix != "COM" || digits[0] == '0' || !std::all_of(digits.begin(), digits.end(), ::isdigit))
        return std::nullopt;
    const int number = std::stoi(digits);
    const auto path = PortMap(portsDir).DevicePath(number);
    if (!path) return std::nullopt;
    return PortName{"COM" + digits, number, *path};
}

bool SameDevice(const PortName& a, const PortName& b)
{
    if (a.path == b.path) return true;
    std::error_code error;
    const auto realA = std::filesystem::canonical(a.path, error);
    if (error) return false;
    const auto realB = std::filesystem::canonical(b.path, error);
    return !error && realA == realB;
}

std::unique_ptr<PortOpener> OpenerFor(const PortName& port, const std::optional<std::string>& portsDir)
{
    if (port.number > 0) return std::make_unique<PosixPortOpener>(PortMap(portsDir));
    return std::make_unique<DevicePathOpener>(port.path);
}

}  // namespace tornavel::ctl
