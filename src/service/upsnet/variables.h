#pragma once
#include <optional>
#include <string>
#include <vector>

#include "readings/readingtable.h"
#include "units/unitsnapshot.h"

namespace tornavel::service::upsnet {

// The UPS network protocol's variables (RFC 9271 names): the readings the
// readings table gives a protocol name, and the protocol's own device.*
// variables. Values come from the snapshot's settled answers only, so an
// answer that may belong to another command is never served.

// How a reading's answer becomes a variable's value.
enum class Form {
    Number,  // the reading's value in its base unit: "229.3", "045.0" -> "229.3", "45"; minutes as seconds
    Date,    // dd/mm/yy -> YYYY-MM-DD
    Text,    // as the unit answered, in UTF-8
    Status,  // the status byte -> "OL", "OB LB"...; FSD from the primary's decision
    Fixed,   // a constant: `fixed`
};

struct Variable {
    std::string name;        // as the protocol names it, lower case
    const Reading* reading;  // the reading it comes from (null for a constant)
    Form form;
    std::string description;  // GET DESC
    std::string fixed = "";
    // Read in every monitoring cycle: without a value now, the unit's answer
    // was not sure to be its own (stale), not missing (unsupported).
    bool everyCycle = false;
};

// In the order of their names.
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
