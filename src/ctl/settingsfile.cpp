#include "settingsfile.h"

#include <sstream>

#include "text/cp1251.h"

namespace tornavel::ctl {

namespace {

const std::string kVersionKey = "tornavel-settings";

std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A double-quoted scalar (with \" and \\) or a plain one ending at " #".
bool ParseScalar(const std::string& text, std::string& value)
{
    if (text.empty() || text[0] != '"') {
        value = Trim(text.substr(0, text.find(" #")));
        return true;
    }
    value.clear();
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '"') {
            const std::string rest = Trim(text.substr(i + 1));
            return rest.empty() || rest[0] == '#';
        }
        if (text[i] == '\\' && ++i == text.size()) return false;
        value += text[i];
    }
    return false;  // no closing quote
}

}  // namespace

std::vector<const NamedSetting*> BackedUpSettings()
{
    std::vector<const NamedSetting*> settings;
    for (const NamedSetting& setting : NamedSettings())
        if (setting.kind == SettingKind::Stepped || setting.name == "battery-date") settings.push_back(&setting);
    return settings;
}

bool WriteSettingsFile(const std::string& port, const apcrec& record, std::string& text,
                       std::vector<SettingValue>& values, std::string& error)
{
    // The unit's texts go into comments only after their line ends are gone.
    const auto comment = [](const Bytes& answer) {
        std::string line = Cp1251ToUtf8(answer);
        for (char& c : line)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
        return line;
    };
    text = "# Smart-UPS settings read from " + comment(Bytes(port)) + " (" + comment(record.slot[kSlotModel]) +
           ", serial " + comment(record.slot[kSlotSerial]) + ") by tornavelctl backup.\n" +
           "# Bring units to them with: tornavelctl apply FILE PORT...\n" + kVersionKey + ": " +
           std::to_string(kSettingsFileVersion) + "\n";
    values.clear();
    for (const NamedSetting* setting : BackedUpSettings()) {
        const Bytes& answer = record.slot[setting->slot];
        const std::string name(setting->name);
        if (answer == "NA") {
            text += "# " + name + ": the unit has no such setting (it answers \"NA\")\n";
            continue;
        }
        const std::string value = Cp1251ToUtf8(answer);
        std::string reason;
        if (answer.empty()) {
            error = port + ": no answer to " + name + "; nothing written";
            return false;
        }
        if (!RequestForValue(*setting, value, reason)) {
            error = port + ": " + name + " could not be applied back (" + reason + "); nothing written";
            return false;
        }
        text += name + ": " + Quoted(value) + "\n";
        values.push_back({setting, value});
    }
    return true;
}

bool ReadSettingsFile(const std::string& text, const std::string& fileName, std::vector<SettingValue>& values,
                      std::string& error)
{
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    bool versioned = false;
    const auto fail = [&](const std::string& reason) {
        error = fileName + ":" + std::to_string(number) + ": " + reason;
        return false;
    };
    values.clear();
    while (std::getline(lines, line)) {
        ++number;
        const std::string content = Trim(line);
        if (content.empty() || content[0] == '#') continue;
        const auto colon = content.find(':');
        if (colon == std::string::npos) return fail("not a \"setting: value\" line");
        const std::string key = Trim(content.substr(0, colon));
        std::string value;
        if (!ParseScalar(Trim(content.substr(colon + 1)), value)) return fail("a value with no closing quote");
        if (key == kVersionKey) {
            if (value != std::to_string(kSettingsFileVersion))
                return fail("a settings file of version " + value + "; this tornavelctl reads version " +
                            std::to_string(kSettingsFileVersion));
            versioned = true;
            continue;
        }
        const NamedSetting* setting = FindSetting(key);
        if (!setting) return fail("unknown setting \"" + key + "\"");
        for (const SettingValue& earlier : values)
            if (earlier.setting == setting) return fail("\"" + key + "\" given twice");
        std::string reason;
        if (!RequestForValue(*setting, value, reason)) return fail(reason);
        values.push_back({setting, value});
    }
    if (!versioned) {
        error = fileName + ": not a settings file (no \"" + kVersionKey + ": " + std::to_string(kSettingsFileVersion) +
                "\" line)";
        return false;
    }
    return true;
}

}  // namespace tornavel::ctl
