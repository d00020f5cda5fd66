#pragma once
// What a connection hands to its network outputs: a copy of one valid sample, or once a second a
// summary of its statistics, stamped with the time it was taken. Plain values, so the copy is
// all the user-interface thread pays; everything else happens on the outputs' threads.

#include <chrono>
#include <string_view>

namespace vx {

class WindConnection;

using WallClock = std::chrono::system_clock;

struct WindReport {
    WallClock::time_point time;
    double magnitude = 0;  // m/s
    double direction = 0;  // degrees
    double u = 0;          // m/s
    double v = 0;
    double w = 0;
};

struct WindSummary {
    WindReport current;
    bool gustKnown = false;    // false until the output rate is known (no gust window yet)
    double gust = 0;           // 3-second gust, m/s
    int averagingMinutes = 0;  // 0 = averaging off: the averages below mean nothing
    double vectorSpeed = 0;    // m/s
    double vectorDirection = 0;
    double scalarSpeed = 0;
    double scalarDirection = 0;
    double maxGust = 0;  // largest and smallest gust of the averaging window, m/s
    double minGust = 0;
    // The average types the connection shows (the main window's choice); the NMEA transducers
    // carry these, the JSON carries both.
    bool magnitudeVector = true;
    bool directionVector = true;
};

// One item of an output's hand-over: a sample (in data.current) or a summary.
struct OutputEvent {
    bool summary = false;
    WindSummary data;
};

// The state of the connection as the outputs announce it; "offline" is the outputs' own.
enum class LinkStatus { Online, PortLost, NoData };
std::string_view LinkStatusText(LinkStatus status);  // "online", "port lost", "no data"
// What a connection's watch of its line says, as the outputs announce it.
enum class LinkState;
LinkStatus ToLinkStatus(LinkState state);
inline constexpr std::string_view kOfflineText = "offline";

// The current sample of a connection, at `time`.
WindReport MakeWindReport(const WindConnection& wind, WallClock::time_point time);
// The connection's statistics, with the average types it shows.
WindSummary MakeWindSummary(const WindConnection& wind, WallClock::time_point time,
                            bool magnitudeVector, bool directionVector);

}  // namespace vx
