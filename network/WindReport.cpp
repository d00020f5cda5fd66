#include "network/WindReport.h"

#include "connection/LinkWatch.h"
#include "connection/WindConnection.h"

namespace vx {

std::string_view LinkStatusText(LinkStatus status) {
    switch (status) {
        case LinkStatus::PortLost:
            return "port lost";
        case LinkStatus::NoData:
            return "no data";
        case LinkStatus::Online:
            break;
    }
    return "online";
}

LinkStatus ToLinkStatus(LinkState state) {
    switch (state) {
        case LinkState::PortLost:
            return LinkStatus::PortLost;
        case LinkState::NoData:
            return LinkStatus::NoData;
        case LinkState::Online:
            break;
    }
    return LinkStatus::Online;
}

WindReport MakeWindReport(const WindConnection& wind, WallClock::time_point time) {
    const WindSample& sample = wind.Sample();
    return WindReport{time, sample.magnitude, sample.direction, sample.u, sample.v, sample.w};
}

WindSummary MakeWindSummary(const WindConnection& wind, WallClock::time_point time,
                            bool magnitudeVector, bool directionVector) {
    WindSummary summary;
    summary.current = MakeWindReport(wind, time);
    summary.gustKnown = wind.GustWindow() > 0;
    summary.gust = wind.Gust();
    // Averaging chosen while the output rate is still unknown computes nothing yet.
    summary.averagingMinutes =
        wind.Statistics().AveragingWindow() > 0 ? wind.AveragingPeriod() / 60 : 0;
    const WindAverages& averages = wind.Averages();
    summary.vectorSpeed = averages.vectorSpeed;
    summary.vectorDirection = averages.vectorDirection;
    summary.scalarSpeed = averages.scalarSpeed;
    summary.scalarDirection = averages.scalarDirection;
    summary.maxGust = averages.maxGust;
    summary.minGust = averages.minGust;
    summary.magnitudeVector = magnitudeVector;
    summary.directionVector = directionVector;
    return summary;
}

}  // namespace vx
