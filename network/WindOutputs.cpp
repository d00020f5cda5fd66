#include "network/WindOutputs.h"

#include <cstdint>

namespace vx {
namespace {

bool SameMqtt(const OutputSettings& a, const OutputSettings& b) {
    return a.mqtt.on == b.mqtt.on && a.broker == b.broker && a.topic == b.topic;
}

std::string Joined(const std::string& first, const std::string& second,
                   const char* separator = "\n") {
    if (first.empty() || second.empty()) {
        return first + second;
    }
    return first + separator + second;
}

// Whole numbers have no decimal point for a locale to change; the shortest form of a double
// would write a million as "1e+06".
std::string Count(std::uint64_t count) {
    return std::to_string(count);
}

}  // namespace

WindOutputs::WindOutputs(std::string station) : station_(std::move(station)) {}

WindOutputs::~WindOutputs() {
    Stop();
}

std::string WindOutputs::TopicBase() const {
    return EffectiveTopicPrefix(settings_.broker, station_) + "/" + TopicLevel(settings_.topic);
}

std::string WindOutputs::Configure(const OutputSettings& settings) {
    const OutputSettings previous = settings_;
    const bool first = !configured_;
    settings_ = settings;
    configured_ = true;
    std::string nmeaError;
    std::string mqttError;
    if (first || !(previous.nmea == settings.nmea) || !nmea_.Running()) {
        nmea_.Stop();
        if (settings.nmea.On() && nmea_.Start(settings.nmea, nmeaError)) {
            nmea_.SetStatus(status_);
        }
    }
    if (first || !SameMqtt(previous, settings) || !mqtt_.Running()) {
        mqtt_.Stop();
        if (settings.mqtt.on && mqtt_.Start(settings.broker, TopicBase(), mqttError)) {
            mqtt_.SetStatus(status_);
        }
    }
    nmeaLimit_.SetRate(settings.nmea.sentencesPerSecond);
    mqttLimit_.SetRate(settings.mqtt.samplesPerSecond);
    return Joined(nmeaError.empty() ? "" : "NMEA: " + nmeaError,
                  mqttError.empty() ? "" : "MQTT: " + mqttError);
}

std::string WindOutputs::ConfigureAll(const OutputSettings& settings) {
    OutputSettings nmeaOnly = settings;
    nmeaOnly.mqtt.on = false;
    std::string problem = Configure(nmeaOnly);
    if (problem.empty()) {
        problem = Configure(settings);
    }
    if (!problem.empty()) {
        Stop();
    }
    return problem;
}

std::string WindOutputs::Tally() const {
    std::string nmea;
    if (settings_.nmea.On()) {
        const NmeaCounts counts = nmea_.Counts();
        nmea = "NMEA: " + Count(counts.sentences) + " sentences";
        if (settings_.nmea.udpOn) {
            nmea += ", " + Count(counts.datagrams) + " UDP datagrams";
        }
        if (settings_.nmea.tcpOn) {
            nmea += ", " + Count(counts.tcpDropped) + " TCP clients dropped";
        }
    }
    std::string mqtt;
    if (settings_.mqtt.on) {
        const MqttCounts counts = mqtt_.Counts();
        mqtt = "MQTT: " + Count(counts.published) + " messages published, " +
               Count(counts.dropped + counts.lost) + " dropped";
    }
    return Joined(nmea, mqtt, "; ");
}

void WindOutputs::RequestStop() {
    nmea_.RequestStop();
    mqtt_.RequestStop();
}

void WindOutputs::Stop() {
    nmea_.Stop();
    mqtt_.Stop();
}

void WindOutputs::HandSample(const WindReport& report) {
    const bool nmea = nmea_.Running();
    const bool mqtt = mqtt_.Running();
    if (!nmea && !mqtt) {
        return;
    }
    const auto now = RateLimiter::Clock::now();
    OutputEvent event;
    event.data.current = report;
    if (nmea && nmeaLimit_.Allow(now)) {
        nmea_.Hand(event);
    }
    if (mqtt && mqttLimit_.Allow(now)) {
        mqtt_.Hand(event);
    }
}

void WindOutputs::HandSummary(const WindSummary& summary) {
    // Statistics of an instrument that is gone or quiet would be old values under a new time.
    if (status_ != LinkStatus::Online) {
        return;
    }
    const OutputEvent event{true, summary};
    nmea_.Hand(event);
    mqtt_.Hand(event);
}

void WindOutputs::SetLinkStatus(LinkStatus status) {
    status_ = status;
    nmea_.SetStatus(status);
    mqtt_.SetStatus(status);
}

}  // namespace vx
