#include "network/RateLimiter.h"

namespace vx {

void RateLimiter::SetRate(double perSecond) {
    perSecond_ = perSecond;
    started_ = false;
    if (perSecond <= 0) {
        return;
    }
    interval_ =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / perSecond));
    // Samples of an instrument exactly at the limit arrive with some jitter; a slot may be taken
    // a tenth of an interval early without raising the long-run rate.
    earlyTolerance_ = interval_ / 10;
}

bool RateLimiter::Allow(Clock::time_point now) {
    if (perSecond_ <= 0) {
        return false;
    }
    if (!started_) {
        started_ = true;
        next_ = now + interval_;
        return true;
    }
    if (now + earlyTolerance_ < next_) {
        return false;
    }
    next_ += interval_;
    if (next_ <= now) {
        // A pause (no samples, a stalled thread): start the schedule again from now.
        next_ = now + interval_;
    }
    return true;
}

}  // namespace vx
