#pragma once
#include <string>

namespace tornavel::service {

// The monitor's own metrics, in the text exposition format.

// tornavel_monitor_build_info{version} 1.
std::string RenderBuildInfo(const std::string& version);

// The usual process_* families of this process (CPU seconds, resident and
// virtual memory, open and allowed file descriptors, start time), read from
// /proc/self at each call. Only for the HTTP endpoint: node_exporter has
// process_* of its own and refuses a text file that repeats them.
std::string RenderProcessMetrics();

}  // namespace tornavel::service
