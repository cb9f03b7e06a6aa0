#include "readout.h"

#include <array>

#include "jsontext.h"
#include "monitor/readings.h"
#include "text/cp1251.h"

namespace tornavel::ctl {

namespace {

struct ShownValue {
    int slot;
    const char* name;
    const char* unit;  // appended for a person, empty when the value has none
};

// In the order of the full read; setting values carry their setting names.
constexpr std::array<ShownValue, 30> kValues = {{
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

std::string ReadoutText(const std::string& port, const apcrec& record)
{
    std::string text = port + "\n";
    for (const ShownValue& value : kValues) {
        std::string line = "  " + std::string(value.name);
        line.resize(27, ' ');
        const Bytes& answer = record.slot[value.slot];
        line += Cp1251ToUtf8(answer);
        if (!answer.empty() && *value.unit) line += std::string(" ") + value.unit;
        if (value.slot == kSlotStatus) {
            const std::string words = StatusWords(answer);
            if (!words.empty()) line += " (" + words + ")";
        }
        text += line + "\n";
    }
    return text;
}

std::string ReadoutJson(const std::string& port, const apcrec& record)
{
    std::string json = "{\"port\": " + JsonString(port) + ", \"values\": {";
    for (std::size_t i = 0; i < kValues.size(); ++i) {
        if (i) json += ", ";
        json += JsonString(kValues[i].name) + ": " + JsonString(Cp1251ToUtf8(record.slot[kValues[i].slot]));
    }
    json += "}, \"status\": [";
    if (const auto flags = ParseStatus(record.slot[kSlotStatus])) {
        bool first = true;
        for (const Flag& flag : kFlags) {
            if (!((*flags).*flag.test)()) continue;
            json += (first ? "" : ", ") + JsonString(flag.words);
            first = false;
        }
    }
    return json + "]}\n";
}

}  // namespace tornavel::ctl
