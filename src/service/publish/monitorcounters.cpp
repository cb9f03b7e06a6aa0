#include "publish/monitorcounters.h"

namespace tornavel::service {

std::string RenderMonitorCounters(const MonitorCounters& counters)
{
    struct Counter {
        const char* name;
        const char* help;
        std::uint64_t value;
    };
    const Counter all[] = {
        {"hook_runs_total", "Runs of the event program started.", counters.hookRuns},
        {"hook_failures_total", "Runs of the event program that could not start or ended with a non-zero status.",
         counters.hookFailures},
        {"hook_timeouts_total", "Runs of the event program ended by the monitor (timeout or stop).",
         counters.hookTimeouts},
        {"hook_skipped_total", "Events never handed to the event program (queue full or stopping).",
         counters.hookSkipped},
        {"events_coalesced_total", "Repeated alerts folded into a summary event instead of an event each.",
         counters.eventsCoalesced},
        {"textfile_write_errors_total", "Writes of the text file that failed.", counters.textfileWriteErrors},
    };
    std::string out;
    for (const Counter& c : all) {
        const std::string name = std::string("tornavel_monitor_") + c.name;
        out += "# HELP " + name + " " + c.help + "\n# TYPE " + name + " counter\n" + name + " " +
               std::to_string(c.value) + "\n";
    }
    return out;
}

}  // namespace tornavel::service
