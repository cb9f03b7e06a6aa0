#include "events/eventcoalescer.h"

namespace tornavel::service {

bool EventCoalescer::Admit(const std::string& port, const std::string& name, std::int64_t nowMs,
                           const std::string& stateOf)
{
    bool news = false;
    if (!stateOf.empty()) {
        std::string& told = told_[{port, stateOf}];
        news = told != name;
        told = name;
    }
    const auto key = std::make_pair(port, name);
    const auto found = windows_.find(key);
    if (!news && found != windows_.end() && nowMs - found->second.openedMs < kWindowMs) {
        ++found->second.repeats;
        return false;
    }
    // Repeats of a closed window not taken yet wait for the next summary.
    windows_[key] = Window{nowMs, found != windows_.end() ? found->second.repeats : 0};
    return true;
}

std::vector<EventCoalescer::Repeats> EventCoalescer::TakeDue(std::int64_t nowMs, bool everything,
                                                             const std::string* port)
{
    std::vector<Repeats> due;
    for (auto it = windows_.begin(); it != windows_.end();) {
        const bool closed = nowMs - it->second.openedMs >= kWindowMs;
        const bool chosen = everything || closed || (port && it->first.first == *port);
        if (chosen && it->second.repeats > 0) due.push_back({it->first.first, it->first.second, it->second.repeats});
        if (chosen) it->second.repeats = 0;
        // A closed window with nothing left is forgotten.
        if (closed && it->second.repeats == 0)
            it = windows_.erase(it);
        else
            ++it;
    }
    return due;
}

}  // namespace tornavel::service
