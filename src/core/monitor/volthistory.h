#pragma once
#include <mutex>
#include <vector>

#include "bytes.h"

namespace tornavel {

// One reading: whole volts of the input and output voltage; -1 = no reading.
struct VoltReading {
    int input = -1;
    int output = -1;
};

// The most recent voltage readings, oldest first. The polling thread appends
// while the window draws, so both go through one lock and a drawing sees the
// history either before or after an append, never in the middle of a shift.
class VoltHistory {
public:
    static constexpr int VOLT_HISTORY_LEN = 130;

    VoltHistory() { ResetVoltGraph(); }
    void ResetVoltGraph();
    // Appends the readings of the answers to "L" and "O" (-1 for an empty
    // one); once full, the oldest reading is dropped.
    void SetVolt(const Bytes& input, const Bytes& output);
    // The voltCount valid readings, oldest first.
    std::vector<VoltReading> Readings() const;
    int voltCount() const;

private:
    mutable std::mutex mutex_;
    std::vector<VoltReading> voltHistory_;
    int voltCount_ = 0;
};

}  // namespace tornavel
