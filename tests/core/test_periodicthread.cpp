#include "periodicthread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace tornavel {
namespace {

using namespace std::chrono_literals;
using FirstRun = PeriodicThread::FirstRun;

// Long enough never to pass within a test; short enough for a wait_for.
constexpr auto kForever = std::chrono::hours(24);
// A generous bound for what happens "at once": only a stuck thread misses it.
constexpr auto kPatience = std::chrono::seconds(60);

// Counts the job's runs; a test waits for a number of them.
class Runs {
public:
    void Add()
    {
        {
            std::lock_guard lock(mutex_);
            ++count_;
        }
        changed_.notify_all();
    }
    bool Reach(int wanted)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return count_ >= wanted; });
    }
    int Count()
    {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

// Whether Stop returns within the patience. A thread that never wakes is
// left behind (with its object) so that the failure is reported, not hung.
bool StopsPromptly(std::unique_ptr<PeriodicThread>& periodic)
{
    auto stopped = std::make_shared<std::promise<bool>>();
    auto answer = stopped->get_future();
    std::thread stopper([raw = periodic.get(), stopped] { stopped->set_value(raw->Stop()); });
    if (answer.wait_for(kPatience) != std::future_status::ready) {
        stopper.detach();
        periodic.release();
        return false;
    }
    stopper.join();
    return answer.get();
}

TEST(PeriodicThread, AtOnceRunsFirstThenWaitsAPeriod)
{
    Runs runs;
    auto periodic = std::make_unique<PeriodicThread>();
    periodic->Start(kForever, FirstRun::AtOnce, [&] { runs.Add(); });
    ASSERT_TRUE(runs.Reach(1));
    ASSERT_TRUE(StopsPromptly(periodic));  // a stop cuts the day's wait short
    EXPECT_EQ(runs.Count(), 1);
}

TEST(PeriodicThread, AfterPeriodWaitsBeforeTheFirstRun)
{
    Runs runs;
    auto periodic = std::make_unique<PeriodicThread>();
    periodic->Start(kForever, FirstRun::AfterPeriod, [&] { runs.Add(); });
    ASSERT_TRUE(StopsPromptly(periodic));
    EXPECT_EQ(runs.Count(), 0);
}

TEST(PeriodicThread, RunsAgainEveryPeriodUntilStopped)
{
    Runs runs;
    auto periodic = std::make_unique<PeriodicThread>();
    periodic->Start(1ms, FirstRun::AfterPeriod, [&] { runs.Add(); });
    EXPECT_TRUE(runs.Reach(3));
    EXPECT_TRUE(StopsPromptly(periodic));
}

TEST(PeriodicThread, AStopFinishesTheJobUnderWay)
{
    std::promise<void> entered;
    std::promise<void> release;
    auto released = release.get_future().share();
    bool finished = false;
    auto periodic = std::make_unique<PeriodicThread>();
    periodic->Start(kForever, FirstRun::AtOnce, [&] {
        entered.set_value();
        released.wait();
        finished = true;
    });
    entered.get_future().wait();
    std::thread releaser([&] {
        std::this_thread::sleep_for(20ms);
        release.set_value();
    });
    ASSERT_TRUE(StopsPromptly(periodic));
    releaser.join();
    EXPECT_TRUE(finished);  // Stop returned only after the job did
}

TEST(PeriodicThread, StopWithoutAThreadSaysSo)
{
    PeriodicThread never;
    EXPECT_FALSE(never.Stop());
    Runs runs;
    auto periodic = std::make_unique<PeriodicThread>();
    periodic->Start(kForever, FirstRun::AfterPeriod, [&] { runs.Add(); });
    ASSERT_TRUE(StopsPromptly(periodic));
    EXPECT_FALSE(periodic->Stop());  // the second stop has nothing to end
}

}  // namespace
}  // namespace tornavel
