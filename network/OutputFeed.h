#pragma once
// Feeds a connection's network outputs from its wind state, on the thread that owns that state:
// each valid sample as it is taken, and once a second a summary of the statistics (from the
// first valid sample on: before it there is nothing to summarise).

#include "network/WindOutputs.h"

#include <chrono>

namespace vx {

class WindConnection;

class OutputFeed {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kSummaryInterval{1};

    explicit OutputFeed(WindOutputs& outputs) : outputs_(outputs) {}

    // A valid sample has just been taken (and fed to the gust and averages).
    void SampleTaken(const WindConnection& wind);
    // Call at least a few times a second; hands over a summary when one is due.
    void Tick(const WindConnection& wind, bool magnitudeVector, bool directionVector,
              Clock::time_point now = Clock::now());

private:
    WindOutputs& outputs_;
    bool sampleSeen_ = false;
    Clock::time_point nextSummary_{};
};

}  // namespace vx
