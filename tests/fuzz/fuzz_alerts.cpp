// The alert filter on any bytes a unit might send: nothing is lost or
// invented, no alert character gets through to a line, and every alert and
// acknowledgement taken out is reported once, in order.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "protocol/alerts.h"
#include "protocol/devicetable.h"

using tornavel::Bytes;

namespace {

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}
bool IsAlert(char c)
{
    return tornavel::alertSet.find(c) != Bytes::npos;
}

std::size_t Count(const Bytes& t, bool (*pred)(char))
{
    return std::count_if(t.begin(), t.end(), pred);
}
Bytes Keep(const Bytes& t, bool (*pred)(char))
{
    Bytes out;
    for (char c : t)
        if (pred(c)) out += c;
    return out;
}

// The tokens of an alerts text: "OK", "NO" or one alert character each.
std::vector<Bytes> Tokens(const Bytes& alerts)
{
    std::vector<Bytes> tokens;
    for (std::size_t i = 0; i < alerts.size();) {
        const std::size_t length = IsAlert(alerts[i]) ? 1 : 2;
        const Bytes token = alerts.substr(i, length);
        FUZZ_CHECK(token.size() == 1 || token == "OK" || token == "NO");
        tokens.push_back(token);
        i += length;
    }
    return tokens;
}

std::vector<Bytes> CheckSplit(const Bytes& raw, Bytes& rest)
{
    rest = raw;
    Bytes alerts = "stale";
    tornavel::SplitAlerts(rest, alerts);
    const std::vector<Bytes> tokens = Tokens(alerts);

    FUZZ_CHECK(Count(rest, IsAlert) == 0);
    // Every alert character is taken out, in order, and none is invented.
    FUZZ_CHECK(Keep(alerts, IsAlert) == Keep(raw, IsAlert));
    // Besides the tokens, only line ends disappear.
    FUZZ_CHECK(raw.size() >= rest.size() + alerts.size());
    const std::size_t dropped = raw.size() - rest.size() - alerts.size();
    FUZZ_CHECK(Count(raw, IsLineEnd) == Count(rest, IsLineEnd) + dropped);
    if (raw == "OK" || raw == "NO") {
        FUZZ_CHECK(alerts == raw && rest.empty());
        return tokens;
    }
    // The tokens are the alert characters and every "OK\r\n" and "NO\r\n"
    // of the answer, in order: nothing can hide or split one of them. Each
    // acknowledgement takes its own line end, each alert up to two that
    // follow it directly.
    std::vector<Bytes> expected;
    std::size_t expectedDropped = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (IsAlert(raw[i])) {
            expected.push_back(raw.substr(i, 1));
            std::size_t ends = 0;
            while (ends < 2 && i + 1 + ends < raw.size() && IsLineEnd(raw[i + 1 + ends])) ++ends;
            expectedDropped += ends;
        } else if (raw.compare(i, 4, "OK\r\n") == 0 || raw.compare(i, 4, "NO\r\n") == 0) {
            expected.push_back(raw.substr(i, 2));
            expectedDropped += 2;
        }
    }
    FUZZ_CHECK(tokens == expected);
    FUZZ_CHECK(dropped == expectedDropped);
    // What stays is the answer with the tokens cut out: a subsequence of it.
    std::size_t at = 0;
    for (char c : rest) {
        at = raw.find(c, at);
        FUZZ_CHECK(at != Bytes::npos);
        ++at;
    }
    // Without any token the answer comes through untouched.
    if (tokens.empty()) FUZZ_CHECK(rest == raw);
    return tokens;
}

const char* MessageOf(const Bytes& token)
{
    for (const auto& row : tornavel::alertTable)
        if (token == row.code) return row.message;
    return nullptr;
}

// Each token is reported in order; the connected record keeps the last.
void CheckFilter(const Bytes& raw, const Bytes& rest, const std::vector<Bytes>& tokens)
{
    tornavel::DeviceTable table;
    table.Add(1);
    table.SetApcIndex(0);
    table.SetSlot(tornavel::kSlotLastMessage, "before");
    tornavel::AlertReporter reporter(table);
    std::vector<Bytes> reported;
    reporter.SetObserver([&](const Bytes& token) { reported.push_back(token); });

    Bytes answer = raw;
    Bytes line = "stale";
    tornavel::FilterAnswer(answer, line, reporter);

    FUZZ_CHECK(line.find_first_of("\r\n") == Bytes::npos);
    FUZZ_CHECK(Count(line, IsAlert) == 0);
    // line, one line end, then what the caller keeps: together the rest.
    FUZZ_CHECK(rest.compare(0, line.size(), line) == 0);
    const Bytes end = rest.substr(line.size(), rest.size() - line.size() - answer.size());
    FUZZ_CHECK(rest.size() >= line.size() + answer.size());
    FUZZ_CHECK(rest.compare(rest.size() - answer.size(), answer.size(), answer) == 0);
    FUZZ_CHECK(end == "\r\n" || end == "\r" || end == "\n" || (end.empty() && answer.empty()));
    if (end == "\r") FUZZ_CHECK(answer.empty() || answer[0] != '\n');

    for (const auto& token : tokens) FUZZ_CHECK(token == "OK" || token == "NO" || MessageOf(token) != nullptr);
    FUZZ_CHECK(reported == tokens);
    FUZZ_CHECK(table.Slot(tornavel::kSlotLastMessage) == (tokens.empty() ? "before" : tokens.back()));

    // With no connected record (during a scan) the tokens are reported, no slot moves.
    tornavel::DeviceTable scanTable;
    scanTable.Add(1);
    scanTable.SetApcIndex(3);
    tornavel::AlertReporter scanReporter(scanTable);
    std::vector<Bytes> scanReported;
    scanReporter.SetObserver([&](const Bytes& token) { scanReported.push_back(token); });
    Bytes scanAnswer = raw;
    Bytes scanLine;
    tornavel::FilterAnswer(scanAnswer, scanLine, scanReporter);
    FUZZ_CHECK(scanLine == line && scanAnswer == answer);
    FUZZ_CHECK(scanReported == tokens);
    FUZZ_CHECK(scanTable.Record(0).slot[tornavel::kSlotLastMessage].empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Bytes raw(reinterpret_cast<const char*>(data), size);
    Bytes rest;
    const std::vector<Bytes> tokens = CheckSplit(raw, rest);
    CheckFilter(raw, rest, tokens);
    return 0;
}
