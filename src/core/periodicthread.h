#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tornavel {

// A thread of its own that does one job every period until it is stopped.
// A stop wakes it from its wait at once (a job under way is finished
// first), so a long period never holds up the end of the program. Started
// once; Start and Stop are called by the owner's thread, never by the job.
class PeriodicThread {
public:
    enum class FirstRun { AtOnce, AfterPeriod };

    PeriodicThread() = default;
    ~PeriodicThread() { Stop(); }
    PeriodicThread(const PeriodicThread&) = delete;
    PeriodicThread& operator=(const PeriodicThread&) = delete;

    void Start(std::chrono::milliseconds period, FirstRun first, std::function<void()> job);
    // Ends the thread and waits for it; false when none was running.
    bool Stop();

private:
    // Waits one period; true when told to stop instead.
    bool StopWithin(std::chrono::milliseconds period);

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tornavel
