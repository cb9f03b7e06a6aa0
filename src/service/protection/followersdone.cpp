#include "protection/followersdone.h"

#include "publish/textfile.h"

namespace tornavel::service {

bool FollowersDone::Check(const std::vector<std::string>& attached, double now)
{
    if (written_) return true;
    if (!attached.empty() || now < listenUntil_) {
        if (!attached.empty() && !waitingLogged_) {
            std::string names;
            for (const auto& id : attached) names += (names.empty() ? "" : ", ") + id;
            log_.Note("-", "followers_waited_for", "this host powers off once its followers are down: " + names);
            waitingLogged_ = true;
        }
        return false;
    }
    std::string error;
    written_ = TextfileWriter(path_).Write(bootId_ + "\n", error);
    if (written_)
        log_.Note("-", "followers_done", "no follower is attached any more: this host may power off");
    else if (!failingLogged_)
        log_.Note("-", "followers_done_failed", error + " (the root service waits out its limit)");
    failingLogged_ = !written_;
    return written_;
}

}  // namespace tornavel::service
