#include "upsnet/attachments.h"

namespace tornavel::service::upsnet {

std::string Attachments::RegistryId(std::uint64_t connection, const Follower& follower)
{
    return "ups:" + follower.address + "#" + std::to_string(connection);
}

void Attachments::Attach(std::uint64_t connection, Follower follower)
{
    std::lock_guard lock(mutex_);
    if (registry_) registry_->Attach(RegistryId(connection, follower));
    followers_[connection] = std::move(follower);
}

void Attachments::Detach(std::uint64_t connection)
{
    std::lock_guard lock(mutex_);
    const auto found = followers_.find(connection);
    if (found == followers_.end()) return;
    if (registry_) registry_->Detach(RegistryId(connection, found->second));
    followers_.erase(found);
}

bool Attachments::IsAttached(std::uint64_t connection) const
{
    std::lock_guard lock(mutex_);
    return followers_.count(connection) != 0;
}

std::vector<Attachments::Follower> Attachments::Of(const std::string& unit) const
{
    std::lock_guard lock(mutex_);
    std::vector<Follower> found;
    for (const auto& [connection, follower] : followers_)
        if (follower.unit == unit) found.push_back(follower);
    return found;
}

std::vector<Attachments::Follower> Attachments::All() const
{
    std::lock_guard lock(mutex_);
    std::vector<Follower> all;
    for (const auto& [connection, follower] : followers_) all.push_back(follower);
    return all;
}

}  // namespace tornavel::service::upsnet
