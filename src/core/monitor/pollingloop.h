#pragma once
#include <bitset>

#include "protocol/devicetable.h"
#include "monitor/staleness.h"
#include "serial/comport.h"
#include "settings/changewriter.h"

namespace tornavel {

struct Session;

// The polling thread's body. From the end of the full read until the stop,
// it alone uses the port: each pass takes in unasked input, then serves the
// terminal, or makes a monitoring cycle (test request, one rotating read, the
// five fast values, the graph and gauges, a pending change, a one-second
// pause).
class PollingLoop {
public:
    static constexpr int kPauseMs = 1000;
    static constexpr int kRotationLength = 8;

    // `port` is the polling thread's own serial link (it sleeps plainly).
    PollingLoop(Session& session, ComPort& port);

    // Runs passes until a stop is requested or the port's device vanishes,
    // then posts the end message.
    void Execute();
    // One pass of the loop.
    void Pass();
    // The rotating read of one slot, returning its answer; other slots do
    // nothing.
    Bytes ReadByNN(int slot);

    // Whether the slot was read in the present (or last) monitoring cycle
    // after only answered exchanges. A command that got no answer in time may
    // be answered late, inside a later exchange of the same cycle, so what
    // follows it is not sure to be its own command's answer. For decisions
    // that must never rest on a shifted answer; on the polling thread only.
    bool Settled(int slot) const { return slot >= 0 && slot <= kSlotCount && settled_[slot]; }

private:
    void CollectUnaskedInput();
    void ServeTerminal();
    void ServeTestRequest();
    void Monitor();
    // Reads a command into its slot and returns the stored text.
    Bytes Read(int slot);

    Session& session_;
    ComPort& port_;
    ChangeWriter writer_;
    Staleness staleness_;
    bool everyExchangeAnswered_ = true;  // in the present cycle
    std::bitset<kSlotCount + 1> settled_;
};

}  // namespace tornavel
