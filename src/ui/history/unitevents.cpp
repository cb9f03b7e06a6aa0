#include "history/unitevents.h"

#include <array>

#include "history/eventhistory.h"
#include "protocol/alerts.h"
#include "protocol/commands.h"
#include "text/cp1251.h"

namespace tornavel {

namespace {

std::string Com(int port)
{
    return "COM" + std::to_string(port) + ": ";
}

std::string Quoted(const Bytes& answer)
{
    return "«" + Cp1251ToUtf8(answer) + "»";
}

bool Confirmed(const Bytes& before, const Bytes& after, const Bytes& requested)
{
    if (after.empty()) return false;
    if (requested == "+" || requested == "-") return after != before;  // a step: the value moved
    return after == requested;
}

}  // namespace

std::string ConnectedText(int port, const Bytes& model, const Bytes& serial)
{
    return Com(port) + "подключен " + Quoted(model) + ", серийный номер " + Quoted(serial);
}

std::string DisconnectedText(int port, EndReason reason)
{
    switch (reason) {
    case EndReason::Stopped: return Com(port) + "отключен кнопкой «стоп»";
    case EndReason::WindowClosed: return Com(port) + "отключен при закрытии окна";
    case EndReason::DeviceGone: return Com(port) + "устройство пропало";
    }
    return Com(port);
}

std::string ChangeText(const Bytes& command, const std::string& field, const Bytes& before, const Bytes& after,
                       const Bytes& requested)
{
    return "параметр " + Quoted(command) + " (" + field + "): " + Quoted(before) + " -> " + Quoted(after) +
           (Confirmed(before, after, requested) ? ", подтверждено" : ", не подтверждено");
}

std::string TestText(const Bytes& command, const Bytes& answer)
{
    struct Named {
        const Bytes& command;
        const char* name;
    };
    const std::array<Named, 4> tests = {{{cmd::kTestIndicators, "тест индикации"},
                                         {cmd::kTestBattery, "тест батарей"},
                                         {cmd::kTestMainsFailure, "имитация сбоя питания"},
                                         {cmd::kCalibration, "калибровка"}}};
    std::string name = Quoted(command);
    for (const auto& test : tests)
        if (test.command == command) name = test.name;
    return name + ": " + (answer.empty() ? "нет ответа" : "ответ " + Quoted(answer));
}

void HistoryEvents::Alert(const Bytes& token)
{
    // An acknowledgement is no event of its own: it is the answer of a test.
    for (const auto& alert : alertTable)
        if (token == alert.code) history_.Record(HistoryKind::Alert, alert.message);
}

void HistoryEvents::TestAnswered(const Bytes& command, const Bytes& answer)
{
    history_.Record(HistoryKind::Test, TestText(command, answer));
}

}  // namespace tornavel
