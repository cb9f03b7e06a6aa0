#pragma once
#include <optional>

#include "bytes.h"

namespace tornavel::service {

// A unit's answers read as numbers for the metrics. Each gives nothing for an
// answer it cannot read whole: a missing or garbled value is left out, never
// reported as 0.

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

}  // namespace tornavel::service
