#pragma once

namespace tornavel::ctl {

// SIGINT, SIGTERM and SIGHUP ask the program to end. They do not end it at
// once: a change under way would leave a half-written name or a unit in
// programming mode. They are noted (with a word on standard error); the
// step under way is finished, no further step begins, the unit leaves
// smart mode and the port is released as always, and the program says what
// the unit holds and ends with 128 + the signal's number.
void CatchEndSignals();

// The signal that asked the program to end, or 0.
int EndSignal();
// The exit status for it (128 + its number).
int InterruptedStatus();
// "SIGINT", "SIGTERM", "SIGHUP".
const char* EndSignalName();

// For tests: as if `signal` had arrived (0 forgets it).
void NoteEndSignal(int signal);

}  // namespace tornavel::ctl
