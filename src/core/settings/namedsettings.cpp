#include "settings/namedsettings.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "monitor/numbers.h"
#include "protocol/alerts.h"
#include "protocol/commands.h"
#include "protocol/devicetable.h"
#include "text/cp1251.h"
#include "text/procedures.h"

namespace tornavel {

namespace {

constexpr std::size_t kNameLength = 8;
// The longest answer a stepped setting gives is a handful of characters;
// anything longer cannot be one of its values.
constexpr std::size_t kLongestStepValue = 8;

const std::array<NamedSetting, 14> kSettings = {{
    {"alarm-delay", &cmd::kAlarmDelay, SettingKind::Stepped, kSlotAlarmDelay, "alarm delay after a mains failure"},
    {"self-test-interval", &cmd::kSelfTestInterval, SettingKind::Stepped, kSlotSelfTestInterval,
     "interval between automatic self-tests"},
    {"sensitivity", &cmd::kSensitivity, SettingKind::Stepped, kSlotSensitivity, "sensitivity to mains disturbances"},
    {"output-on-battery", &cmd::kOutputSetting, SettingKind::Stepped, kSlotOutputSetting, "output voltage on battery"},
    {"low-transfer", &cmd::kLowTransfer, SettingKind::Stepped, kSlotLowTransfer, "low transfer point (V)"},
    {"high-transfer", &cmd::kHighTransfer, SettingKind::Stepped, kSlotHighTransfer, "high transfer point (V)"},
    // How power comes back after a shutdown; the window has no box for them.
    {"grace-delay", &cmd::kGraceDelay, SettingKind::Stepped, kSlotGraceDelay,
     "seconds from a shutdown command to the output going off"},
    {"return-charge", &cmd::kReturnCharge, SettingKind::Stepped, kSlotReturnCharge,
     "battery charge needed before the load is powered again"},
    {"wakeup-delay", &cmd::kWakeupDelay, SettingKind::Stepped, kSlotWakeupDelay,
     "seconds after the mains return before the output comes on"},
    {"low-battery-warning", &cmd::kLowBatteryWarning, SettingKind::Stepped, kSlotLowBatteryWarning,
     "minutes of runtime left when the unit signals a low battery"},
    {"name", &cmd::kName, SettingKind::Text, kSlotName, "the unit's name, up to 8 characters"},
    {"battery-date", &cmd::kBatteryDate, SettingKind::Date, kSlotBatteryDate, "battery replacement date, dd/mm/yy"},
    {"manufacture-date", &cmd::kMadeDate, SettingKind::Date, kSlotMadeDate, "date of manufacture, dd/mm/yy"},
    {"register0", &cmd::kRegister0, SettingKind::Register, kSlotRegister0, "register 0, two hex digits"},
}};

std::string Trimmed(const Bytes& text)
{
    const auto keep = [](char c) { return c != '\0' && !std::isspace(static_cast<unsigned char>(c)); };
    const auto first = std::find_if(text.begin(), text.end(), keep);
    const auto last = std::find_if(text.rbegin(), text.rend(), keep).base();
    return first < last ? std::string(first, last) : std::string();
}

bool EqualIgnoringCase(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// What the unit could not store or would take for one of its own signals:
// characters outside Windows-1251 (they arrive as "?"), the alert
// characters, and control bytes.
bool StorableText(const Bytes& cp1251)
{
    return std::none_of(cp1251.begin(), cp1251.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F || CharInSet(c, alertSet);
    });
}

std::optional<ChangeRequestTexts> NameRequest(const std::string& value, std::string& error)
{
    const Bytes text = Utf8ToCp1251(value);
    if (text.empty()) {
        error = "an empty name cannot be written";
        return std::nullopt;
    }
    if (!StorableText(text)) {
        error = "the unit cannot store this name: only Windows-1251 characters, and none of " + alertSet +
                " or control characters";
        return std::nullopt;
    }
    if (text.size() > kNameLength) {
        error = "the name is too long: at most " + std::to_string(kNameLength) + " characters";
        return std::nullopt;
    }
    ChangeRequestTexts request;
    PrepareSaveName(value, request);
    return request;
}

// The same date with its first two fields swapped: 03/15/04 and 15/03/04.
Bytes MonthFirst(const Bytes& date)
{
    return date.substr(3, 2) + "/" + date.substr(0, 2) + date.substr(5);
}

std::optional<ChangeRequestTexts> DateRequest(const NamedSetting& setting, const std::string& value, std::string& error)
{
    ChangeRequestTexts request;
    const auto prepare = setting.command == &cmd::kMadeDate ? &PrepareSaveMadeDate : &PrepareSaveBatteryDate;
    switch (prepare(value, request)) {
    case SaveOutcome::Request: return request;
    case SaveOutcome::Flash: error = "\"" + value + "\" is not a date of the form dd/mm/yy or mm/dd/yy"; break;
    case SaveOutcome::Refused:
        // Units keep and report many dates month first (03/15/04): what a
        // unit reports must go back to it unchanged.
        if (DateFitsCalendar(MonthFirst(value))) {
            prepare(MonthFirst(value), request);
            request.changeValue = value;
            return request;
        }
        error = "\"" + value + "\" is not a date the calendar has, day or month first";
        break;
    }
    return std::nullopt;
}

}  // namespace

std::span<const NamedSetting> NamedSettings()
{
    return kSettings;
}

const NamedSetting* FindSetting(std::string_view name)
{
    for (const NamedSetting& setting : kSettings)
        if (setting.name == name) return &setting;
    return nullptr;
}

std::optional<ChangeRequestTexts> RequestForValue(const NamedSetting& setting, const std::string& value,
                                                  std::string& error)
{
    switch (setting.kind) {
    case SettingKind::Stepped: {
        const Bytes text = Utf8ToCp1251(value);
        if (Trimmed(text).empty() || text.size() > kLongestStepValue || !StorableText(text)) {
            error = "\"" + value + "\" cannot be a value of " + std::string(setting.name);
            return std::nullopt;
        }
        return ChangeRequestTexts{*setting.command, cmd::kStepUp};
    }
    case SettingKind::Text: return NameRequest(value, error);
    case SettingKind::Date: return DateRequest(setting, value, error);
    case SettingKind::Register: {
        ChangeRequestTexts request;
        if (PrepareSaveRegister0(value, request) == SaveOutcome::Request) return request;
        error = "\"" + value + "\" is not a register value: two hex digits, 00 to FF";
        return std::nullopt;
    }
    }
    return std::nullopt;
}

bool AnswerShows(const NamedSetting& setting, const Bytes& answer, const std::string& value)
{
    const std::string shown = Trimmed(answer);
    const std::string asked = Trimmed(Utf8ToCp1251(value));
    switch (setting.kind) {
    case SettingKind::Stepped: return !shown.empty() && EqualIgnoringCase(shown, asked);
    case SettingKind::Register:
        return IsHexByte(shown) && IsHexByte(asked) && HexByteValue(shown) == HexByteValue(asked);
    case SettingKind::Text:
    case SettingKind::Date: return shown == asked;
    }
    return false;
}

}  // namespace tornavel
