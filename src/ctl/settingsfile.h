#pragma once
#include <string>
#include <utility>
#include <vector>

#include "protocol/devicetable.h"
#include "settings/namedsettings.h"

namespace tornavel::ctl {

// A settings file: a small YAML mapping of setting names to values under a
// version key, e.g.
//   tornavel-settings: 1
//   alarm-delay: "T"
//   battery-date: "14/06/11"
inline constexpr int kSettingsFileVersion = 1;

struct SettingValue {
    const NamedSetting* setting;
    std::string value;  // UTF-8
};

// The settings a backup keeps: those a fleet shares (the stepped ones and
// the battery date). The name, the manufacture date and register 0 are one
// unit's own; a file may still name them.
std::vector<const NamedSetting*> BackedUpSettings();

// A backup: every value exactly as the unit showed it, each one a value
// that apply takes back. A setting the unit answered "NA" (it has no such
// setting) is kept as a comment. False with a reason when a value is
// missing (no answer) or could not be applied back; nothing is to be
// written then.
bool WriteSettingsFile(const std::string& port, const apcrec& record, std::string& text,
                       std::vector<SettingValue>& values, std::string& error);

// Reads a settings file; false with "FILE:LINE: reason" for an unknown key,
// another version, a value the setting cannot take, or a key given twice.
bool ReadSettingsFile(const std::string& text, const std::string& fileName, std::vector<SettingValue>& values,
                      std::string& error);

}  // namespace tornavel::ctl
