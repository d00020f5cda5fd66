#include "connection/LinkWatch.h"

#include <algorithm>

namespace vx {

namespace {

double Seconds(LinkWatch::Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

const char* LinkStateName(LinkState state) {
    switch (state) {
        case LinkState::Online:
            return "online";
        case LinkState::PortLost:
            return "port lost";
        case LinkState::NoData:
            return "no data";
    }
    return "online";
}

double LinkWatch::SilenceThreshold(double outputRate) {
    if (!(outputRate > 0)) {
        return kMinSilenceSeconds;
    }
    return std::max(kMinSilenceSeconds, kSilencePeriods / outputRate);
}

void LinkWatch::Start(Clock::time_point now) {
    lastMessage_ = now;
    alarmsReset_ = now;
    everHeard_ = false;
    lost_ = false;
    messages_ = 0;
}

bool LinkWatch::MessageArrived(Clock::time_point now, double outputRate) {
    const bool gap = Silent(now, outputRate);
    lastMessage_ = now;
    everHeard_ = true;
    ++messages_;
    return gap;
}

double LinkWatch::SilentSeconds(Clock::time_point now) const {
    return std::max(0.0, Seconds(now - lastMessage_));
}

bool LinkWatch::Silent(Clock::time_point now, double outputRate) const {
    return SilentSeconds(now) > SilenceThreshold(outputRate);
}

LinkState LinkWatch::State(Clock::time_point now, double outputRate) const {
    if (lost_) {
        return LinkState::PortLost;
    }
    return Silent(now, outputRate) ? LinkState::NoData : LinkState::Online;
}

double LinkWatch::SilentSecondsSinceReset(Clock::time_point now) const {
    return std::max(0.0, Seconds(now - std::max(lastMessage_, alarmsReset_)));
}

}  // namespace vx
