#pragma once
// The simulated instrument's run: it streams messages on schedule (or answers polls), listens
// for the program's requests, watches the program's line speed and whether anyone listens,
// injects faults, and records every message slot in the send log.

#include <cstdint>
#include <optional>
#include <string>

#include "tools/sim/AcceptanceModel.h"
#include "tools/sim/CommandListener.h"
#include "tools/sim/FaultInjector.h"
#include "tools/sim/MessageBuilder.h"
#include "tools/sim/PortsFolder.h"
#include "tools/sim/PtyLink.h"
#include "tools/sim/Scheduler.h"
#include "tools/sim/SendLog.h"
#include "tools/sim/SimOptions.h"
#include "tools/sim/WindModel.h"

namespace vx::sim {

class Simulator {
public:
    explicit Simulator(const SimOptions& options);

    // Creates the device, its link and the log; false with a reason in `error`.
    bool Start(std::string& error);
    // Runs until the count, the duration, a vanish or a stop request; returns the exit code.
    int Run(int stopFd);
    std::string Banner() const;
    std::string Summary() const;

private:
    double Elapsed(Clock::time_point now) const;
    bool InSilence(Clock::time_point now) const;
    bool Finished(Clock::time_point now) const;

    void WatchListener(Clock::time_point now);
    void WatchBaud(Clock::time_point now);
    bool Matched() const { return programBaud_ == options_.baud; }
    void ReadFromProgram(Clock::time_point now);
    void Obey(Command command, Clock::time_point now);

    void StreamDueMessages(Clock::time_point now);
    void EmitMessage(std::uint64_t sequence, const WindState& wind, Clock::time_point now,
                     bool late);
    std::string QuietReason(Clock::time_point now, bool late) const;
    void SendResetReplyIfDue(Clock::time_point now);
    // Puts bytes on the line as the program will read them; returns accepted packets, or -1
    // when the line queue is full.
    int Transmit(const std::string& bytes);
    void FlushQueue();
    void Vanish(Clock::time_point now);
    void DrainBeforeExit();

    int WaitMilliseconds(Clock::time_point now) const;
    void Wait(int stopFd, int timeoutMs, bool& stopRequested);

    SimOptions options_;
    PtyLink pty_;
    PortLink link_;
    SendLog log_;
    MessageBuilder builder_;
    WindModel wind_;
    FaultInjector faults_;
    AcceptanceModel acceptance_;
    CommandListener listener_;
    Clock::time_point start_;
    Scheduler scheduler_;

    bool listening_ = false;
    std::uint32_t programBaud_ = 0;
    std::string queue_;
    std::optional<Clock::time_point> replyDue_;
    Clock::time_point quietUntil_{};
    Clock::time_point lastPoll_{};
    std::uint64_t polls_ = 0;
    bool vanished_ = false;

    std::uint64_t onLine_ = 0;    // messages that went out, faulty or garbled included
    std::uint64_t intact_ = 0;    // of those, sent intact at the matching speed
    std::uint64_t accepted_ = 0;  // packets the program should accept
    std::uint64_t notSent_ = 0;   // slots nobody heard, silent, resetting, late or overrun
};

}  // namespace vx::sim
