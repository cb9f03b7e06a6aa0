#pragma once
#include <cstddef>
#include <optional>
#include <string>

#include "bytes.h"

namespace tornavel {

// The texts of a change request, ready for Requests::PostChange.
struct ChangeRequestTexts {
    Bytes changeCmd;
    Bytes changeValue;
};

// What the window does after a save click: post the request, flash the edit
// box, or do nothing (a well-formed date the calendar does not have).
enum class SaveOutcome { Request, Flash, Refused };

// The text cut to length, or padded at its end with fill up to length.
Bytes FitText(const Bytes& text, std::size_t length, char fill);
// dd/mm/yy: 8 characters, "/" 3rd and 6th, the three pairs decimal digits.
bool isDATA(const Bytes& text);
// A dd/mm/yy text whose month and day the calendar has; month 00 and day 00
// stand for "unknown" and pass.
bool DateFitsCalendar(const Bytes& date);
// Exactly two hex digits, either case.
bool IsRegisterValue(const Bytes& text);

// Typing filters: false drops the character.
bool AcceptIdentityChar(char32_t c);     // name, serial number, manufacture date
bool AcceptBatteryDateChar(char32_t c);  // control keys and digits only

// Date boxes: after a change the text of 2 or 5 characters gets its "/"
// (nullopt: leave the text as it is).
std::optional<std::string> AutoSlash(const std::string& utf8Text);
// Backspace first takes a trailing "/" away, so the key then deletes the
// digit before it and the slash does not come straight back.
bool BackspaceRemovesSlash(const std::string& utf8Text);

// Save checks of the parameter page; out is filled only for Request.
// Texts are the edit boxes' UTF-8 texts; what is sent is Windows-1251.
SaveOutcome PrepareSaveName(const std::string& utf8Text, ChangeRequestTexts& out);
SaveOutcome PrepareSaveSerial(const std::string& utf8Text, ChangeRequestTexts& out);
SaveOutcome PrepareSaveMadeDate(const std::string& utf8Text, ChangeRequestTexts& out);
SaveOutcome PrepareSaveBatteryDate(const std::string& utf8Text, ChangeRequestTexts& out);
SaveOutcome PrepareSaveRegister0(const std::string& utf8Text, ChangeRequestTexts& out);

}  // namespace tornavel
