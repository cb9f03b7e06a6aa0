#include "upsnet/variables.h"

#include <strings.h>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>

#include "monitor/readings.h"
#include "protocol/devicetable.h"
#include "units/unittext.h"

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

std::optional<std::string> DateText(std::optional<double> timestamp)
{
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
    static const std::vector<Variable> variables = [] {
        // The protocol's device.* variables name the device in general;
        // ups.model and ups.serial come from the same readings.
        std::vector<Variable> list = {
            {"device.model", &ReadingOf(kSlotModel), Form::Text, "Device model"},
            {"device.serial", &ReadingOf(kSlotSerial), Form::Text, "Device serial number"},
            {"device.type", nullptr, Form::Fixed, "Device type", "ups"},
        };
        for (const Reading& reading : Readings()) {
            if (reading.rfc9271.name.empty()) continue;
            const Form form = reading.slot == kSlotStatus        ? Form::Status
                              : reading.parse == ParseRule::Text ? Form::Text
                              : reading.parse == ParseRule::Date ? Form::Date
                                                                 : Form::Number;
            list.push_back({std::string(reading.rfc9271.name), &reading, form, std::string(reading.rfc9271.description),
                            "", reading.refresh == Refresh::EveryCycle});
        }
        std::sort(list.begin(), list.end(), [](const Variable& a, const Variable& b) { return a.name < b.name; });
        return list;
    }();
    return variables;
}

const Variable* FindVariable(const std::string& name)
{
    for (const Variable& variable : Variables())
        if (::strcasecmp(variable.name.c_str(), name.c_str()) == 0) return &variable;
    return nullptr;
}

namespace {

// The status byte's bits in the order their symbols are written: the power
// source, then the battery, then the rest.
constexpr int kSymbolOrder[] = {3, 4, 6, 7, 0, 1, 2, 5};

}  // namespace

std::string StatusSymbols(int statusByte, bool forcedShutdown)
{
    std::string text = forcedShutdown ? "FSD" : "";
    for (const int bit : kSymbolOrder)
        if (statusByte & (1 << bit)) text += (text.empty() ? "" : " ") + std::string(StatusBits()[bit].rfc9271);
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
        for (const StatusBit& s : StatusBits())
            if (symbol == s.rfc9271) status.statusByte |= 1 << s.bit;
        at = end + 1;
    }
    return status;
}

std::optional<std::string> ValueOf(const Variable& variable, const UnitSnapshot& unit, bool forcedShutdown)
{
    if (variable.form == Form::Fixed) return variable.fixed;
    // A silent unit has no current reading; the primary's decision still is.
    if (!unit.up)
        return variable.form == Form::Status && forcedShutdown ? std::optional<std::string>("FSD") : std::nullopt;
    const Bytes& answer = unit.settled[variable.reading->slot];
    switch (variable.form) {
    case Form::Number: return NumberText(ReadingValue(*variable.reading, answer));
    case Form::Date: return DateText(ReadingValue(*variable.reading, answer));
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
