#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "events/event.h"

namespace tornavel::service {

// Runs the event program for each event on a few threads of its own, so no
// unit ever waits for it and one hung program does not hold up the others.
// The program is started directly (no shell) as PROGRAM EVENT PORT, with the
// details in the environment: TORNAVEL_EVENT, TORNAVEL_PORT,
// TORNAVEL_MESSAGE, TORNAVEL_TIME and one TORNAVEL_<KEY> per detail. Text
// from a unit only ever travels as the value of such a variable. Each program
// runs in its own process group; one still running after the timeout gets
// SIGTERM with its whole group, then SIGKILL after a short grace. Every child
// is reaped.
class HookRunner {
public:
    using Note = std::function<void(const std::string& name, const std::string& message)>;
    static constexpr std::size_t kQueueLimit = 64;
    static constexpr int kParallel = 4;
    static constexpr int kGraceMs = 2000;

    struct Counts {
        std::uint64_t runs = 0;      // programs started
        std::uint64_t failures = 0;  // not started, or ended other than with status 0
        std::uint64_t timeouts = 0;  // ended by the monitor
        std::uint64_t skipped = 0;   // events never handed over
    };

    HookRunner(std::string program, int timeoutMs, Note note);
    ~HookRunner();
    HookRunner(const HookRunner&) = delete;
    HookRunner& operator=(const HookRunner&) = delete;

    // Queues the event. An urgent one (a change of state) goes ahead of the
    // others and is always taken; when the queue is full, another is dropped
    // with a note.
    void Run(Event event, bool urgent = false);
    // Lets queued and running programs go on for at most `patienceMs`; then
    // drops what is still queued, ends what still runs (SIGTERM to the group,
    // SIGKILL after a short grace) and ends the threads.
    void Finish(int patienceMs);
    // SIGKILL to every running program's group, at once, from any thread.
    void KillRunning();

    Counts counts() const;

private:
    void Loop();
    void RunOne(const Event& event);
    // Waits for the program to end by itself, or ends it at the timeout or
    // when the runner is cut short; returns its wait status.
    int Await(pid_t pid, const Event& event);
    bool Exited(pid_t pid);
    void EndGroup(pid_t pid, int graceMs);

    const std::string program_;
    const int timeoutMs_;
    Note note_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Event> queue_;
    std::size_t urgentQueued_ = 0;  // at the queue's front
    int busy_ = 0;
    bool finishing_ = false;
    std::atomic<bool> cutShort_{false};
    std::set<pid_t> running_;  // not yet reaped, so each still names its group
    Counts counts_;
    std::vector<std::thread> threads_;
};

}  // namespace tornavel::service
