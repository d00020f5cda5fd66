#include "network/WindJson.h"

#include "platform/NumberText.h"

#include <cmath>
#include <ctime>

namespace vx {
namespace {

void AddNumber(std::string& json, const char* name, double value, bool known = true) {
    json += '"';
    json += name;
    json += "\":";
    // JSON has no infinities or NaN; a value that is not there is null.
    json += known && std::isfinite(value) ? FormatGeneral(value) : "null";
    json += ',';
}

void AddSampleMembers(std::string& json, const WindReport& report) {
    json += "\"time\":\"";
    json += IsoUtcTime(report.time);
    json += "\",";
    AddNumber(json, "speed", report.magnitude);
    AddNumber(json, "direction", report.direction);
    AddNumber(json, "u", report.u);
    AddNumber(json, "v", report.v);
    AddNumber(json, "w", report.w);
}

constexpr const char* kUnitsMember = "\"units\":{\"speed\":\"m/s\",\"direction\":\"degrees\"}}";

}  // namespace

std::string IsoUtcTime(WallClock::time_point time) {
    const auto since = time.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(since - seconds).count();
    const std::time_t whole = static_cast<std::time_t>(seconds.count());
    std::tm utc{};
    gmtime_r(&whole, &utc);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::string result(text, length);
    result += '.';
    result += static_cast<char>('0' + millis / 100);
    result += static_cast<char>('0' + millis / 10 % 10);
    result += static_cast<char>('0' + millis % 10);
    result += 'Z';
    return result;
}

std::string SampleJson(const WindReport& report) {
    std::string json = "{";
    json.reserve(200);
    AddSampleMembers(json, report);
    json += kUnitsMember;
    return json;
}

std::string SummaryJson(const WindSummary& summary) {
    std::string json = "{";
    json.reserve(400);
    AddSampleMembers(json, summary.current);
    AddNumber(json, "gust", summary.gust, summary.gustKnown);
    json += "\"averaging_minutes\":";
    json += FormatGeneral(summary.averagingMinutes);
    json += ',';
    const bool averaging = summary.averagingMinutes > 0;
    AddNumber(json, "vector_speed", summary.vectorSpeed, averaging);
    AddNumber(json, "vector_direction", summary.vectorDirection, averaging);
    AddNumber(json, "scalar_speed", summary.scalarSpeed, averaging);
    AddNumber(json, "scalar_direction", summary.scalarDirection, averaging);
    AddNumber(json, "max_gust", summary.maxGust, averaging);
    AddNumber(json, "min_gust", summary.minGust, averaging);
    json += kUnitsMember;
    return json;
}

}  // namespace vx
