#pragma once
#include <string>

#include "bytes.h"

namespace tornavel::service {

// A unit's answer as UTF-8 text fit for a log line, a label value or an
// environment variable: control characters (NUL included) become U+FFFD, so
// text from a unit can never start a new line or cut a value short.
std::string UnitText(const Bytes& answer);

// An event line's text: the same for any UTF-8 text of our own.
std::string PrintableText(const std::string& utf8);

}  // namespace tornavel::service
