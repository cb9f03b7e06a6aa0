#pragma once
#include <cstdint>
#include <string>

namespace tornavel::service {

// The monitor's own counters, about its event program, its event log and its
// text file.
struct MonitorCounters {
    std::uint64_t hookRuns = 0;
    std::uint64_t hookFailures = 0;
    std::uint64_t hookTimeouts = 0;
    std::uint64_t hookSkipped = 0;
    std::uint64_t eventsCoalesced = 0;
    std::uint64_t textfileWriteErrors = 0;
};

// Their Prometheus text exposition, each family with HELP and TYPE.
std::string RenderMonitorCounters(const MonitorCounters& counters);

}  // namespace tornavel::service
