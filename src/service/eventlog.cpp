#include "eventlog.h"

#include <chrono>
#include <ctime>

#include "hookrunner.h"
#include "unittext.h"

namespace tornavel::service {

std::string EventTimeNow()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[40];
    const auto length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis));
    return text;
}

void EventLog::Write(const Event& event)
{
    const std::string line = event.time + " " + PrintableText(event.port) + " " + event.name + " " +
                             PrintableText(event.message) + "\n";
    std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
}

void EventLog::Record(Event event)
{
    if (event.time.empty()) event.time = EventTimeNow();
    Write(event);
    if (hooks_) hooks_->Run(std::move(event));
}

void EventLog::Note(const std::string& port, const std::string& name, const std::string& message)
{
    Write(Event{EventTimeNow(), port, name, message, {}});
}

}  // namespace tornavel::service
