#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "protection/attachedfollowers.h"

namespace tornavel::service::upsnet {

// The followers attached to this monitor's units over the UPS network
// protocol: one entry per connection that sent ATTACH (LOGIN) and has not
// detached or gone. The primary's shutdown waits for them to leave. Shared
// by the server's thread and the monitor's readers.
class Attachments {
public:
    // Each follower is also held in the monitor's registry of followers,
    // which the host's shutdown waits for, as "ups:ADDRESS#CONNECTION".
    explicit Attachments(AttachedFollowers* registry = nullptr) : registry_(registry) {}

    struct Follower {
        std::string unit;     // the unit's name as served
        std::string address;  // the follower's IP address
        std::string user;
    };

    void Attach(std::uint64_t connection, Follower follower);
    // Nothing happens for a connection that is not attached.
    void Detach(std::uint64_t connection);
    bool IsAttached(std::uint64_t connection) const;
    // The unit's followers, oldest connection first.
    std::vector<Follower> Of(const std::string& unit) const;
    std::vector<Follower> All() const;

private:
    static std::string RegistryId(std::uint64_t connection, const Follower& follower);

    AttachedFollowers* const registry_;
    mutable std::mutex mutex_;
    std::map<std::uint64_t, Follower> followers_;  // by connection id: ids only grow
};

}  // namespace tornavel::service::upsnet
