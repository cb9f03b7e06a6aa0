#pragma once
#include <array>
#include <functional>
#include <utility>

#include "bytes.h"

namespace tornavel {

class DeviceTable;

// The characters a UPS puts on the line unasked, at any moment.
inline const Bytes alertSet = "!$%+?=*#|";

struct tercom {
    const char* code;
    const char* message;
};
extern const std::array<tercom, 9> alertTable;

// Keeps the last alert or acknowledgement in slot 31 of the connected record
// and tells the observer of each.
class AlertReporter {
public:
    // Hears every token after it has been kept; runs on the reporting thread.
    using Observer = std::function<void(const Bytes& token)>;

    explicit AlertReporter(DeviceTable& table) : table_(table) {}
    // token: "OK", "NO" or one alert character.
    void ReportAlert(const Bytes& token);
    // Set before any thread reports (the session passes them on as events).
    void SetObserver(Observer observer) { observer_ = std::move(observer); }
    // The last "OK" or "NO" reported since the last call, or empty; on the
    // reporting thread. A unit acknowledges a test with one, which the alert
    // filter takes out of the answer line.
    Bytes TakeAcknowledgement() { return std::exchange(acknowledgement_, {}); }

private:
    DeviceTable& table_;
    Observer observer_;
    Bytes acknowledgement_;
};

// Takes the alert characters and the "OK"/"NO" acknowledgements out of an
// answer: alerts gets them in the order met, answer keeps everything else.
void SplitAlerts(Bytes& answer, Bytes& alerts);

// Reports what SplitAlerts took out; line := the first line of what remains,
// answer := what follows it.
void FilterAnswer(Bytes& answer, Bytes& line, AlertReporter& reporter);

}  // namespace tornavel
