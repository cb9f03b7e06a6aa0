#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "protection/outageclock.h"
#include "protocol/alerts.h"
#include "protocol/devicetable.h"
#include "serial/uucplock.h"

namespace tornavel::service {

// What the monitor publishes about one unit: taken from the unit's record
// after the full read and after every monitoring cycle, and from its alerts.
struct UnitSnapshot {
    std::string port;                           // the port label
    std::string unit;                           // the unit's name (--name); empty when not named
    bool up = false;                            // the last cycle got an answer
    std::optional<double> lastGoodSeconds;      // Unix time of the last answered cycle
    bool identified = false;                    // a full read has filled the record
    std::array<Bytes, kSlotCount + 1> slots{};  // the record's answers, as stored
    // The answers sure to be their own command's: what the full read got, then
    // each slot's last read after only answered exchanges. The values read in
    // every cycle stay only while their last read was settled; a slot read in
    // rotation keeps its last settled answer. Empty until known.
    std::array<Bytes, kSlotCount + 1> settled{};
    std::array<std::uint64_t, alertTable.size()> alerts{};  // per alertTable row
    std::uint64_t linkLosses = 0;
    OutageClock outage;                   // time on battery, last transfer
    std::optional<bool> shutdownPending;  // only for a unit that protects this host
    // While the port cannot be opened: the live process its UUCP lock file names.
    std::optional<LockHolder> lockHolder;
};

}  // namespace tornavel::service
