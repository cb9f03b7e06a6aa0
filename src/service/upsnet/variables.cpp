#include "upsnet/variables.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <strings.h>

#include "monitor/readings.h"
#include "protocol/devicetable.h"
#include "unittext.h"

namespace tornavel::service::upsnet {

namespace {

std::string Number(double value)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

std::optional<std::string> NumberText(std::optional<double> value)
{
    if (!value) return std::nullopt;
    return Number(*value);
}

std::optional<std::string> DateText(const Bytes& answer)
{
    const auto timestamp = ParseDateAsTimestamp(answer);
    if (!timestamp) return std::nullopt;
    const std::time_t seconds = static_cast<std::time_t>(*timestamp);
    std::tm day{};
    ::gmtime_r(&seconds, &day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", day.tm_year + 1900, day.tm_mon + 1, day.tm_mday);
    return text;
}

}  // namespace

const std::vector<Variable>& Variables()
{
    static const std::vector<Variable> variables = {
        {"battery.charge", kSlotCharge, Form::Decimal, "Battery charge (percent of full)", "", true},
        {"battery.date", kSlotBatteryDate, Form::Date, "Battery change date (YYYY-MM-DD)"},
        {"battery.packs", kSlotBatteryCount, Form::Decimal, "Number of external battery packs"},
        {"battery.runtime", kSlotRuntime, Form::MinutesAsSeconds, "Battery runtime (seconds)"},
        {"battery.voltage", kSlotBatteryVolts, Form::Decimal, "Battery voltage (V)"},
        {"battery.voltage.nominal", kSlotNominalVolts, Form::Decimal, "Nominal battery voltage (V)"},
        {"device.model", kSlotModel, Form::Text, "Device model"},
        {"device.serial", kSlotSerial, Form::Text, "Device serial number"},
        {"device.type", 0, Form::Fixed, "Device type", "ups"},
        {"input.frequency", kSlotFrequency, Form::Decimal, "Input line frequency (Hz)"},
        {"input.transfer.high", kSlotHighTransfer, Form::Decimal, "High voltage transfer point (V)"},
        {"input.transfer.low", kSlotLowTransfer, Form::Decimal, "Low voltage transfer point (V)"},
        {"input.voltage", kSlotInputVolts, Form::Decimal, "Input voltage (V)", "", true},
        {"input.voltage.maximum", kSlotMaxLine, Form::Decimal, "Maximum input voltage seen lately (V)"},
        {"input.voltage.minimum", kSlotMinLine, Form::Decimal, "Minimum input voltage seen lately (V)"},
        {"output.voltage", kSlotOutputVolts, Form::Decimal, "Output voltage (V)", "", true},
        {"output.voltage.nominal", kSlotOutputSetting, Form::Decimal, "Nominal output voltage on battery (V)"},
        {"ups.id", kSlotName, Form::Text, "UPS system identifier"},
        {"ups.load", kSlotLoad, Form::Decimal, "Load on UPS (percent of full)", "", true},
        {"ups.mfr.date", kSlotMadeDate, Form::Date, "UPS manufacturing date (YYYY-MM-DD)"},
        {"ups.model", kSlotModel, Form::Text, "UPS model"},
        {"ups.serial", kSlotSerial, Form::Text, "UPS serial number"},
        {"ups.status", kSlotStatus, Form::Status, "UPS status", "", true},
        {"ups.temperature", kSlotTemperature, Form::Decimal, "UPS temperature (degrees C)"},
        {"ups.test.interval", kSlotSelfTestInterval, Form::HoursAsSeconds, "Interval between self tests (seconds)"},
    };
    return variables;
}

const Variable* FindVariable(const std::string& name)
{
    for (const Variable& variable : Variables())
        if (::strcasecmp(variable.name, name.c_str()) == 0) return &variable;
    return nullptr;
}

namespace {

// The status symbols and the status byte's bits they stand for, in the
// order they are written.
struct StatusSymbol {
    const char* symbol;
    int bit;
};
constexpr StatusSymbol kStatusSymbols[] = {{"OL", 0x08},  {"OB", 0x10},   {"LB", 0x40},    {"RB", 0x80},
                                           {"CAL", 0x01}, {"TRIM", 0x02}, {"BOOST", 0x04}, {"OVER", 0x20}};

}  // namespace

std::string StatusSymbols(int statusByte, bool forcedShutdown)
{
    std::string text = forcedShutdown ? "FSD" : "";
    for (const StatusSymbol& s : kStatusSymbols)
        if (statusByte & s.bit) text += (text.empty() ? "" : " ") + std::string(s.symbol);
    return text;
}

ReadStatus StatusFromSymbols(const std::string& symbols)
{
    ReadStatus status;
    std::size_t at = 0;
    while (at < symbols.size()) {
        const std::size_t end = std::min(symbols.find(' ', at), symbols.size());
        const std::string symbol = symbols.substr(at, end - at);
        if (symbol == "FSD") status.forcedShutdown = true;
        for (const StatusSymbol& s : kStatusSymbols)
            if (symbol == s.symbol) status.statusByte |= s.bit;
        at = end + 1;
    }
    return status;
}

std::optional<std::string> ValueOf(const Variable& variable, const UnitSnapshot& unit, bool forcedShutdown)
{
    if (variable.form == Form::Fixed) return variable.fixed;
    // A silent unit has no current reading; the primary's decision still is.
    if (!unit.up) return variable.form == Form::Status && forcedShutdown ? std::optional<std::string>("FSD") : std::nullopt;
    const Bytes& answer = unit.settled[variable.slot];
    switch (variable.form) {
    case Form::Decimal: return NumberText(ParseDecimal(answer));
    case Form::MinutesAsSeconds: return NumberText(ParseMinutesAsSeconds(answer));
    case Form::HoursAsSeconds: return NumberText(ParseHoursAsSeconds(answer));
    case Form::Date: return DateText(answer);
    case Form::Text: {
        const std::string text = UnitText(answer);
        if (text.empty()) return std::nullopt;
        return text;
    }
    case Form::Status: {
        const auto flags = ParseStatus(answer);
        if (!flags) return forcedShutdown ? std::optional<std::string>("FSD") : std::nullopt;
        return StatusSymbols(flags->bits, forcedShutdown);
    }
    case Form::Fixed: break;
    }
    return std::nullopt;
}

std::string TypeOf(const Variable& variable)
{
    switch (variable.form) {
    case Form::Text: return "STRING:64";
    case Form::Date: return "STRING:10";
    case Form::Status: return "STRING:64";
    case Form::Fixed: return "STRING:16";
    default: return "NUMBER";
    }
}

}  // namespace tornavel::service::upsnet
