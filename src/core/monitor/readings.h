#pragma once
#include <optional>

#include "bytes.h"

namespace tornavel {

// A unit's answers read as typed values, in one place for the monitor, the
// command-line tool and the window. Each gives nothing for an answer it cannot
// read whole: a missing or garbled value is left out, never taken as 0.

// Plain decimal: digits with an optional fraction ("229.3", "024"), blanks
// around it allowed. `shift` moves the decimal point left (2 turns percent
// into a ratio) without a rounding error.
std::optional<double> ParseDecimal(const Bytes& answer, int shift = 0);
// Whole minutes, optionally followed by a colon ("0042:"), in seconds.
std::optional<double> ParseMinutesAsSeconds(const Bytes& answer);
// Whole hours ("336"), in seconds.
std::optional<double> ParseHoursAsSeconds(const Bytes& answer);
// One or two hex digits, either case ("08", "a0").
std::optional<int> ParseHexByte(const Bytes& answer);
// A date as the unit keeps it, dd/mm/yy ("14/06/11"), as the Unix time of
// that day's midnight UTC. Two-digit years 70 to 99 are 1970 to 1999, the
// others 2000 to 2069. A day the calendar does not have (00/00/00 as the
// unit may hold when never set, 31/04/05) gives nothing.
std::optional<double> ParseDateAsTimestamp(const Bytes& answer);

// The status byte ("Q"), bit by bit.
struct StatusFlags {
    int bits = 0;
    bool Calibrating() const { return bits & 0x01; }
    bool SmartTrim() const { return bits & 0x02; }
    bool SmartBoost() const { return bits & 0x04; }
    bool OnLine() const { return bits & 0x08; }
    bool OnBattery() const { return bits & 0x10; }
    bool Overload() const { return bits & 0x20; }
    bool BatteryLow() const { return bits & 0x40; }
    bool ReplaceBattery() const { return bits & 0x80; }
};
// Only a well-formed status byte gives flags: one garbled answer must not
// read as a state the unit is not in.
std::optional<StatusFlags> ParseStatus(const Bytes& answer);

}  // namespace tornavel
