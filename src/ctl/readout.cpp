#include "readout.h"

#include "jsontext.h"
#include "monitor/readings.h"
#include "readings/readingtable.h"
#include "text/cp1251.h"

namespace tornavel::ctl {

std::string StatusWords(const Bytes& status)
{
    const auto flags = ParseStatus(status);
    if (!flags) return {};
    std::string words;
    for (const StatusBit& flag : StatusBits())
        if (flags->bits & (1 << flag.bit)) words += (words.empty() ? "" : ", ") + std::string(flag.words);
    return words;
}

std::string ReadoutText(const std::string& port, const apcrec& record)
{
    std::string text = port + "\n";
    for (const Reading& value : Readings()) {
        std::string line = "  " + std::string(value.name);
        line.resize(27, ' ');
        const Bytes& answer = record.slot[value.slot];
        line += Cp1251ToUtf8(answer);
        if (!answer.empty() && !value.unit.empty()) line += " " + std::string(value.unit);
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
    bool first = true;
    for (const Reading& value : Readings()) {
        json += (first ? "" : ", ") + JsonString(std::string(value.name)) + ": " +
                JsonString(Cp1251ToUtf8(record.slot[value.slot]));
        first = false;
    }
    json += "}, \"status\": [";
    if (const auto flags = ParseStatus(record.slot[kSlotStatus])) {
        first = true;
        for (const StatusBit& flag : StatusBits()) {
            if (!(flags->bits & (1 << flag.bit))) continue;
            json += (first ? "" : ", ") + JsonString(std::string(flag.words));
            first = false;
        }
    }
    return json + "]}\n";
}

}  // namespace tornavel::ctl
