#include "history/unitevents.h"

#include <array>
#include <memory>

#include "history/eventhistory.h"
#include "protocol/alerts.h"
#include "protocol/commands.h"
#include "session.h"
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

std::string ChangeText(const Bytes& command, const std::string& field, const Bytes& before,
                       const Bytes& after, const Bytes& requested)
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

void RecordSessionEvents(Session& session, EventHistory& history)
{
    // A unit acknowledges a test with "OK" or "NO", which the alert filter
    // takes out of the answer line: the last one heard is the test's outcome.
    // Both observers run on the thread that talks to the unit.
    auto acknowledgement = std::make_shared<Bytes>();
    session.alerts.SetObserver([&history, acknowledgement](const Bytes& token) {
        if (token == "OK" || token == "NO") *acknowledgement = token;
        for (const auto& alert : alertTable)
            if (token == alert.code) history.Record(HistoryKind::Alert, alert.message);
    });
    session.onTestAnswer = [&history, acknowledgement](const Bytes& command, const Bytes& answer) {
        history.Record(HistoryKind::Test, TestText(command, answer.empty() ? *acknowledgement : answer));
        acknowledgement->clear();
    };
}

}  // namespace tornavel
