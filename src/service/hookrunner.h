#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "event.h"

namespace tornavel::service {

// Runs the event program for each event, one at a time on its own thread, so
// no unit ever waits for it. The program is started directly (no shell) as
// PROGRAM EVENT PORT, with the details in the environment:
// TORNAVEL_EVENT, TORNAVEL_PORT, TORNAVEL_MESSAGE, TORNAVEL_TIME and one
// TORNAVEL_<KEY> per detail. Text from a unit only ever travels as the value
// of such a variable. A program still running after the timeout is killed
// with its process group; every child is reaped.
class HookRunner {
public:
    using Note = std::function<void(const std::string& name, const std::string& message)>;
    static constexpr std::size_t kQueueLimit = 64;

    HookRunner(std::string program, int timeoutMs, Note note);
    ~HookRunner();
    HookRunner(const HookRunner&) = delete;
    HookRunner& operator=(const HookRunner&) = delete;

    // Queues the event; a full queue drops it with a note.
    void Run(Event event);
    // Runs what is queued, then ends the thread.
    void Finish();

private:
    void Loop();
    void RunOne(const Event& event);

    const std::string program_;
    const int timeoutMs_;
    Note note_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Event> queue_;
    bool finishing_ = false;
    std::thread thread_;
};

}  // namespace tornavel::service
