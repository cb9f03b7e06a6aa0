#include "control/controlprotocol.h"

#include <array>
#include <cstdio>
#include <sstream>

#include "protocol/commands.h"

namespace tornavel::control {

namespace {

using Status = SettingOutcome::Status;

constexpr std::array<std::pair<Status, const char*>, 7> kStatusNames = {{
    {Status::Unchanged, "unchanged"},
    {Status::Changed, "changed"},
    {Status::NotTaken, "not-taken"},
    {Status::NotOffered, "not-offered"},
    {Status::NoAnswer, "no-answer"},
    {Status::Unconfirmed, "unconfirmed"},
    {Status::Stopped, "stopped"},
}};

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string Escape(const Bytes& text)
{
    if (text.empty()) return "%";
    std::string word;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7F && c != '%') {
            word += c;
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", byte);
            word += escape;
        }
    }
    return word;
}

std::optional<Bytes> Unescape(const std::string& word)
{
    if (word == "%") return Bytes();
    Bytes text;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] != '%') {
            text += word[i];
            continue;
        }
        if (i + 2 >= word.size()) return std::nullopt;
        const int high = HexValue(word[i + 1]);
        const int low = HexValue(word[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        text += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return text;
}

std::vector<std::string> SplitWords(const std::string& line)
{
    std::vector<std::string> words;
    std::istringstream stream(line);
    for (std::string word; stream >> word;) words.push_back(word);
    return words;
}

std::string OutcomeLine(const SettingOutcome& outcome)
{
    std::string line = "outcome";
    for (const auto& [status, name] : kStatusNames)
        if (status == outcome.status) line += std::string(" ") + name;
    line += " " + std::to_string(outcome.steps) + " " + Escape(outcome.before) + " " + Escape(outcome.after);
    for (const Bytes& value : outcome.offered) line += " " + Escape(value);
    return line;
}

std::optional<SettingOutcome> ParseOutcomeLine(const std::string& line)
{
    const std::vector<std::string> words = SplitWords(line);
    if (words.size() < 5 || words[0] != "outcome") return std::nullopt;
    SettingOutcome outcome;
    bool known = false;
    for (const auto& [status, name] : kStatusNames)
        if (words[1] == name) {
            outcome.status = status;
            known = true;
        }
    if (!known || words[2].empty() || words[2].size() > 3 ||
        words[2].find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    outcome.steps = std::stoi(words[2]);
    const auto before = Unescape(words[3]);
    const auto after = Unescape(words[4]);
    if (!before || !after) return std::nullopt;
    outcome.before = *before;
    outcome.after = *after;
    for (std::size_t i = 5; i < words.size(); ++i) {
        const auto value = Unescape(words[i]);
        if (!value) return std::nullopt;
        outcome.offered.push_back(*value);
    }
    return outcome;
}

bool IsTestCommand(const Bytes& command)
{
    for (const Bytes* test : {&cmd::kTestIndicators, &cmd::kTestBattery, &cmd::kTestMainsFailure, &cmd::kCalibration})
        if (command == *test) return true;
    return false;
}

}  // namespace tornavel::control
