#include "readout.h"

#include <array>

#include <cstdio>

#include "monitor/readings.h"
#include "monitor/typedreading.h"
#include "text/cp1251.h"

namespace tornavel::ctl {

namespace {

struct ShownValue {
    int slot;
    const char* name;
    const char* unit;  // appended for a person, empty when the value has none
};

// In the order of the full read; setting values carry their setting names.
constexpr std::array<ShownValue, 36> kValues = {{
    {kSlotModel, "model", ""},
    {kSlotName, "name", ""},
    {kSlotSerial, "serial", ""},
    {kSlotMadeDate, "manufacture-date", ""},
    {kSlotStatus, "status", ""},
    {kSlotLoad, "load", "%"},
    {kSlotBatteryCount, "external-batteries", ""},
    {kSlotBatteryDate, "battery-date", ""},
    {kSlotBatteryVolts, "battery-voltage", "V"},
    {kSlotNominalVolts, "nominal-battery-voltage", "V"},
    {kSlotTemperature, "temperature", "°C"},
    {kSlotRuntime, "runtime", "min"},
    {kSlotCharge, "battery-charge", "%"},
    {kSlotAlarmDelay, "alarm-delay", ""},
    {kSlotSelfTestInterval, "self-test-interval", ""},
    {kSlotSensitivity, "sensitivity", ""},
    {kSlotOutputSetting, "output-on-battery", "V"},
    {kSlotLowTransfer, "low-transfer", "V"},
    {kSlotHighTransfer, "high-transfer", "V"},
    {kSlotMinLine, "min-line-voltage", "V"},
    {kSlotMaxLine, "max-line-voltage", "V"},
    {kSlotInputVolts, "input-voltage", "V"},
    {kSlotOutputVolts, "output-voltage", "V"},
    {kSlotFrequency, "frequency", "Hz"},
    {kSlotLineQuality, "line-quality", ""},
    {kSlotSeven, "switches", ""},
    {kSlotRegister0, "register0", ""},
    {kSlotRegister1, "register1", ""},
    {kSlotRegister2, "register2", ""},
    {kSlotRegister3, "register3", ""},
    {kSlotGraceDelay, "grace-delay", "s"},
    {kSlotReturnCharge, "return-charge", ""},
    {kSlotWakeupDelay, "wakeup-delay", "s"},
    {kSlotLowBatteryWarning, "low-battery-warning", "min"},
    {kSlotSelfTestResult, "last-self-test", ""},
    {kSlotTransferCause, "last-transfer-cause", ""},
}};

struct Flag {
    bool (StatusFlags::*test)() const;
    const char* words;
};

constexpr std::array<Flag, 8> kFlags = {{
    {&StatusFlags::Calibrating, "calibrating"},
    {&StatusFlags::SmartTrim, "smart trim"},
    {&StatusFlags::SmartBoost, "smart boost"},
    {&StatusFlags::OnLine, "on line"},
    {&StatusFlags::OnBattery, "on battery"},
    {&StatusFlags::Overload, "overload"},
    {&StatusFlags::BatteryLow, "battery low"},
    {&StatusFlags::ReplaceBattery, "replace battery"},
}};

}  // namespace

std::string StatusWords(const Bytes& status)
{
    const auto flags = ParseStatus(status);
    if (!flags) return {};
    std::string words;
    for (const Flag& flag : kFlags)
        if (((*flags).*flag.test)()) words += (words.empty() ? "" : ", ") + std::string(flag.words);
    return words;
}

std::string TerminalText(const std::string& text)
{
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 0x20 && byte != 0x7F) || c == '\n') {
            shown += c;
            continue;
        }
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", byte);
        shown += escape;
    }
    return shown;
}

std::string Printable(const Bytes& answer)
{
    std::string text = TerminalText(Cp1251ToUtf8(answer));
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at))
        text.replace(at, 1, "\\x0A");
    return text;
}

std::vector<std::string> MissingValues(const apcrec& record)
{
    std::vector<std::string> missing;
    for (const ShownValue& value : kValues)
        if (record.slot[value.slot].empty()) missing.push_back(value.name);
    return missing;
}

std::string ReadoutText(const std::string& header, const apcrec& record)
{
    std::string text = header + "\n";
    for (const ShownValue& value : kValues) {
        std::string line = "  " + std::string(value.name);
        line.resize(27, ' ');
        const Bytes& answer = record.slot[value.slot];
        const auto typed = ReadTyped(SlotCommand(value.slot), answer);
        if (answer.empty())
            line += "(no answer)";
        else
            line += typed ? TypedText(*typed) : Printable(answer);
        if (!answer.empty() && *value.unit) line += std::string(" ") + value.unit;
        if (const std::string_view meaning = AnswerMeaning(SlotCommand(value.slot), answer); !meaning.empty())
            line += " (" + std::string(meaning) + ")";
        if (value.slot == kSlotStatus) {
            const std::string words = StatusWords(answer);
            if (!words.empty()) line += " (" + words + ")";
        }
        text += line + "\n";
    }
    return text;
}

void ReadoutJson(const apcrec& record, JsonObject& into)
{
    JsonObject values;
    for (const ShownValue& value : kValues) {
        const Bytes& answer = record.slot[value.slot];
        const auto typed = ReadTyped(SlotCommand(value.slot), answer);
        JsonObject shown;
        shown.Set("value", answer.empty() ? "null" : typed ? TypedText(*typed) : JsonString(Cp1251ToUtf8(answer)));
        shown.Set("unit", JsonString(value.unit));
        shown.Set("raw", JsonString(Cp1251ToUtf8(answer)));
        if (const std::string_view meaning = AnswerMeaning(SlotCommand(value.slot), answer); !meaning.empty())
            shown.SetText("meaning", std::string(meaning));
        values.Set(value.name, shown.Text());
    }
    into.Set("values", values.Text());
    std::vector<std::string> flags;
    if (const auto parsed = ParseStatus(record.slot[kSlotStatus]))
        for (const Flag& flag : kFlags)
            if (((*parsed).*flag.test)()) flags.push_back(JsonString(flag.words));
    into.Set("status", JsonArray(flags));
}

}  // namespace tornavel::ctl
