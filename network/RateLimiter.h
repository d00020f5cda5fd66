#pragma once
// At most N messages a second from a stream of samples. Slots are kept on a fixed schedule, so a
// 4 Hz instrument limited to 1 a second gives one message every second, not one every 1.25 s
// when its samples arrive a little early; after a pause the schedule starts afresh instead of
// letting a burst through.

#include <chrono>

namespace vx {

class RateLimiter {
public:
    using Clock = std::chrono::steady_clock;

    // perSecond <= 0 lets nothing through.
    explicit RateLimiter(double perSecond = 1) { SetRate(perSecond); }

    void SetRate(double perSecond);
    double Rate() const { return perSecond_; }

    // True when a message may go now; the slot is then used.
    bool Allow(Clock::time_point now);

private:
    double perSecond_ = 0;
    Clock::duration interval_{};
    Clock::duration earlyTolerance_{};
    bool started_ = false;
    Clock::time_point next_{};
};

}  // namespace vx
