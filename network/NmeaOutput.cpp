#include "network/NmeaOutput.h"

#include "network/HandOver.h"
#include "network/OutputThread.h"
#include "network/TcpServer.h"
#include "network/UdpSender.h"

#include <poll.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

namespace vx {
namespace {

// 2.5 s of samples at the fastest instrument's rate.
constexpr std::size_t kHandOverCapacity = 256;
constexpr std::chrono::milliseconds kStopPatience{1500};
constexpr std::chrono::seconds kVoidInterval{1};

}  // namespace

struct NmeaOutput::Shared {
    NmeaSettings settings;
    HandOver<OutputEvent> queue{kHandOverCapacity};
    UdpSender udp;
    TcpServer tcp;
    std::atomic<bool> stop{false};
    std::atomic<LinkStatus> status{LinkStatus::Online};
    OutputThread thread;

    mutable std::mutex countsMutex;
    NmeaCounts counts;

    void Run();
    void Send(const std::string& sentence);
    void Emit(const OutputEvent& event);
    LinkStatus EmitWaiting(std::vector<OutputEvent>& events);
};

void NmeaOutput::Shared::Send(const std::string& sentence) {
    bool sent = false;
    if (settings.udpOn) {
        sent = udp.Send(sentence);
    }
    if (settings.tcpOn) {
        tcp.Broadcast(sentence);
    }
    std::lock_guard lock(countsMutex);
    ++counts.sentences;
    counts.datagrams += sent ? 1 : 0;
    counts.problem = udp.Problem();
}

void NmeaOutput::Shared::Emit(const OutputEvent& event) {
    const WindSummary& data = event.data;
    if (!event.summary) {
        Send(BuildMwv(data.current.direction, data.current.magnitude, settings.unit));
        return;
    }
    if (!data.gustKnown) {
        return;  // no gust until the output rate is known, and nothing else to say
    }
    XdrValues values;
    values.gust = data.gust;
    values.averagingMinutes = data.averagingMinutes;
    values.averageSpeed = data.magnitudeVector ? data.vectorSpeed : data.scalarSpeed;
    values.averageDirection = data.directionVector ? data.vectorDirection : data.scalarDirection;
    Send(BuildXdr(values, settings.unit));
}

// Sends what was handed over; returns the status it was sent under.
LinkStatus NmeaOutput::Shared::EmitWaiting(std::vector<OutputEvent>& events) {
    queue.TakeAll(events);
    const LinkStatus now = status.load();
    for (const OutputEvent& event : events) {
        // A summary or sample that was on its way when the instrument went is not news.
        if (now == LinkStatus::Online) {
            Emit(event);
        }
    }
    return now;
}

void NmeaOutput::Shared::Run() {
    std::vector<OutputEvent> events;
    auto nextVoid = std::chrono::steady_clock::now() + kVoidInterval;
    while (!stop) {
        // Asleep until something comes, but while the instrument is away the void sentences
        // need the clock.
        pollfd wake{queue.Wake().Fd(), POLLIN, 0};
        poll(&wake, 1, status.load() == LinkStatus::Online ? -1 : 250);
        if (stop) {
            break;
        }
        const LinkStatus now = EmitWaiting(events);
        const auto clock = std::chrono::steady_clock::now();
        if (now == LinkStatus::Online) {
            nextVoid = clock + kVoidInterval;
        } else if (clock >= nextVoid) {
            Send(BuildVoidMwv(settings.unit));
            nextVoid = clock + kVoidInterval;
        }
        const std::uint64_t dropped = queue.Dropped();
        std::lock_guard lock(countsMutex);
        counts.lost = dropped;
    }
    // The last samples of a run that ends were taken: they go out too (a few sends that never
    // wait; a look-up that hangs is cut short by the stop's patience).
    EmitWaiting(events);
}

NmeaOutput::NmeaOutput() = default;

NmeaOutput::~NmeaOutput() {
    Stop();
}

bool NmeaOutput::Start(const NmeaSettings& settings, std::string& error) {
    Stop();
    finalCounts_ = {};
    auto shared = std::make_shared<Shared>();
    shared->settings = settings;
    if (settings.tcpOn) {
        TcpServerOptions options;
        options.address = settings.tcpAddress;
        options.port = settings.tcpPort;
        options.maxClients = settings.maxClients;
        if (!shared->tcp.Start(options, error)) {
            return false;
        }
    }
    if (settings.udpOn) {
        shared->udp.SetDestination(settings.udpHost, settings.udpPort);
    }
    shared->thread.Start([shared] { shared->Run(); });
    shared_ = shared;
    return true;
}

void NmeaOutput::RequestStop() {
    if (shared_) {
        shared_->stop = true;
        shared_->queue.Wake().Signal();
    }
}

void NmeaOutput::Stop() {
    if (!shared_) {
        return;
    }
    RequestStop();
    shared_->thread.Stop(kStopPatience);
    finalCounts_ = Counts();
    shared_.reset();
}

bool NmeaOutput::Running() const {
    return shared_ != nullptr;
}

void NmeaOutput::Hand(const OutputEvent& event) {
    if (shared_) {
        shared_->queue.Push(event);
    }
}

void NmeaOutput::SetStatus(LinkStatus status) {
    if (shared_) {
        shared_->status = status;
        shared_->queue.Wake().Signal();
    }
}

NmeaCounts NmeaOutput::Counts() const {
    if (!shared_) {
        return finalCounts_;
    }
    NmeaCounts counts;
    {
        std::lock_guard lock(shared_->countsMutex);
        counts = shared_->counts;
    }
    const TcpServerCounts tcp = shared_->tcp.Counts();
    counts.tcpClients = tcp.clients;
    counts.tcpDropped = tcp.dropped;
    counts.tcpPort = shared_->settings.tcpOn ? shared_->tcp.Port() : 0;
    return counts;
}

}  // namespace vx
