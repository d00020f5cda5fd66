#pragma once
// The MQTT output of one connection, through libmosquitto: its own client (so its own last will)
// driven by a worker thread that polls the client's socket together with the hand-over.
//
// Topics under <prefix>/<connection>:
//   status      retained: "online", "port lost", "no data"; "offline" when the output stops,
//               and from the broker (the last will) when the program dies or the link is cut
//   sample      one JSON message per valid sample that the rate limit lets through (QoS 0)
//   statistics  one JSON message a second (QoS 0)
//
// The client reconnects by itself, waiting 0.5 s and doubling up to 5 s between tries. Nothing
// is queued for a broker that is away: samples and statistics that find no connection are
// dropped (and counted); only the connection's latest status is kept, and published (retained)
// as soon as the broker is back. While connected, at most 256 messages (2.5 s at 100 Hz) wait to be
// written; more are dropped rather than let a stalled broker swallow memory.

#include "network/NetworkSettings.h"
#include "network/WindReport.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vx {

struct MqttCounts {
    bool connected = false;
    std::uint64_t published = 0;
    std::uint64_t dropped = 0;   // found no connection, or too many waiting
    std::uint64_t lost = 0;      // the worker fell behind the hand-over
    std::uint64_t connects = 0;  // successful connections to the broker
    std::string problem;         // why the last try failed, for the user
};

struct MqttTopics {
    std::string status;
    std::string sample;
    std::string statistics;
};
// <base>/status, <base>/sample, <base>/statistics.
MqttTopics TopicsUnder(const std::string& base);

class MqttOutput {
public:
    static constexpr int kMaxUnwritten = 256;

    MqttOutput();
    ~MqttOutput();
    MqttOutput(const MqttOutput&) = delete;
    MqttOutput& operator=(const MqttOutput&) = delete;

    // Starts the worker, which connects (and looks the broker up) on its own. `topicBase` is
    // <prefix>/<connection>. False with `error` set when the client cannot even be made (a CA
    // file that cannot be read, for example).
    bool Start(const BrokerSettings& broker, const std::string& topicBase, std::string& error);
    // Publishes "offline", disconnects, and returns within a short while in any case.
    void Stop();
    bool Running() const;
    // Asks the worker to stop and returns at once; Stop then waits less.
    void RequestStop();

    void Hand(const OutputEvent& event);
    void SetStatus(LinkStatus status);

    // While running, the counts so far; once stopped, those of the run that ended.
    MqttCounts Counts() const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    MqttCounts finalCounts_;  // what a stopped output did, until it starts again
};

}  // namespace vx
