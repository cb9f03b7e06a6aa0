#include "readout.h"

#include <cstdio>

#include "monitor/readings.h"
#include "monitor/typedreading.h"
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
    for (const Reading& value : Readings())
        if (record.slot[value.slot].empty()) missing.emplace_back(value.name);
    return missing;
}

std::string ReadoutText(const std::string& header, const apcrec& record)
{
    std::string text = header + "\n";
    for (const Reading& value : Readings()) {
        std::string line = "  " + std::string(value.name);
        line.resize(27, ' ');
        const Bytes& answer = record.slot[value.slot];
        const auto typed = ReadTyped(*value.command, answer);
        if (answer.empty())
            line += "(no answer)";
        else
            line += typed ? TypedText(*typed) : Printable(answer);
        if (!answer.empty() && !value.unit.empty()) line += " " + std::string(value.unit);
        if (const std::string_view meaning = AnswerMeaning(*value.command, answer); !meaning.empty())
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
    for (const Reading& value : Readings()) {
        const Bytes& answer = record.slot[value.slot];
        const auto typed = ReadTyped(*value.command, answer);
        JsonObject shown;
        shown.Set("value", answer.empty() ? "null" : typed ? TypedText(*typed) : JsonString(Cp1251ToUtf8(answer)));
        shown.Set("unit", JsonString(std::string(value.unit)));
        shown.Set("raw", JsonString(Cp1251ToUtf8(answer)));
        if (const std::string_view meaning = AnswerMeaning(*value.command, answer); !meaning.empty())
            shown.SetText("meaning", std::string(meaning));
        values.Set(std::string(value.name), shown.Text());
    }
    into.Set("values", values.Text());
    std::vector<std::string> flags;
    if (const auto parsed = ParseStatus(record.slot[kSlotStatus]))
        for (const StatusBit& flag : StatusBits())
            if (parsed->bits & (1 << flag.bit)) flags.push_back(JsonString(std::string(flag.words)));
    into.Set("status", JsonArray(flags));
}

}  // namespace tornavel::ctl
