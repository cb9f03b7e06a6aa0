#pragma once
#include <ctime>
#include <string>

namespace tornavel {

class Screen;

// Whether the monitoring page's values are current. After a monitoring cycle
// that got no answer at all, the values are shown as old: greyed, the status
// icons hidden and the gauges grey without a figure (they no longer know a
// state), and the status line gives the time of the last good reading. The
// first answered cycle shows them as current again.
class Staleness {
public:
    explicit Staleness(Screen& screen) : screen_(screen) {}

    // The values on screen were read at `at` (the full read before monitoring).
    void Start(std::time_t at);
    // After each monitoring cycle, with the wall-clock time it ended.
    void AfterCycle(bool answered, std::time_t now);
    bool stale() const { return stale_; }

private:
    void ShowOld();
    void ShowCurrent();
    // Colours and icons as for current values; the status line untouched.
    void Restore();

    Screen& screen_;
    std::time_t lastGood_ = 0;
    bool stale_ = false;
};

// "нет ответа, данные от 12:34:56" in local time.
std::string StaleText(std::time_t lastGood);

}  // namespace tornavel
