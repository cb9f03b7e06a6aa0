#pragma once

#include <functional>
#include <limits>
#include <map>

namespace upssim {

// One-shot actions at given times (milliseconds, clockms scale), run in time order.
class Timers {
public:
    using Action = std::function<void(double now)>;

    void At(double when, Action action) { due_.emplace(when, std::move(action)); }

    // Runs every action whose time has come; actions may schedule new ones.
    void Run(double now)
    {
        while (!due_.empty() && due_.begin()->first <= now) {
            Action action = std::move(due_.begin()->second);
            due_.erase(due_.begin());
            action(now);
        }
    }

    double Next() const
    {
        return due_.empty() ? std::numeric_limits<double>::infinity() : due_.begin()->first;
    }

private:
    std::multimap<double, Action> due_;
};

}  // namespace upssim
