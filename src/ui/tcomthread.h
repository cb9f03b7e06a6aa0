#pragma once
#include <QThread>

#include "monitor/pollingloop.h"
#include "serial/comport.h"

// The polling thread of one connection: its body is the core's loop, with its
// own serial link that sleeps plainly.
class TCOMThread final : public QThread {
public:
    TCOMThread(tornavel::Session& session, tornavel::PortOpener& opener) : port_(opener, clock_), loop_(session, port_)
    {
    }

protected:
    void run() override { loop_.Execute(); }

private:
    tornavel::SteadyClock clock_;
    tornavel::ComPort port_;
    tornavel::PollingLoop loop_;
};
