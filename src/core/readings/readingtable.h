#pragma once
#include <optional>
#include <span>
#include <string_view>

#include "bytes.h"
#include "protocol/devicetable.h"

namespace tornavel {

// How a reading's answer becomes a number.
enum class ParseRule {
    Text,              // kept as the unit says it: no number
    Decimal,           // "229.3", "024"
    MinutesToSeconds,  // "0042:" -> 2520
    HoursToSeconds,    // "336" -> 1209600
    HexByte,           // "FF" -> 255
    Date,              // "14/06/11" -> Unix time of that day's midnight UTC
};

// When a monitoring connection asks for the value again after its full read.
enum class Refresh {
    FullRead,    // only in the full read (and a setting's read-back)
    Rotation,    // one of the rotating reads: once in eight cycles
    EveryCycle,  // every monitoring cycle
    // Read once after the full read, by the monitor and tornavelctl only: the
    // window's traffic has no room for it (slots 32..37).
    AfterFullRead,
};

// A variable of the UPS network protocol: its name, lower case, and what
// GET DESC says of it.
struct ProtocolVariable {
    std::string_view name;
    std::string_view description;
};

// One value the unit gives: everything the window, the metrics, tornavelctl,
// the follower and the shutdown policy need to know of it, in one place.
// Whether a value read in a given cycle is settled (no unanswered exchange
// before it) is known only at run time: the polling loop says so with each
// cycle it reads.
struct Reading {
    Slot slot;              // where the record keeps its answer
    const Bytes* command;   // what asks the unit for it
    std::string_view name;  // stable name: tornavelctl show, JSON
    std::string_view unit;  // unit of the answer as the unit writes it ("%", "V", "min"), or empty
    ParseRule parse;
    Refresh refresh;
    // Metrics: the gauge's name after "tornavel_ups_" (empty: no gauge), its
    // help, and how many places the decimal point moves left in it (2 turns
    // a percentage into a ratio). A text reading with a metric is an info
    // series of its own: 1, with the text in the label named `label`.
    std::string_view metric;
    std::string_view help;
    int metricShift;
    std::string_view label;  // its label in the info, settings or its own series, if it has one
    // The variable of the UPS network protocol (RFC 9271) that serves it;
    // empty when the server does not serve it.
    ProtocolVariable rfc9271;
};

// One bit of the status byte ("Q"): its name in the metrics' flag label,
// in words for a person, and the status word of the UPS network protocol.
struct StatusBit {
    int bit;
    std::string_view metric;
    std::string_view words;
    std::string_view rfc9271;
};
// The eight bits, from bit 0.
std::span<const StatusBit> StatusBits();

// Every reading: in the order of the full read (slots 1..30), then those
// read after it (slots 32..37).
std::span<const Reading> Readings();
// The reading kept in `slot`; null for a slot no command fills.
const Reading* ReadingAt(int slot);
// The same for a slot known to be read (1..30, 32..37).
const Reading& ReadingOf(Slot slot);
// The reading of that name; null when none has it.
const Reading* FindReading(std::string_view name);

// The answer as a number in the reading's base unit (seconds, volts,
// percent, Unix time); nothing for a text reading or an answer that cannot
// be read whole: a garbled value is left out, never taken as 0.
std::optional<double> ReadingValue(const Reading& reading, const Bytes& answer);
// The same as its gauge publishes it (with the metric's shift).
std::optional<double> MetricValue(const Reading& reading, const Bytes& answer);
// A gauge's value back in the reading's base unit.
double FromMetric(const Reading& reading, double metricValue);

}  // namespace tornavel
