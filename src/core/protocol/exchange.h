#pragma once
#include "bytes.h"
#include "protocol/devicetable.h"
#include "protocol/exchangeevents.h"
#include "serial/comport.h"

namespace tornavel {

class AlertReporter;
class Screen;

// The window thread's transaction: `busy` hears it begin and end, and pending
// window events are handled before the command goes out.
bool sereCom(ComPort& port, Screen& screen, ExchangeEvents& busy, const PortHandle& handle, const Bytes& command,
             Bytes& answer);

// The first line of the answer to one command, after the alert filter. An
// exchange that fails gives the empty text: a slot only ever holds the answer
// to its own command, never the leftover of an earlier one.
Bytes AskLine(ComPort& port, const PortHandle& handle, const Bytes& command, AlertReporter& alerts);
// The same, and whether the unit answered at all: an acknowledgement that the
// alert filter takes away (the "OK" to a test) is an answer all the same.
struct LineAnswer {
    Bytes line;
    bool answered = false;
};
LineAnswer AskAnswer(ComPort& port, const PortHandle& handle, const Bytes& command, AlertReporter& alerts);
// The same through sereCom, for the window thread.
Bytes sereLine(ComPort& port, Screen& screen, ExchangeEvents& busy, const PortHandle& handle, const Bytes& command,
               AlertReporter& alerts);

// Whether what an exchange brings is its own command's answer. A command
// that got nothing in time may still be answered, and a later exchange then
// takes that late answer for its own (and its own answer comes late in turn).
// So an answer is settled only while no answer is pending; a pending answer
// is done with once its line has been dropped before a command went out.
class AnswerOrder {
public:
    // A new read (the full read, a monitoring cycle after its pause).
    void Restart() { pending_ = 0; }
    // An exchange of the read that got no answer in time.
    void Unanswered() { ++pending_; }
    void LinesDropped(int lines) { pending_ = lines >= pending_ ? 0 : pending_ - lines; }
    // An exchange counted unanswered whose answer was found after all (a
    // lone "OK" or "NO" the alert filter took for an acknowledgement).
    void AnsweredAfterAll() { LinesDropped(1); }
    bool Settled() const { return pending_ == 0; }

private:
    int pending_ = 0;
};

// A field of the full read or of the monitoring cycle. Whatever is already
// waiting before the command goes out is taken first: its alerts count and
// are shown, the rest (a late answer to an earlier command) is dropped and
// counted in `order`. An answer taken while another is pending is not
// settled. Nothing is waited for and no byte sent changes.
FieldAnswer AskField(ComPort& port, const PortHandle& handle, const Bytes& command, AlertReporter& alerts,
                     AnswerOrder& order);
FieldAnswer sereField(ComPort& port, Screen& screen, ExchangeEvents& busy, const PortHandle& handle,
                      const Bytes& command, AlertReporter& alerts, AnswerOrder& order);

}  // namespace tornavel
