#include "tools/stream/LiveStream.h"

#include "network/OutputFeed.h"
#include "network/WindOutputs.h"
#include "serial/Serpacket.h"
#include "serial/Serport.h"
#include "serial/UiThread.h"

#include <chrono>
#include <csignal>
#include <exception>
#include <memory>

namespace vx {
namespace {

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
    error = outputs->Configure(settings);
    if (!error.empty()) {
        return nullptr;
    }
    return outputs;
}

}  // namespace

int RunLiveStream(const StreamOptions& options, const std::string& formatName,
                  StreamSession& session, std::string& error) {
    gStopRequested = 0;
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);

    // This thread plays the user-interface thread: packets are handed to it and handled here.
    TaskQueueUiThread ui;
    UiThread* previous = SetUiThread(&ui);
    long long packets = 0;
    int result = 0;
    bool opened = false;
    // Started once the port is open: a station whose device is missing never says "online".
    std::unique_ptr<WindOutputs> outputs;
    std::unique_ptr<OutputFeed> feed;
    {
        TSerComPort port;
        port.SetAutoOpen(false);
        port.SetPromptForPort(false);
        TSerDataPacket dpkt;
        dpkt.SetComPort(&port);
        SetMessageFraming(dpkt, formatName);
        dpkt.OnStringPacket = [&](TSerDataPacket*, const std::string& packet) {
            if (options.count == 0 || packets < options.count) {
                ++packets;
                const PacketResult fed = session.FeedPacket(packet);
                if (feed && fed.valid) {
                    feed->SampleTaken(session.Connection());
                }
            }
        };
        dpkt.SetEnabled(true);
        try {
            port.SetComNumber(static_cast<unsigned>(options.port));
            port.SetBaud(options.baud);
            port.SetParity(ParityOf(options.parity));
            port.SetOpen(true);
            opened = true;
            port.FlushInBuffer();
        } catch (const std::exception& e) {
            error = ComName(options.port) + ": " + e.what();
            result = 1;
        }
        if (result == 0 && options.network.Any()) {
            outputs = StartOutputs(options, error);
            result = outputs ? 0 : 1;
            feed = outputs ? std::make_unique<OutputFeed>(*outputs) : nullptr;
        }
        if (result == 0) {
            const auto start = std::chrono::steady_clock::now();
            auto finished = [&] {
                bool counted = options.count != 0 && packets >= options.count;
                bool timedOut =
                    options.duration > 0 &&
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                            .count() >= options.duration;
                return gStopRequested != 0 || counted || timedOut;
            };
            while (!ui.WaitUntil(finished, 100)) {
                if (feed) {
                    feed->Tick(session.Connection(), true, true);
                }
            }
        }
        if (opened) {
            dpkt.SetEnabled(false);
            port.SetOpen(false);
            ui.WaitUntil([&] { return port.GetState() == psClosed; }, 10000);
        }
    }
    if (outputs) {
        outputs->Stop();  // says "offline" to the broker
    }
    SetUiThread(previous);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return result;
}

}  // namespace vx
