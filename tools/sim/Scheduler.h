#pragma once
// Message times for a steady output rate: slot k is due at start + k / rate, counted from the
// start, so the rate does not drift however late each wake-up is.

#include <chrono>
#include <cstdint>

namespace vx::sim {

using Clock = std::chrono::steady_clock;

class Scheduler {
public:
    Scheduler(double rateHz, Clock::time_point start) : rate_(rateHz), start_(start) {}

    Clock::time_point DueTime(std::uint64_t slot) const {
        return start_ + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(static_cast<double>(slot) / rate_));
    }
    Clock::time_point NextDue() const { return DueTime(next_); }
    bool Due(Clock::time_point now) const { return now >= NextDue(); }
    // The next slot's number (0 up); the schedule moves on by one.
    std::uint64_t Take() { return next_++; }
    double Period() const { return 1.0 / rate_; }

private:
    double rate_;
    Clock::time_point start_;
    std::uint64_t next_ = 0;
};

}  // namespace vx::sim
