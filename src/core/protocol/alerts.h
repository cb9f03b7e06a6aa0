#pragma once
#include <array>
#include <functional>

#include "bytes.h"

namespace tornavel {

class DeviceTable;
class Screen;

// The characters a UPS puts on the line unasked, at any moment.
inline const Bytes alertSet = "!$%+?=*#|";

struct tercom {
    const char* code;
    const char* message;
};
extern const std::array<tercom, 9> alertTable;

// Shows alerts and acknowledgements on the message labels and keeps the last
// one in slot 31 of the connected record.
class AlertReporter {
public:
    // Hears every token after it has been shown; runs on the reporting thread.
    using Observer = std::function<void(const Bytes& token)>;

    AlertReporter(Screen& screen, DeviceTable& table) : screen_(screen), table_(table) {}
    // token: "OK", "NO" or one alert character.
    void ReportAlert(const Bytes& token);
    // Set before any thread reports; the headless monitor counts alerts here.
    void SetObserver(Observer observer) { observer_ = std::move(observer); }

private:
    void Show(const Bytes& token);

    Screen& screen_;
    DeviceTable& table_;
    Observer observer_;
};

// Takes the alert characters and the "OK"/"NO" acknowledgements out of an
// answer: alerts gets them in the order met, answer keeps everything else.
void SplitAlerts(Bytes& answer, Bytes& alerts);

// Reports what SplitAlerts took out; line := the first line of what remains,
// answer := what follows it.
void FilterAnswer(Bytes& answer, Bytes& line, AlertReporter& reporter);

}  // namespace tornavel
