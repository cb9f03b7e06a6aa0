#pragma once
#include <string>

#include "protocol/devicetable.h"

namespace tornavel::ctl {

// The full read's values with names and units, as the window's monitor and
// parameter pages show them (the unit's text after the alert filter).
std::string ReadoutText(const std::string& port, const apcrec& record);
std::string ReadoutJson(const std::string& port, const apcrec& record);

// The status byte's flags in words ("on line, replace battery"), or empty.
std::string StatusWords(const Bytes& status);

}  // namespace tornavel::ctl
