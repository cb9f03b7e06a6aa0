#pragma once
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "bytes.h"
#include "settings/fieldrules.h"

namespace tornavel {

// How a setting is changed on the unit.
enum class SettingKind {
    Stepped,   // "+" moves to the unit's next value; the program holds no list
    Text,      // written character by character, zero-filled to its length
    Date,      // dd/mm/yy, written like a text
    Register,  // register 0, stepped by count inside programming mode
};

// The settings a shell may change, under stable names: the same changes and
// commands as the window's parameter page.
struct NamedSetting {
    std::string_view name;
    const Bytes* command;
    SettingKind kind;
    int slot;  // where the full read keeps its value
    std::string_view title;
};

std::span<const NamedSetting> NamedSettings();
const NamedSetting* FindSetting(std::string_view name);

// The change request that writes `value` (UTF-8), checked as the window's
// typing filters and save checks check it; nullopt with a one-line reason
// for a value that must not be written. A stepped setting has no request of
// its own: it is reached by steps (see settingchange.h), and only a value
// that can be an answer at all is accepted here.
std::optional<ChangeRequestTexts> RequestForValue(const NamedSetting& setting, const std::string& value,
                                                  std::string& error);

// Whether the unit's answer shows the value asked for: blanks at the ends
// and the zero bytes of a short text do not count, a stepped value is
// compared without regard to case, a register by its number.
bool AnswerShows(const NamedSetting& setting, const Bytes& answer, const std::string& value);

}  // namespace tornavel
