#include "protocol/alerts.h"

#include "protocol/devicetable.h"
#include "text/procedures.h"

namespace tornavel {

const std::array<tercom, 9> alertTable = {{
    {"!", "Сбой сети."},
    {"$", "Сеть восстановлена."},
    {"%", "Батарея разряжена."},
    {"+", "Батарея в норме."},
    {"?", "Аварийное состояние."},
    {"=", "Авария ликвидирована."},
    {"*", "Ожидание выключения."},
    {"#", "Замените батареи."},
    {"|", "Данные EEPROM записаны."},
}};

namespace {
const Bytes kOk = "OK";
const Bytes kNo = "NO";

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}
}  // namespace

void AlertReporter::ReportAlert(const Bytes& token)
{
    if (table_.HasConnected()) table_.SetSlot(kSlotLastMessage, token);
    if (token == kOk || token == kNo) acknowledgement_ = token;
    if (observer_) observer_(token);
}

void SplitAlerts(Bytes& answer, Bytes& alerts)
{
    alerts.clear();
    if (answer.empty()) return;
    if (answer == kOk || answer == kNo) {
        alerts.swap(answer);
        answer.clear();
        return;
    }
    Bytes rest;
    std::size_t i = 0;
    while (i < answer.size()) {
        const char c = answer[i];
        if (CharInSet(c, alertSet)) {
            alerts += c;
            ++i;
            // At most two line-end bytes that follow an alert belong to it.
            for (int dropped = 0; dropped < 2 && i < answer.size() && IsLineEnd(answer[i]); ++dropped) ++i;
        } else if (answer.compare(i, 4, "OK\r\n") == 0) {
            alerts += kOk;
            i += 4;
        } else if (answer.compare(i, 4, "NO\r\n") == 0) {
            alerts += kNo;
            i += 4;
        } else {
            rest += c;
            ++i;
        }
    }
    answer.swap(rest);
}

void FilterAnswer(Bytes& answer, Bytes& line, AlertReporter& reporter)
{
    Bytes alerts;
    SplitAlerts(answer, alerts);
    // No alert character is a letter, so "O" and "N" always start a token.
    for (std::size_t i = 0; i < alerts.size();) {
        if (alerts[i] == 'O' || alerts[i] == 'N') {
            reporter.ReportAlert(alerts.substr(i, 2));
            i += 2;
        } else {
            reporter.ReportAlert(alerts.substr(i, 1));
            i += 1;
        }
    }
    SplitLine(answer, line);
}

}  // namespace tornavel
