#include "protection/attachedfollowers.h"

#include <cctype>
#include <sstream>

#include "app/monitoroptions.h"

namespace tornavel::service {

bool AttachedFollowers::Room(const std::string& id)
{
    if (until_.count(id) || until_.size() < kMost) return true;
    const double now = Now();
    std::erase_if(until_, [now](const auto& entry) { return entry.second && *entry.second <= now; });
    return until_.size() < kMost;
}

void AttachedFollowers::Seen(const std::string& id, double patienceSeconds)
{
    std::lock_guard lock(mutex_);
    if (!Room(id)) return;
    const auto held = until_.find(id);
    if (held != until_.end() && !held->second) return;  // a session already held stays held
    until_[id] = Now() + patienceSeconds;
}

void AttachedFollowers::Attach(const std::string& id)
{
    std::lock_guard lock(mutex_);
    if (Room(id)) until_[id] = std::nullopt;
}

void AttachedFollowers::Detach(const std::string& id)
{
    std::lock_guard lock(mutex_);
    until_.erase(id);
}

std::vector<std::string> AttachedFollowers::Attached() const
{
    std::lock_guard lock(mutex_);
    const double now = Now();
    std::vector<std::string> ids;
    for (const auto& [id, until] : until_)
        if (!until || *until > now) ids.push_back(id);
    return ids;
}

std::optional<FollowerVisit> ParseFollowerVisit(const std::string& header)
{
    std::istringstream parts(header);
    std::string part;
    FollowerVisit visit;
    bool first = true;
    while (std::getline(parts, part, ';')) {
        const auto begin = part.find_first_not_of(' ');
        const auto end = part.find_last_not_of(' ');
        part = begin == std::string::npos ? std::string() : part.substr(begin, end - begin + 1);
        if (first) {
            first = false;
            if (part.empty() || part.size() > 64) return std::nullopt;
            for (const char c : part)
                if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
                    return std::nullopt;
            visit.name = part;
        } else if (part.rfind("every=", 0) == 0) {
            const auto every = ParseWholeNumber(part.substr(6), 1, 60);
            if (!every) return std::nullopt;
            visit.everySeconds = *every;
        } else if (part == "leaving") {
            visit.leaving = true;
        } else if (part == "dry-run") {
            visit.dryRun = true;
        } else {
            return std::nullopt;
        }
    }
    if (first) return std::nullopt;
    return visit;
}

std::string FollowerVisitText(const FollowerVisit& visit)
{
    return visit.name + "; every=" + std::to_string(visit.everySeconds) + (visit.dryRun ? "; dry-run" : "") +
           (visit.leaving ? "; leaving" : "");
}

double FollowerPatienceSeconds(int everySeconds)
{
    return 3.0 * everySeconds + 2;
}

}  // namespace tornavel::service
