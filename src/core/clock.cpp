#include "clock.h"

#include <chrono>
#include <thread>

namespace tornavel {

double Clock::UnixSeconds() const
{
    return UnixSecondsNow();
}

void SteadyClock::Sleep(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::int64_t SteadyClock::NowMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

double UnixSecondsNow()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count() / 1000.0;
}

}  // namespace tornavel
