#pragma once
#include <optional>
#include <string>

#include "protection/shutdownpolicy.h"

namespace tornavel::service {

// A unit's outage as its policy last saw it, kept in the state directory so
// that a restart of the service in the same boot does not forget that the
// unit was on battery. Its times are on the monotonic clock, which runs on
// across a restart of the service and is compared only within one boot.
class OutageState {
public:
    OutageState(std::string path, std::string bootId) : path_(std::move(path)), bootId_(std::move(bootId)) {}

    // The outage saved in this boot, if any; a file of another boot is removed.
    std::optional<ShutdownPolicy::Outage> Load() const;
    // Saves an outage, or removes the file when the unit is not on battery;
    // false with the reason.
    bool Save(const ShutdownPolicy::Outage& outage, std::string& error) const;

private:
    const std::string path_;
    const std::string bootId_;
};

// A port label as a file name: '/' and other odd bytes become '_'.
std::string FileNameOf(const std::string& label);

}  // namespace tornavel::service
