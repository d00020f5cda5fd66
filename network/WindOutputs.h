#pragma once
// The network outputs of one connection, as the connection (or ventrix-stream) sees them: it
// hands over each valid sample, a summary once a second and its status, on its own thread, and
// pays only for a rate-limit test and a copy into each output's bounded hand-over. Building the
// sentences and messages, looking names up and sending happen on the outputs' threads.

#include "network/MqttOutput.h"
#include "network/NetworkSettings.h"
#include "network/NmeaOutput.h"
#include "network/RateLimiter.h"
#include "network/WindReport.h"

#include <string>

namespace vx {

class WindOutputs {
public:
    explicit WindOutputs(std::string station = StationName());
    ~WindOutputs();
    WindOutputs(const WindOutputs&) = delete;
    WindOutputs& operator=(const WindOutputs&) = delete;

    // Starts, restarts or stops each output as the settings say; an output whose settings did
    // not change goes on undisturbed. Returns "" or what went wrong (a TCP port in use, a CA
    // file that cannot be read); the outputs that could start run.
    std::string Configure(const OutputSettings& settings);
    // For a station that must run with every output it was given or not at all: the NMEA
    // output is started first, and only when it could start does MQTT start, so a station that
    // gives up never told the broker it was online.
    std::string ConfigureAll(const OutputSettings& settings);
    const OutputSettings& Settings() const { return settings_; }
    // Stops both outputs (MQTT says "offline").
    void Stop();
    // Asks both to stop without waiting; several connections' outputs end together this way.
    void RequestStop();

    void HandSample(const WindReport& report);
    void HandSummary(const WindSummary& summary);
    void SetLinkStatus(LinkStatus status);
    LinkStatus Status() const { return status_; }

    bool NmeaRunning() const { return nmea_.Running(); }
    bool MqttRunning() const { return mqtt_.Running(); }
    NmeaCounts Nmea() const { return nmea_.Counts(); }
    MqttCounts Mqtt() const { return mqtt_.Counts(); }
    // What the outputs that are on have done (so far, or in the run that ended), in a line for
    // a station's log: "NMEA: 57 sentences, 57 UDP datagrams, 0 TCP clients dropped; MQTT: 60
    // messages published, 0 dropped". Empty when none is on.
    std::string Tally() const;
    // <prefix>/<connection>: where the MQTT topics of this connection begin.
    std::string TopicBase() const;

private:
    std::string station_;
    OutputSettings settings_;
    bool configured_ = false;
    LinkStatus status_ = LinkStatus::Online;
    RateLimiter nmeaLimit_;
    RateLimiter mqttLimit_;
    NmeaOutput nmea_;
    MqttOutput mqtt_;
};

}  // namespace vx
