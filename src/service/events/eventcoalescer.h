#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tornavel::service {

// Folds repeats of one alert from one unit: the first of a kind passes at
// once and opens a window; its repeats within the window are only counted,
// and once the window has closed they come out as one summary with their
// number. Another kind of alert, or the same from another unit, has its own
// window, so it never waits behind a flood.
class EventCoalescer {
public:
    static constexpr std::int64_t kWindowMs = 10000;

    struct Repeats {
        std::string port;
        std::string name;
        std::uint64_t count = 0;
    };

    // True if the alert is to be passed now; false if it was folded. An
    // alert that changes the unit's state (`stateOf` names the state it
    // belongs to, such as the mains) is passed whenever the state it tells
    // differs from the last one told for that unit: mains failing again
    // right after they came back is news, not a repeat.
    bool Admit(const std::string& port, const std::string& name, std::int64_t nowMs, const std::string& stateOf = {});
    // The folded repeats of windows closed by `nowMs` (all of them when
    // `everything`), or of one port's windows when `port` is given.
    std::vector<Repeats> TakeDue(std::int64_t nowMs, bool everything = false, const std::string* port = nullptr);

private:
    struct Window {
        std::int64_t openedMs = 0;
        std::uint64_t repeats = 0;
    };
    std::map<std::pair<std::string, std::string>, Window> windows_;
    // The last alert passed per unit and state: (port, state) -> name.
    std::map<std::pair<std::string, std::string>, std::string> told_;
};

}  // namespace tornavel::service
