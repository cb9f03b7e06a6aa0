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
    const VoltReading reading{s2int(input), s2int(output)};
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
