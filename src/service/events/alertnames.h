#pragma once
#include <array>

#include "protocol/alerts.h"

namespace tornavel::service {

// The names of the alerts in metrics and event lines, row by row of alertTable.
inline constexpr std::array<const char*, alertTable.size()> kAlertNames = {
    "mains_failure",    "mains_restored",     "battery_low",
    "battery_ok",       "abnormal_condition", "abnormal_condition_cleared",
    "shutdown_pending", "replace_battery",    "eeprom_written",
};

// The row of "!", the unit's transfer to battery.
inline constexpr int kMainsFailureRow = 0;

// The alertTable row of a token; -1 for "OK", "NO" and anything else.
inline int AlertRow(const Bytes& token)
{
    for (std::size_t row = 0; row < alertTable.size(); ++row)
        if (token == alertTable[row].code) return static_cast<int>(row);
    return -1;
}

}  // namespace tornavel::service
