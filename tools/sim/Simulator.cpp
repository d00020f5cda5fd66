#include "tools/sim/Simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <thread>

#include "platform/NumberText.h"
#include "tools/sim/LineGarbler.h"

namespace vx::sim {

namespace {

// More than this many bytes waiting for the program means it has stopped reading; a real line
// would overrun the receiver, so further messages are dropped whole.
constexpr std::size_t kMaxQueuedBytes = 65536;
// A slot this far behind its time is recorded but not sent: after a stall the instrument does
// not pour out a backlog.
constexpr auto kMaxLateness = std::chrono::seconds(1);
// How often the line is checked for a listener and a speed change while nothing else is due.
constexpr auto kIdleCheck = std::chrono::milliseconds(50);
constexpr auto kListeningCheck = std::chrono::milliseconds(100);
// At the end, how long the program may take to read what was already sent.
constexpr auto kDrainLimit = std::chrono::seconds(2);
constexpr auto kDrainQuiet = std::chrono::milliseconds(150);

Clock::duration Seconds(double seconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

Simulator::Simulator(const SimOptions& options)
    : options_(options),
      builder_(options.format, options.message),
      wind_(options.wind, StreamSeed(options.seed, 1)),
      faults_(options.faults, StreamSeed(options.seed, 2)),
      acceptance_(options.format.nmea),
      start_(Clock::now()),
      scheduler_(options.rate, start_) {}

bool Simulator::Start(std::string& error) {
    if (!pty_.Open(options_.baud, error)) {
        return false;
    }
    if (!link_.Claim(options_.portsFolder, pty_.Device(), options_.port, error)) {
        return false;
    }
    if (!log_.Open(options_.logPath, error)) {
        link_.Release();
        return false;
    }
    log_.Comment("ventrix-sim send log");
    log_.Comment("port COM" + std::to_string(link_.Port()) + " device " + pty_.Device() +
                 " format " + options_.format.name + " letters " + options_.format.letters +
                 (options_.polled ? " polled" : " rate " + FormatGeneral(options_.rate)) +
                 " baud " + std::to_string(options_.baud) + " units " +
                 std::string(1, options_.message.units) + " seed " + std::to_string(options_.seed));
    log_.Comment("seq\ttime\tstatus\taccepted\tbytes");
    start_ = Clock::now();
    scheduler_ = Scheduler(options_.rate, start_);
    lastPoll_ = start_;
    programBaud_ = pty_.ProgramBaud();
    return true;
}

std::string Simulator::Banner() const {
    std::string banner =
        "ventrix-sim: COM" + std::to_string(link_.Port()) + " -> " + pty_.Device() + "\n";
    banner += "port: COM" + std::to_string(link_.Port()) + "\n";
    banner += "device: " + pty_.Device() + "\n";
    banner += "link: " + link_.Path() + "\n";
    banner += "format: " + options_.format.name + " " + options_.format.letters + "\n";
    banner += "rate: " +
              (options_.polled ? std::string("polled") : FormatGeneral(options_.rate) + " Hz") +
              "\n";
    banner += "baud: " + std::to_string(options_.baud) + "\n";
    if (!options_.logPath.empty()) {
        banner += "log: " + options_.logPath + "\n";
    }
    banner += "ready\n";
    return banner;
}

std::string Simulator::Summary() const {
    return "ventrix-sim: " + std::to_string(onLine_) + " messages on the line, " +
           std::to_string(intact_) + " intact, " + std::to_string(accepted_) +
           " accepted by the message test, " + std::to_string(notSent_) + " not sent" +
           (vanished_ ? "; device vanished" : "") + "\n";
}

double Simulator::Elapsed(Clock::time_point now) const {
    return std::chrono::duration<double>(now - start_).count();
}

bool Simulator::InSilence(Clock::time_point now) const {
    const double t = Elapsed(now);
    return options_.silenceAfter >= 0 && t >= options_.silenceAfter &&
           t < options_.silenceAfter + options_.silenceFor;
}

bool Simulator::Finished(Clock::time_point now) const {
    if (options_.duration > 0 && Elapsed(now) >= options_.duration) {
        return true;
    }
    return options_.count > 0 && onLine_ >= options_.count && queue_.empty();
}

void Simulator::WatchListener(Clock::time_point now) {
    const bool present = pty_.ListenerPresent();
    if (present == listening_) {
        return;
    }
    listening_ = present;
    listener_.Forget();
    if (present) {
        acceptance_.Reset();
        log_.Event(Elapsed(now), "listener connected");
    } else {
        queue_.clear();
        pty_.DiscardStaleInput();
        log_.Event(Elapsed(now), "listener gone");
    }
}

void Simulator::WatchBaud(Clock::time_point now) {
    const std::uint32_t baud = pty_.ProgramBaud();
    if (baud == programBaud_) {
        return;
    }
    programBaud_ = baud;
    listener_.Forget();
    log_.Event(Elapsed(now), "program line speed " + std::to_string(baud) +
                                 (Matched() ? " (matches)" : " (differs: garbage)"));
}

void Simulator::ReadFromProgram(Clock::time_point now) {
    if (!listening_) {
        return;
    }
    const ReadResult result = pty_.Read();
    if (result.flushed) {
        acceptance_.Reset();
    }
    if (result.data.empty()) {
        return;
    }
    // Bytes sent at another speed are noise to the instrument's UART.
    if (!Matched()) {
        listener_.Forget();
        return;
    }
    for (Command command : listener_.Feed(result.data)) {
        Obey(command, now);
    }
}

void Simulator::Obey(Command command, Clock::time_point now) {
    if (command == Command::Reset) {
        log_.Event(Elapsed(now), "heard $$");
        if (!replyDue_) {
            replyDue_ = now + Seconds(options_.resetDelay);
            quietUntil_ = std::max(quietUntil_, *replyDue_ + Seconds(options_.resetPause));
        }
        return;
    }
    // A unit that streams by itself takes no notice of polls.
    if (!options_.polled || (options_.count > 0 && onLine_ >= options_.count)) {
        return;
    }
    ++polls_;
    const double sinceLast =
        polls_ == 1 ? 0.0 : std::chrono::duration<double>(now - lastPoll_).count();
    lastPoll_ = now;
    EmitMessage(polls_, wind_.Step(sinceLast), now, false);
}

void Simulator::SendResetReplyIfDue(Clock::time_point now) {
    if (!replyDue_ || now < *replyDue_) {
        return;
    }
    replyDue_.reset();
    if (!listening_) {
        return;
    }
    const char mode = options_.ModeChar();
    std::string reply = "RESET-";
    reply += mode;
    // A polled unit says one more character after its mode.
    if (mode == 'P') {
        reply += '1';
    }
    reply += "\r\n";
    const int accepted = Transmit(reply);
    log_.Write({"-", Elapsed(now), accepted < 0 ? "overrun" : "reset-reply", std::max(accepted, 0),
                reply});
}

void Simulator::StreamDueMessages(Clock::time_point now) {
    while (scheduler_.Due(now) && !(options_.count > 0 && onLine_ >= options_.count)) {
        const std::uint64_t slot = scheduler_.Take();
        const bool late = now - scheduler_.DueTime(slot) > kMaxLateness;
        const WindState wind = wind_.Step(slot == 0 ? 0.0 : scheduler_.Period());
        EmitMessage(slot + 1, wind, now, late);
    }
}

std::string Simulator::QuietReason(Clock::time_point now, bool late) const {
    if (late) {
        return "late";
    }
    if (InSilence(now)) {
        return "silent";
    }
    if (replyDue_ || now < quietUntil_) {
        return "reset";
    }
    if (!listening_) {
        return "unheard";
    }
    return "";
}

void Simulator::EmitMessage(std::uint64_t sequence, const WindState& wind, Clock::time_point now,
                            bool late) {
    // Faults are drawn for every slot, sent or not, so a seed always strikes the same
    // sequence numbers.
    Message message = builder_.Build(wind);
    const Faults faults = faults_.Decide(sequence);
    faults_.Apply(faults, message);
    const std::string noise = faults.noiseBefore ? faults_.NoiseBurst() : std::string();
    const std::string bytes = message.Bytes();
    const std::string sequenceText = std::to_string(sequence);

    LogEntry entry{sequenceText, Elapsed(now), QuietReason(now, late), 0, bytes};
    if (!entry.status.empty()) {
        ++notSent_;
        log_.Write(entry);
        return;
    }
    if (!noise.empty()) {
        const int accepted = Transmit(noise);
        log_.Write({sequenceText, entry.time, accepted < 0 ? "overrun" : "noise",
                    std::max(accepted, 0), noise});
    }
    const int accepted = Transmit(bytes);
    if (accepted < 0) {
        ++notSent_;
        entry.status = "overrun";
        log_.Write(entry);
        return;
    }
    ++onLine_;
    if (Matched()) {
        entry.status = faults.Describe();
        intact_ += faults.Any() ? 0 : 1;
    } else {
        entry.status = faults.Any() ? "garbled+" + faults.Describe() : "garbled";
    }
    entry.accepted = accepted;
    log_.Write(entry);
}

int Simulator::Transmit(const std::string& bytes) {
    const std::string line = Matched() ? bytes : GarbleForBaud(bytes, options_.baud, programBaud_);
    if (queue_.size() + line.size() > kMaxQueuedBytes) {
        return -1;
    }
    queue_ += line;
    const int accepted = acceptance_.Feed(line);
    accepted_ += static_cast<std::uint64_t>(accepted);
    FlushQueue();
    return accepted;
}

void Simulator::FlushQueue() {
    while (!queue_.empty()) {
        const long written = pty_.Write(queue_);
        if (written <= 0) {
            if (written < 0) {
                queue_.clear();
            }
            return;
        }
        queue_.erase(0, static_cast<std::size_t>(written));
    }
}

void Simulator::Vanish(Clock::time_point now) {
    log_.Event(Elapsed(now), "device vanished");
    pty_.Close();
    link_.Release();
    vanished_ = true;
}

// Closing the master hangs the line up, and the terminal then drops whatever the program has not
// read yet; a run that ends by its count must not lose its last messages that way.
void Simulator::DrainBeforeExit() {
    const Clock::time_point limit = Clock::now() + kDrainLimit;
    while (!queue_.empty() && Clock::now() < limit) {
        WatchListener(Clock::now());
        if (!listening_) {
            return;
        }
        FlushQueue();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!listening_) {
        return;
    }
    const int slave = open(pty_.Device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        return;
    }
    // Bytes reach the slave's queue a little after the write, so a single empty reading proves
    // nothing: the queue must stay empty for a while.
    Clock::time_point emptySince = Clock::now();
    while (Clock::now() < limit && Clock::now() - emptySince < kDrainQuiet) {
        int unread = 0;
        if (ioctl(slave, FIONREAD, &unread) != 0) {
            break;
        }
        if (unread > 0) {
            emptySince = Clock::now();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    close(slave);
}

int Simulator::WaitMilliseconds(Clock::time_point now) const {
    Clock::time_point next =
        now + (listening_ ? Clock::duration(kListeningCheck) : Clock::duration(kIdleCheck));
    if (!options_.polled && !(options_.count > 0 && onLine_ >= options_.count)) {
        next = std::min(next, scheduler_.NextDue());
    }
    if (replyDue_) {
        next = std::min(next, *replyDue_);
    }
    if (options_.duration > 0) {
        next = std::min(next, start_ + Seconds(options_.duration));
    }
    if (options_.vanishAfter >= 0) {
        next = std::min(next, start_ + Seconds(options_.vanishAfter));
    }
    // Rounded up, so the wake-up never comes just before the moment and spins.
    const double ms = std::chrono::duration<double, std::milli>(next - now).count();
    return std::max(0, static_cast<int>(std::ceil(ms)));
}

void Simulator::Wait(int stopFd, int timeoutMs, bool& stopRequested) {
    pollfd fds[2] = {{stopFd, POLLIN, 0}, {pty_.MasterFd(), 0, 0}};
    nfds_t count = 1;
    // Nobody listening: the master reports a hang-up at every poll, so it is left out and
    // checked again after the short timeout instead.
    if (listening_ && pty_.IsOpen()) {
        fds[1].events = static_cast<short>(POLLIN | POLLPRI | (queue_.empty() ? 0 : POLLOUT));
        count = 2;
    }
    if (poll(fds, count, timeoutMs) > 0 && (fds[0].revents & POLLIN)) {
        stopRequested = true;
    }
}

int Simulator::Run(int stopFd) {
    bool stopRequested = false;
    while (!stopRequested) {
        const Clock::time_point now = Clock::now();
        if (options_.vanishAfter >= 0 && Elapsed(now) >= options_.vanishAfter) {
            Vanish(now);
            break;
        }
        if (Finished(now)) {
            break;
        }
        WatchListener(now);
        WatchBaud(now);
        ReadFromProgram(now);
        SendResetReplyIfDue(now);
        if (!options_.polled) {
            StreamDueMessages(now);
        }
        FlushQueue();
        if (Finished(Clock::now())) {
            break;
        }
        Wait(stopFd, WaitMilliseconds(now), stopRequested);
    }
    if (!vanished_) {
        DrainBeforeExit();
    }
    log_.Event(Elapsed(Clock::now()), stopRequested ? "stopped by signal" : "end");
    log_.Close();
    link_.Release();
    pty_.Close();
    return 0;
}

}  // namespace vx::sim
