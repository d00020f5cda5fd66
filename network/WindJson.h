#pragma once
// The JSON messages the MQTT output publishes. Speeds in m/s and directions in degrees, as the
// program keeps them (the "units" member says so), numbers in their shortest exact form with "."
// always, the time in UTC as ISO 8601 with milliseconds:
//   sample:     {"time":"2026-05-01T12:00:00.250Z","speed":5.12,"direction":229.4,
//                "u":..,"v":..,"w":..,"units":{"speed":"m/s","direction":"degrees"}}
//   statistics: the same members for the current sample, then "gust" (null until the output
//               rate is known), "averaging_minutes" (0, 2 or 10), "vector_speed",
//               "vector_direction", "scalar_speed", "scalar_direction", "max_gust", "min_gust"
//               (all null while averaging is off)

#include "network/WindReport.h"

#include <string>

namespace vx {

std::string IsoUtcTime(WallClock::time_point time);
std::string SampleJson(const WindReport& report);
std::string SummaryJson(const WindSummary& summary);

}  // namespace vx
