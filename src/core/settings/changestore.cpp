#include "settings/changestore.h"

#include "protocol/alerts.h"
#include "protocol/devicetable.h"
#include "session.h"

namespace tornavel {

void store2plist(DeviceTable& table, const Bytes& command, const Bytes& answer)
{
    const int slot = SlotOfCommand(command);
    if (slot != 0) table.SetSlot(slot, answer);
}

void CompleteChange(Session& session, const ShowChange& show)
{
    Requests& requests = session.requests;
    Bytes answer = requests.changeAnswer.Get();
    Bytes line;
    FilterAnswer(answer, line, session.alerts);
    requests.changeAnswer.Set(line);

    const Bytes command = requests.changeCmd.Get();
    store2plist(session.table, command, line);
    if (show) show(command, line);

    // The request flag goes first: with changeDone cleared while eepromChange
    // still stood, the polling thread could take the request as new and run
    // it a second time.
    requests.eepromChange.store(false, std::memory_order_release);
    requests.changeDone.store(false, std::memory_order_release);
}

}  // namespace tornavel
