#include "upsnet/followermetrics.h"

#include "publish/metricstext.h"

namespace tornavel::service::upsnet {

std::string RenderAttachedFollowers(const std::vector<ServedUnit>& units, const Attachments& attachments)
{
    std::string counts =
        "# HELP tornavel_ups_attached_followers Followers attached to the unit over the UPS network protocol "
        "(ATTACH or LOGIN), which a shutdown of this host waits for.\n"
        "# TYPE tornavel_ups_attached_followers gauge\n";
    std::string info =
        "# HELP tornavel_ups_attached_follower_info One follower attached over the UPS network protocol.\n"
        "# TYPE tornavel_ups_attached_follower_info gauge\n";
    bool anyFollower = false;
    for (const ServedUnit& unit : units) {
        std::string labels = "port=\"" + Escaped(unit.snapshot.port) + "\"";
        if (!unit.snapshot.unit.empty()) labels += ",unit=\"" + Escaped(unit.snapshot.unit) + "\"";
        const auto followers = attachments.Of(unit.name);
        counts += "tornavel_ups_attached_followers{" + labels + "} " + std::to_string(followers.size()) + "\n";
        for (const auto& follower : followers) {
            anyFollower = true;
            info += "tornavel_ups_attached_follower_info{" + labels + ",address=\"" + Escaped(follower.address) +
                    "\",user=\"" + Escaped(follower.user) + "\"} 1\n";
        }
    }
    return counts + (anyFollower ? info : "");
}

}  // namespace tornavel::service::upsnet
