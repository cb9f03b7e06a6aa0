#pragma once
#include <string>
#include <vector>

namespace tornavel {

class DeviceTable;

// The calibration preconditions that the last read values do not meet, one
// UTF-8 line each, in the order register 0, battery, load. Warnings only:
// they never block the start.
std::vector<std::string> CalibrationWarnings(const DeviceTable& table);

}  // namespace tornavel
