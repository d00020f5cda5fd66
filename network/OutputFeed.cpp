#include "network/OutputFeed.h"

#include "connection/WindConnection.h"

namespace vx {

void OutputFeed::SampleTaken(const WindConnection& wind) {
    if (!sampleSeen_) {
        sampleSeen_ = true;
        nextSummary_ = Clock::now() + kSummaryInterval;
    }
    outputs_.HandSample(MakeWindReport(wind, WallClock::now()));
}

void OutputFeed::Tick(const WindConnection& wind, bool magnitudeVector, bool directionVector,
                      Clock::time_point now) {
    if (!sampleSeen_ || now < nextSummary_) {
        return;
    }
    // On schedule, but never a catch-up burst after a stall.
    nextSummary_ += kSummaryInterval;
    if (nextSummary_ <= now) {
        nextSummary_ = now + kSummaryInterval;
    }
    outputs_.HandSummary(MakeWindSummary(wind, WallClock::now(), magnitudeVector, directionVector));
}

}  // namespace vx
