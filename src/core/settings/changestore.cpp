#include "settings/changestore.h"

#include "monitor/statusdisplay.h"
#include "protocol/alerts.h"
#include "protocol/devicetable.h"
#include "session.h"
#include "text/cp1251.h"

namespace tornavel {

void store2plist(DeviceTable& table, const Bytes& command, const Bytes& answer)
{
    const int slot = SlotOfCommand(command);
    if (slot != 0) table.SetSlot(slot, answer);
}

void CompleteChange(Session& session)
{
    Requests& requests = session.requests;
    Bytes answer = requests.changeAnswer.Get();
    Bytes line;
    FilterAnswer(answer, line, session.alerts);
    requests.changeAnswer.Set(line);

    session.screen.SetText(requests.changeField.Get(), Cp1251ToUtf8(line));  // FillEditByName
    store2plist(session.table, requests.changeCmd.Get(), line);
    UpdateScreen(session.screen, session.table);
    // Filling the edit box above may have shown them before the record matched.
    session.screen.SetVisible("ImageFLOP", false);
    session.screen.SetVisible("ImageGF", false);

    // The request flag goes first: with changeDone cleared while eepromChange
    // still stood, the polling thread could take the request as new and run
    // it a second time.
    requests.eepromChange.store(false, std::memory_order_release);
    requests.changeDone.store(false, std::memory_order_release);
}

}  // namespace tornavel
