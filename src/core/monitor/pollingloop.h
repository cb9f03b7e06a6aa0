#pragma once
#include <bitset>

#include "protocol/devicetable.h"
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

    // Whether the slot was read, settled, in the present (or last) monitoring
    // cycle (see AnswerOrder): for decisions that want a value of this cycle;
    // on the polling thread only. What was read but not settled is withheld
    // from the record.
    bool Settled(int slot) const { return slot >= 0 && slot <= kSlotCount && settled_[slot]; }
    // Whether the slot's command got an answer in the present (or last)
    // cycle, settled or not: the unit is there.
    bool Answered(int slot) const { return slot >= 0 && slot <= kSlotCount && answered_[slot]; }

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
    std::bitset<kSlotCount + 1> answered_;
    std::bitset<kSlotCount + 1> settled_;
};

}  // namespace tornavel
