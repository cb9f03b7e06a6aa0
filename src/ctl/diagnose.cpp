#include "diagnose.h"

#include <cstdio>

#include "linerecorder.h"
#include "protocol/alerts.h"
#include "protocol/commands.h"
#include "protocol/connection.h"
#include "serial/comport.h"
#include "session.h"
#include "shared/quietscreen.h"

namespace tornavel::ctl {

namespace {

constexpr std::int64_t kAnswerLimitMs = ComPort::kSampleMs * ComPort::kTransactTries;

std::string Escaped(const Bytes& bytes)
{
    std::string text = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c == '"' || c == '\\')
            text += std::string("\\") + c;
        else if (byte >= 0x20 && byte < 0x7F)
            text += c;
        else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            text += escape;
        }
    }
    return text + "\"";
}

std::string Padded(std::string text, std::size_t width)
{
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

// One command and what came back before the next one.
struct Exchange {
    Bytes command;
    Bytes answer;
    int reads = 0;              // reads that brought bytes
    std::int64_t firstMs = -1;  // first sample that showed bytes, after the command
    std::int64_t lastMs = -1;   // last sample at which more had come
};

std::vector<Exchange> Exchanges(const LineRecord& record)
{
    std::vector<Exchange> exchanges;
    std::int64_t sentMs = 0;
    int lastCount = 0;
    for (const LineStep& step : record.steps) {
        if (step.kind == LineStep::Kind::Write) {
            exchanges.push_back({step.bytes, {}, 0, -1, -1});
            sentMs = step.ms;
            lastCount = 0;
            continue;
        }
        if (exchanges.empty()) continue;
        Exchange& e = exchanges.back();
        if (step.kind == LineStep::Kind::Waiting) {
            if (step.count > 0 && e.firstMs < 0) e.firstMs = step.ms - sentMs;
            if (step.count > lastCount) e.lastMs = step.ms - sentMs;
            lastCount = step.count;
        } else if (!step.bytes.empty()) {
            e.answer += step.bytes;
            ++e.reads;
            lastCount = 0;
        }
    }
    return exchanges;
}

// What is unusual about one exchange; empty when nothing is.
std::string Unusual(const Exchange& e)
{
    if (e.answer.empty()) return "no answer";
    std::vector<std::string> notes;
    if (e.firstMs > kAnswerLimitMs) notes.push_back("late");
    Bytes rest = e.answer;
    Bytes alerts;
    SplitAlerts(rest, alerts);
    if (!alerts.empty()) notes.push_back("alerts or acknowledgements " + Escaped(alerts));
    const std::size_t end = rest.find("\r\n");
    if (e.reads > 1) notes.push_back("split over " + std::to_string(e.reads) + " reads");
    if (end == std::string::npos && !rest.empty())
        notes.push_back("no line end");
    else if (end != std::string::npos && end + 2 < rest.size())
        notes.push_back("more than one line");
    const Bytes line = rest.substr(0, end);
    if (line == "NA") notes.push_back("unknown to the unit (NA)");
    if (e.command == cmd::kSmartMode && line != cmd::answer::kSmartMode) notes.push_back("not \"SM\"");
    for (const char c : line)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
            notes.push_back("bytes outside printable ASCII");
            break;
        }
    std::string text;
    for (const std::string& note : notes) text += (text.empty() ? "" : ", ") + note;
    return text;
}

const char* ParityName(Parity parity)
{
    switch (parity) {
    case Parity::None: return "none";
    case Parity::Odd: return "odd";
    case Parity::Even: return "even";
    case Parity::Mark: return "mark";
    }
    return "?";
}

}  // namespace

Diagnosis Diagnose(const PortName& port, PortOpener& opener, Clock& clock)
{
    LineRecord record;
    RecordingOpener recording(opener, clock, record);
    QuietScreen screen;
    Session session(screen);
    ComPort line(recording, clock);
    session.table.Add(port.number);

    Diagnosis diagnosis;
    std::string& report = diagnosis.report;
    report = "tornavelctl diagnose " + port.label + " (" + port.path + ")\n";
    diagnosis.smartUps = OpenAndRead(session, line, 1);
    if (!record.settingsAfterOpen && record.steps.empty()) {
        const auto holder = opener.Holder(port.number);
        report += "the port does not open: " +
                  (holder ? "held by " + holder->program + " (pid " + std::to_string(holder->pid) + ")"
                          : std::string("absent, busy or not permitted")) +
                  "\n";
        return diagnosis;
    }
    if (const auto& s = record.settingsAfterOpen)
        report += "line after the open: " + std::to_string(s->baud) + " baud, " + std::to_string(s->dataBits) +
                  " data bits, parity " + ParityName(s->parity) + ", " +
                  (s->stopBits == StopBits::One   ? "1"
                   : s->stopBits == StopBits::Two ? "2"
                                                  : "1.5") +
                  " stop bit\n";
    else
        report += "line after the open: the driver does not report its settings (not a serial line?)\n";
    report += diagnosis.smartUps ? "handshake: \"Y\" answered \"SM\": a Smart-UPS in smart mode\n"
                                 : "handshake: no \"SM\" to \"Y\": not a Smart-UPS, or silent\n";
    if (diagnosis.smartUps) CloseConnection(session, line);

    report += "\nexchanges (ms after the command when the first and the last byte were seen; limit " +
              std::to_string(kAnswerLimitMs) + " ms):\n";
    std::string unusual;
    for (const Exchange& e : Exchanges(record)) {
        const std::string timing = e.firstMs < 0 ? "-" : std::to_string(e.firstMs) + " " + std::to_string(e.lastMs);
        report += "  " + Padded(Escaped(e.command), 8) + Padded(Escaped(e.answer), 28) + timing + "\n";
        if (const std::string note = Unusual(e); !note.empty())
            unusual += "  " + Escaped(e.command) + ": " + note + "\n";
    }
    report += "\nunusual:\n" + (unusual.empty() ? std::string("  nothing\n") : unusual);
    return diagnosis;
}

}  // namespace tornavel::ctl
