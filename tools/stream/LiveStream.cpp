#include "tools/stream/LiveStream.h"

#include "connection/LinkWatch.h"
#include "network/OutputFeed.h"
#include "network/WindOutputs.h"
#include "serial/Serpacket.h"
#include "serial/Serport.h"
#include "serial/UiThread.h"

#include <chrono>
#include <csignal>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>

namespace vx {
namespace {

// A device gone away is looked for again about once a second.
constexpr int kReopenMs = 1000;
constexpr int kCloseWaitMs = 10000;

volatile std::sig_atomic_t gStopRequested = 0;

void RequestStop(int) {
    gStopRequested = 1;
}

TParity ParityOf(char letter) {
    return letter == 'E' ? pEven : letter == 'O' ? pOdd : pNone;
}

// The network outputs the options ask for, started; nothing when none are asked for or one
// cannot start (then `error` says why).
std::unique_ptr<WindOutputs> StartOutputs(const StreamOptions& options, std::string& error) {
    if (!options.network.Any()) {
        return nullptr;
    }
    OutputSettings settings = options.network.outputs;
    if (settings.topic.empty()) {
        settings.topic = ComName(options.port);
    }
    auto outputs = std::make_unique<WindOutputs>(
        options.network.station.empty() ? StationName() : options.network.station);
    error = outputs->ConfigureAll(settings);
    if (!error.empty()) {
        return nullptr;
    }
    return outputs;
}

// The device as the user knows it (/dev/ttyUSB0 rather than the ports folder's link to it).
std::string DeviceShownFor(const std::string& path) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    return error ? path : real.string();
}

// One live run: the port, its framer, the network outputs, and what ends the run.
class LiveRun {
public:
    LiveRun(const StreamOptions& options, const std::string& formatName, StreamSession& session,
            TaskQueueUiThread& ui)
        : options_(options), session_(session), ui_(ui), start_(std::chrono::steady_clock::now()) {
        port_.SetAutoOpen(false);
        port_.SetPromptForPort(false);
        port_.SetComNumber(static_cast<unsigned>(options.port));
        port_.SetBaud(options.baud);
        port_.SetParity(ParityOf(options.parity));
        port_.OnDeviceLost = [this](TSerCustomComPort*) { lost_ = true; };
        dpkt_.SetComPort(&port_);
        SetMessageFraming(dpkt_, formatName);
        dpkt_.OnStringPacket = [this](TSerDataPacket*, const std::string& packet) {
            if (options_.count == 0 || packets_ < options_.count) {
                ++packets_;
                const PacketResult fed = session_.FeedPacket(packet);
                if (fed.accepted) {
                    watch_.MessageArrived(LinkWatch::Clock::now(),
                                          session_.Connection().OutputRate());
                }
                if (feed_ && fed.valid) {
                    feed_->SampleTaken(session_.Connection());
                }
            }
        };
        dpkt_.SetEnabled(true);
    }

    ~LiveRun() {
        if (outputs_) {
            outputs_->Stop();  // says "offline" to the broker
            // What went out, for the station's log.
            std::cerr << "ventrix-stream: " << outputs_->Tally() << "\n";
        }
    }

    // Opens the port; false with the reason when it will not open.
    bool Open(std::string& error) {
        try {
            port_.SetOpen(true);
            port_.FlushInBuffer();
        } catch (const std::exception& e) {
            error = ComName(options_.port) + ": " + e.what();
            return false;
        }
        lost_ = false;
        watch_.Start(LinkWatch::Clock::now());
        device_ = DeviceShownFor(port_.DevicePath());
        return true;
    }

    // Started once the port is open: a station whose device is missing never says "online".
    bool StartNetwork(std::string& error) {
        if (!options_.network.Any()) {
            return true;
        }
        outputs_ = StartOutputs(options_, error);
        feed_ = outputs_ ? std::make_unique<OutputFeed>(*outputs_) : nullptr;
        return outputs_ != nullptr;
    }

    // Streams until the count, the duration or a signal (0), or until the device goes away
    // without --reconnect (kDeviceLostStatus, with the reason).
    int Stream(std::string& error) {
        for (;;) {
            while (!ui_.WaitUntil([this] { return Finished() || lost_; }, 100)) {
                if (feed_) {
                    feed_->Tick(session_.Connection(), true, true);
                }
                ShowQuiet();
            }
            if (Finished()) {
                return 0;
            }
            const std::string gone =
                ComName(options_.port) + ": the device went away (" + device_ + ")";
            Close();
            SetStatus(LinkStatus::PortLost);
            if (!options_.reconnect) {
                error = gone;
                return kDeviceLostStatus;
            }
            std::cerr << "ventrix-stream: " << gone << "; waiting for it to return\n";
            if (!WaitForReturn()) {
                return 0;
            }
            SetStatus(LinkStatus::Online);
            std::cerr << "ventrix-stream: " << ComName(options_.port) << ": back (" << device_
                      << ")\n";
        }
    }

    void Close() {
        port_.SetOpen(false);
        ui_.WaitUntil([this] { return port_.GetState() == psClosed; }, kCloseWaitMs);
    }

private:
    bool Finished() const {
        const bool counted = options_.count != 0 && packets_ >= options_.count;
        const bool timedOut =
            options_.duration > 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count() >=
                options_.duration;
        return gStopRequested != 0 || counted || timedOut;
    }

    void SetStatus(LinkStatus status) {
        if (outputs_ && outputs_->Status() != status) {
            outputs_->SetLinkStatus(status);
        }
    }

    // An instrument that has gone quiet (while its port is there) is "no data" to the outputs
    // until a message passes again, by the same rule the connection window follows.
    void ShowQuiet() {
        const auto now = LinkWatch::Clock::now();
        SetStatus(ToLinkStatus(watch_.State(now, session_.Connection().OutputRate())));
    }

    // Tries the same port number (a ports-folder link is followed afresh each time) until it
    // opens; false when the run ends first.
    bool WaitForReturn() {
        std::string ignored;
        while (!Finished()) {
            if (Open(ignored)) {
                return true;
            }
            ui_.WaitUntil([this] { return Finished(); }, kReopenMs);
        }
        return false;
    }

    const StreamOptions& options_;
    StreamSession& session_;
    TaskQueueUiThread& ui_;
    const std::chrono::steady_clock::time_point start_;
    std::unique_ptr<WindOutputs> outputs_;
    std::unique_ptr<OutputFeed> feed_;
    TSerComPort port_;
    TSerDataPacket dpkt_;
    long long packets_ = 0;
    bool lost_ = false;
    LinkWatch watch_;
    std::string device_;
};

}  // namespace

int RunLiveStream(const StreamOptions& options, const std::string& formatName,
                  StreamSession& session, std::string& error) {
    gStopRequested = 0;
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);

    // This thread plays the user-interface thread: packets are handed to it and handled here.
    TaskQueueUiThread ui;
    UiThread* previous = SetUiThread(&ui);
    int result = 0;
    {
        LiveRun run(options, formatName, session, ui);
        if (!run.Open(error)) {
            result = 1;
        } else {
            result = run.StartNetwork(error) ? run.Stream(error) : 1;
            run.Close();
        }
    }
    SetUiThread(previous);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return result;
}

}  // namespace vx
