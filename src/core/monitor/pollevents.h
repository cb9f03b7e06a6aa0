#pragma once
#include <bitset>

#include "bytes.h"
#include "protocol/devicetable.h"
#include "protocol/exchangeevents.h"

namespace tornavel {

// One monitoring cycle's reads.
struct CycleReport {
    // The slots whose command got an answer in this cycle, settled or not:
    // the unit is there.
    std::bitset<kSlotCount + 1> answered;
    // The slots read in this cycle whose answer is sure to be their own (see
    // AnswerOrder): a decision never rests on a value not settled, and what
    // is not settled is withheld from the record.
    std::bitset<kSlotCount + 1> settled;
};

// What a unit's connection and polling loop report, in the order it
// happens, on the thread that talks to the unit. The window's presenter
// turns these into what the window shows; the monitor and tornavelctl take
// them directly. Every event has a default that ignores it.
class PollEvents : public ExchangeEvents {
public:
    virtual ~PollEvents() = default;
    // "Y" answered "SM": the full read begins.
    virtual void FullReadStarted() {}
    // One value of the full read has been read (slot 1..30).
    virtual void FullReadProgress(int /*slot*/) {}
    // The full read is in the record.
    virtual void Connected(const apcrec& /*record*/) {}
    // The polling loop takes over the port, with the full read's values current.
    virtual void PollingStarted() {}
    // A pass of the polling loop begins (the unit is being asked).
    virtual void PassStarted() {}
    // A test request has been served (sent, or found to be no test).
    virtual void TestRequestServed() {}
    // One value of a monitoring cycle was read: its answer when settled,
    // else empty.
    virtual void ValueRead(int /*slot*/, const Bytes& /*answer*/) {}
    // A monitoring cycle's reads are in the record.
    virtual void CycleRead(const CycleReport& /*cycle*/) {}
    // The cycle's work is done and its pause begins.
    virtual void Pausing() {}
    // A whole monitoring cycle got no answer.
    virtual void UnitSilent() {}
    // A setting change was performed; `readBack` is the unit's raw answer to
    // the setting's command afterwards (empty: none).
    virtual void ChangeDone(const Bytes& /*readBack*/) {}
    // A test or calibration command was sent; `answer` is the unit's
    // acknowledgement ("OK", "NO"), its answer line, or empty for none.
    virtual void TestAnswered(const Bytes& /*command*/, const Bytes& /*answer*/) {}
    // An alert character or acknowledgement the unit sent ("OK", "NO", "!"...).
    virtual void Alert(const Bytes& /*token*/) {}
    // The port's device vanished: nothing more is sent on this line.
    virtual void LineGone() {}
    // The connection to the unit on COM`port` is closed; `deviceGone` when
    // its device had vanished.
    virtual void ConnectionClosed(int /*port*/, bool /*deviceGone*/) {}
};

}  // namespace tornavel
