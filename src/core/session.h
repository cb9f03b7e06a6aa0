#pragma once
#include <atomic>

#include "monitor/pollevents.h"
#include "monitor/volthistory.h"
#include "protocol/alerts.h"
#include "protocol/devicetable.h"
#include "protocol/exchange.h"
#include "serial/serialdevice.h"
#include "shared/requests.h"
#include "shared/screen.h"

namespace tornavel {

// The state the window and the polling thread share for the whole run.
struct Session {
    explicit Session(Screen& screen_) : screen(screen_), alerts(table)
    {
        alerts.SetObserver([this](const Bytes& token) { events->Alert(token); });
    }

    Screen& screen;
    DeviceTable table;  // apcList, apcIndex
    Requests requests;
    VoltHistory volts;
    AlertReporter alerts;
    std::atomic<int> rotIndex{0};  // survives reconnection
    // The connected unit's port: set before the polling thread starts and
    // closed only after it has ended, so one thread uses it at a time.
    PortHandle hCom;
    // Answers the connected unit may still owe, used like hCom: what the
    // full read leaves pending carries into the first monitoring cycle.
    AnswerOrder order;
    // Hears what the connection and the polling loop report, on the thread
    // that talks to the unit. Set before the polling thread starts; by
    // default nothing hears them.
    PollEvents* events = &nobody;

private:
    PollEvents nobody;
};

}  // namespace tornavel
