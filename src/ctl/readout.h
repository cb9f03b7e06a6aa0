#pragma once
#include <string>
#include <vector>

#include "jsontext.h"
#include "protocol/devicetable.h"

namespace tornavel::ctl {

// The full read's values with names and units, as the window's monitor and
// parameter pages show them: a measurement as its typed reading ("24.0 %"),
// everything else as the unit's text after the alert filter. A value the
// unit did not answer reads "(no answer)". Text from the unit is shown with
// its control bytes escaped, so it cannot drive the terminal.
std::string ReadoutText(const std::string& header, const apcrec& record);
// Sets "values" (each {"value", "unit", "raw"}: a typed number, or the text,
// beside the unit's answer) and "status" (the status byte's flags in words).
void ReadoutJson(const apcrec& record, JsonObject& into);

// The names of the values the unit left unanswered.
std::vector<std::string> MissingValues(const apcrec& record);

// The status byte's flags in words ("on line, replace battery"), or empty.
std::string StatusWords(const Bytes& status);

// Text for a terminal: control bytes but the line end as \xNN, so no text
// from a unit, a file or a command line can drive the terminal.
std::string TerminalText(const std::string& utf8);
// A unit's answer for a terminal: Windows-1251 decoded, every control byte as \xNN.
std::string Printable(const Bytes& answer);

}  // namespace tornavel::ctl
