#include "interruption.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace tornavel::ctl {

namespace {

std::atomic<int> endSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

void Note(int signal)
{
    int none = 0;
    if (!endSignal.compare_exchange_strong(none, signal)) return;  // said once
    static const char message[] = "tornavelctl: asked to end: finishing the step under way, then leaving the unit\n";
    (void)!::write(STDERR_FILENO, message, sizeof message - 1);
}

}  // namespace

void CatchEndSignals()
{
    struct sigaction action {};
    action.sa_handler = Note;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

int EndSignal()
{
    return endSignal.load();
}

int InterruptedStatus()
{
    return 128 + EndSignal();
}

const char* EndSignalName()
{
    switch (EndSignal()) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    }
    return "";
}

void NoteEndSignal(int signal)
{
    endSignal = signal;
}

}  // namespace tornavel::ctl
