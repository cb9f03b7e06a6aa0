#pragma once
#include <optional>
#include <string>
#include <vector>

#include "unitsnapshot.h"

namespace tornavel::service::upsnet {

// The UPS network protocol's variables (RFC 9271 names), each taken from one
// of the core's readings: the one place that knows those names. Values come
// from the snapshot's settled answers only, so an answer that may belong to
// another command is never served.

// How a reading's answer becomes a variable's value.
enum class Form {
    Decimal,         // "229.3", "045.0" -> "229.3", "45"
    MinutesAsSeconds,
    HoursAsSeconds,
    Date,            // dd/mm/yy -> YYYY-MM-DD
    Text,            // as the unit answered, in UTF-8
    Status,          // the status byte -> "OL", "OB LB"...; FSD from the primary's decision
    Fixed,           // a constant: `fixed`
};

struct Variable {
    const char* name;         // as the protocol names it, lower case
    int slot;                 // the core's reading it comes from (0 for a constant)
    Form form;
    const char* description;  // GET DESC
    const char* fixed = "";
    // Read in every monitoring cycle: without a value now, the unit's answer
    // was not sure to be its own (stale), not missing (unsupported).
    bool everyCycle = false;
};

const std::vector<Variable>& Variables();
// The variable of that name, compared without regard to case; null when unknown.
const Variable* FindVariable(const std::string& name);

// The variable's value now, or nothing when the unit is not answering or its
// reading is not settled or cannot be read whole. `forcedShutdown` is the primary's decision for the unit.
std::optional<std::string> ValueOf(const Variable& variable, const UnitSnapshot& unit, bool forcedShutdown);

// GET TYPE's answer: NUMBER, or STRING:n for a text.
std::string TypeOf(const Variable& variable);

// The status symbols of a status byte, in the protocol's order; FSD first
// when the primary has decided.
std::string StatusSymbols(int statusByte, bool forcedShutdown);

// The other way, for a follower: the status byte the symbols stand for and
// whether FSD is among them. Symbols this monitor does not know are ignored.
struct ReadStatus {
    int statusByte = 0;
    bool forcedShutdown = false;
};
ReadStatus StatusFromSymbols(const std::string& symbols);

}  // namespace tornavel::service::upsnet
