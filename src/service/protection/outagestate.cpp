#include "protection/outagestate.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "publish/textfile.h"

namespace tornavel::service {

std::optional<ShutdownPolicy::Outage> OutageState::Load() const
{
    std::ifstream in(path_);
    if (!in) return std::nullopt;
    std::string bootId;
    ShutdownPolicy::Outage outage;
    for (std::string line; std::getline(in, line);) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "boot_id") bootId = value;
        if (key == "on_battery") outage.onBattery = value == "1";
        if (key == "since" && !value.empty()) {
            try {
                outage.since = std::stod(value);
            } catch (const std::exception&) {
            }
        }
    }
    if (bootId.empty() || bootId != bootId_) {
        ::unlink(path_.c_str());
        return std::nullopt;
    }
    return outage;
}

bool OutageState::Save(const ShutdownPolicy::Outage& outage, std::string& error) const
{
    if (!outage.onBattery) {
        if (::unlink(path_.c_str()) == 0 || errno == ENOENT) return true;
        error = path_ + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = "boot_id=" + bootId_ +
                             "\non_battery=1\nsince=" + (outage.since ? std::to_string(*outage.since) : std::string()) +
                             "\n";
    return TextfileWriter(path_).Write(text, error);
}

std::string FileNameOf(const std::string& label)
{
    std::string name = label;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.') c = '_';
    return name;
}

}  // namespace tornavel::service
