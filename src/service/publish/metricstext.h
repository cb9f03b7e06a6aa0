#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "units/unitsnapshot.h"

namespace tornavel::service {

// The Prometheus text exposition (format 0.0.4) of all units: every family
// with its HELP and TYPE lines, one series per unit labelled with its port.
// A reading the unit did not answer, or answered with text that is not a
// number, is left out; while a unit is not answering only its health, its
// last good time, its identity and its counters are given.
std::string RenderMetrics(const std::vector<UnitSnapshot>& units);

// The names of the series that are not readings (those come from the
// readings table), after the common prefix. A follower reads its primary's
// series by these same names.
inline constexpr std::string_view kMetricPrefix = "tornavel_ups_";
inline constexpr const char* kUpMetric = "up";
inline constexpr const char* kLastGoodMetric = "last_good_reading_timestamp_seconds";
inline constexpr const char* kShutdownPendingMetric = "shutdown_pending";
inline constexpr const char* kAlertsMetric = "alerts_total";
inline constexpr const char* kLinkLossesMetric = "link_losses_total";

// A label value: backslash, double quote and line feed escaped.
std::string Escaped(const std::string& value);

inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

}  // namespace tornavel::service
