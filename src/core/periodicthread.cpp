#include "periodicthread.h"

namespace tornavel {

void PeriodicThread::Start(std::chrono::milliseconds period, FirstRun first, std::function<void()> job)
{
    thread_ = std::thread([this, period, first, job = std::move(job)] {
        if (first == FirstRun::AtOnce) job();
        while (!StopWithin(period)) job();
    });
}

bool PeriodicThread::StopWithin(std::chrono::milliseconds period)
{
    std::unique_lock lock(mutex_);
    return wake_.wait_for(lock, period, [this] { return stopping_; });
}

bool PeriodicThread::Stop()
{
    if (!thread_.joinable()) return false;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    return true;
}

}  // namespace tornavel
