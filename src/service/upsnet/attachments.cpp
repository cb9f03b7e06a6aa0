#include "upsnet/attachments.h"

namespace tornavel::service::upsnet {

void Attachments::Attach(std::uint64_t connection, Follower follower)
{
    std::lock_guard lock(mutex_);
    followers_[connection] = std::move(follower);
}

void Attachments::Detach(std::uint64_t connection)
{
    std::lock_guard lock(mutex_);
    followers_.erase(connection);
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
