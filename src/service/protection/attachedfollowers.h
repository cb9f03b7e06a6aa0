#pragma once
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "clock.h"

namespace tornavel::service {

// The hosts that follow this monitor: once this host's shutdown is decided,
// it waits for them to be down before powering off. A follower that polls
// (a scrape of /metrics that names it) stays attached while it keeps coming
// back; one that holds a session (a login over the UPS network protocol)
// stays attached until it ends it. Ids are the caller's, one namespace per
// kind ("http:web-1"). Safe from every thread.
class AttachedFollowers {
public:
    // More ids than this are not taken: a flood of names cannot grow it.
    static constexpr std::size_t kMost = 256;

    explicit AttachedFollowers(const Clock& clock) : clock_(clock) {}

    // A polling follower showed life; it is gone once silent for `patienceSeconds`.
    void Seen(const std::string& id, double patienceSeconds);
    // A follower's session began: attached until Detach.
    void Attach(const std::string& id);
    // The follower is gone now (its goodbye, a logout, a closed session).
    void Detach(const std::string& id);

    // The ids attached now, in order.
    std::vector<std::string> Attached() const;

private:
    double Now() const { return static_cast<double>(clock_.NowMs()) / 1000.0; }
    bool Room(const std::string& id);

    const Clock& clock_;
    mutable std::mutex mutex_;
    std::map<std::string, std::optional<double>> until_;  // nothing: held until detached
};

// What a follower says of itself in the header of its scrapes,
// "Tornavel-Follower: NAME; every=SECONDS" with "; leaving" on its last one
// (its monitor stops) and "; dry-run" when it will never power its host off.
struct FollowerVisit {
    std::string name;  // 1 to 64 of A-Z a-z 0-9 . _ -
    int everySeconds = 5;
    bool leaving = false;
    bool dryRun = false;
};
inline constexpr const char* kFollowerHeader = "Tornavel-Follower";
// Nothing for a header that is not one (it is then ignored).
std::optional<FollowerVisit> ParseFollowerVisit(const std::string& header);
std::string FollowerVisitText(const FollowerVisit& visit);
// How long a polling follower may stay silent and still count: a few of its
// reads, since one may fail or come late.
double FollowerPatienceSeconds(int everySeconds);

}  // namespace tornavel::service
