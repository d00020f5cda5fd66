#pragma once
// How a connection's line stands: whether its device is there and how long the instrument has
// been quiet. The connection window reads it for its views and the no-data alarm; anything that
// reports a station's health (the main window, a network output) reads the same three states.
// Times come from the caller, so the rules can be followed without waiting for real seconds.

#include <chrono>

namespace vx {

enum class LinkState {
    Online,    // messages arrive
    PortLost,  // the device went away; the connection waits for it to return
    NoData,    // the port is there but no message passed the test for too long
};

// "online", "port lost", "no data".
const char* LinkStateName(LinkState state);

class LinkWatch {
public:
    using Clock = std::chrono::steady_clock;

    // An instrument counts as quiet once it has missed five of its messages, and never sooner
    // than 3 s: a slow unit's regular pause is not a fault.
    static constexpr double kMinSilenceSeconds = 3;
    static constexpr int kSilencePeriods = 5;
    // Seconds without a message after which the line counts as quiet at this output rate in Hz
    // (0, not yet measured, gives the minimum).
    static double SilenceThreshold(double outputRate);

    // The port has just opened: nothing heard yet, quiet counted from now.
    void Start(Clock::time_point now);
    // A message passed the test. True when it ends a quiet spell (or a loss) long enough to count
    // as a gap: whatever is averaged over time must start again after it.
    bool MessageArrived(Clock::time_point now, double outputRate);
    bool EverHeard() const { return everHeard_; }
    // Messages that passed the test since the start.
    long long MessageCount() const { return messages_; }

    void PortLost() { lost_ = true; }
    void PortReturned() { lost_ = false; }
    bool Lost() const { return lost_; }

    // Since the last message (or the start, before any).
    double SilentSeconds(Clock::time_point now) const;
    bool Silent(Clock::time_point now, double outputRate) const;
    LinkState State(Clock::time_point now, double outputRate) const;

    // The no-data alarm counts the quiet from the later of the last message and the user's last
    // reset of the alarms, so a reset is not answered by the same alarm a second later.
    void AlarmsReset(Clock::time_point now) { alarmsReset_ = now; }
    double SilentSecondsSinceReset(Clock::time_point now) const;

private:
    Clock::time_point lastMessage_{};
    Clock::time_point alarmsReset_{};
    long long messages_ = 0;
    bool everHeard_ = false;
    bool lost_ = false;
};

}  // namespace vx
