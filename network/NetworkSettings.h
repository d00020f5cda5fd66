#pragma once
// What the network outputs of one connection are told: NMEA 0183 over UDP and TCP, and MQTT
// through a broker that every connection shares. Also the checks that the dialog and the
// command line apply to what the user typed; none of them looks a name up.

#include "network/NmeaSentences.h"

#include <string>
#include <string_view>

namespace vx {

inline constexpr int kNmeaDefaultPort = 10110;  // the port plotters and servers listen on
inline constexpr int kMqttDefaultPort = 1883;
inline constexpr int kMqttTlsDefaultPort = 8883;
inline constexpr int kMaxTcpClientsLimit = 64;
inline constexpr double kMaxMessagesPerSecond = 100;  // the fastest instrument's rate

struct NmeaSettings {
    bool udpOn = false;
    std::string udpHost;  // a host name or address; a broadcast address is allowed
    int udpPort = kNmeaDefaultPort;
    bool tcpOn = false;
    std::string tcpAddress = "127.0.0.1";  // where the server listens: this computer only
    int tcpPort = kNmeaDefaultPort;
    int maxClients = 8;
    double sentencesPerSecond = 1;  // MWV sentences; the XDR goes once a second
    NmeaSpeedUnit unit = NmeaSpeedUnit::Knots;

    bool On() const { return udpOn || tcpOn; }
    bool operator==(const NmeaSettings&) const = default;
};

struct BrokerSettings {
    std::string host;
    int port = kMqttDefaultPort;
    std::string user;  // empty: no user name and password are sent
    std::string password;
    bool tls = false;
    std::string caFile;       // empty with TLS: the system's certificate authorities
    std::string topicPrefix;  // empty: DefaultTopicPrefix()

    bool operator==(const BrokerSettings&) const = default;
};

struct MqttSettings {
    bool on = false;
    double samplesPerSecond = 1;

    bool operator==(const MqttSettings&) const = default;
};

// Everything one connection's outputs need. `topic` is the connection's topic below the prefix.
struct OutputSettings {
    NmeaSettings nmea;
    MqttSettings mqtt;
    BrokerSettings broker;
    std::string topic;

    bool operator==(const OutputSettings&) const = default;
};

// --- Checks of typed values: an empty text means the value is right ---
// A DNS name (letters, digits, hyphens, dots) or an IPv4 or IPv6 address.
bool IsHostName(std::string_view host);
// A numeric address of this computer's kind (IPv4 or IPv6), or "localhost".
bool IsListenAddress(std::string_view address);
bool IsPortNumber(int port);
// "" when `prefix` can start topics we publish to, else why not.
std::string CheckTopicPrefix(std::string_view prefix);

// One topic level made of a name: "/", "+", "#" and control characters become "_"; an empty
// name becomes "connection".
std::string TopicLevel(std::string_view name);
// This computer's name, the station a prefix names by default.
std::string StationName();
std::string DefaultTopicPrefix(std::string_view station);
// The prefix the broker settings give, without a trailing "/".
std::string EffectiveTopicPrefix(const BrokerSettings& broker, std::string_view station);

// "HOST:PORT" or "[IPv6]:PORT"; with `defaultHost` set, "PORT" alone as well. False with `error`.
bool ParseHostPort(std::string_view text, const std::string& defaultHost, std::string& host,
                   int& port, std::string& error);
// mqtt://[user[:password]@]host[:port][/prefix] or mqtts://... (TLS, port 8883 by default);
// user and password may be percent-encoded. False with `error` set.
bool ParseMqttUrl(std::string_view url, BrokerSettings& broker, std::string& error);

}  // namespace vx
