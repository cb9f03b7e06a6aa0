#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "bytes.h"

namespace tornavel {

// A measured value as a person reads it: the unit's answer as a number,
// kept with as many decimals as the unit gave ("024.0" is 24.0, "0041:" is
// 41, "000" is 0), keyed by the command that asks for it. Settings, dates,
// texts and register bytes have no typed form here: they are shown as the
// unit says them, which is also what a change must give back.
struct TypedReading {
    double value = 0;
    int decimals = 0;
};

// Nothing for a command that is not a measurement, or an answer that is not
// a whole number of the form the command gives (garbled, empty, "NA").
std::optional<TypedReading> ReadTyped(const Bytes& command, const Bytes& answer);

// "24.0", "41", "0".
std::string TypedText(const TypedReading& reading);

// What a coded answer means, in words: the last self-test's result ("X":
// "BT" is "failed: not enough capacity") and the cause of the last transfer
// to battery ("G": "L" is "low mains voltage"); empty for any other command
// or an answer without a known meaning.
std::string_view AnswerMeaning(const Bytes& command, const Bytes& answer);

}  // namespace tornavel
