#include "monitor/volthistory.h"

#include "monitor/numbers.h"

namespace tornavel {

void VoltHistory::ResetVoltGraph()
{
    std::lock_guard lock(mutex_);
    voltCount_ = 0;
    voltHistory_.assign(VOLT_HISTORY_LEN, VoltReading{});
}

void VoltHistory::SetVolt(const Bytes& input, const Bytes& output)
{
    // An unanswered read is no reading: the graph leaves its column empty
    // rather than drawing a drop to 0 V.
    auto volts = [](const Bytes& answer) { return answer.empty() ? -1 : s2int(answer); };
    const VoltReading reading{volts(input), volts(output)};
    std::lock_guard lock(mutex_);
    if (voltCount_ < VOLT_HISTORY_LEN) {
        voltHistory_[voltCount_++] = reading;
        return;
    }
    voltHistory_.erase(voltHistory_.begin());
    voltHistory_.push_back(reading);
}

std::vector<VoltReading> VoltHistory::Readings() const
{
    std::lock_guard lock(mutex_);
    return {voltHistory_.begin(), voltHistory_.begin() + voltCount_};
}

int VoltHistory::voltCount() const
{
    std::lock_guard lock(mutex_);
    return voltCount_;
}

}  // namespace tornavel
