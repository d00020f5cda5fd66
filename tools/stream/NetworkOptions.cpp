#include "tools/stream/NetworkOptions.h"

#include "platform/NumberText.h"

#include <fstream>

namespace vx {
namespace {

bool ReadRate(const std::string& arg, const std::string& value, double& rate, std::string& error) {
    double number = 0;
    if (!ParseDecimalNumber(value, number) || number <= 0 || number > kMaxMessagesPerSecond) {
        error = arg + " wants a number of messages per second above 0, at most 100: " + value;
        return false;
    }
    rate = number;
    return true;
}

// The first line of the file: a password kept out of the command line, where every user of
// the machine could read it.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error) {
    std::ifstream in(path);
    if (!in || !std::getline(in, password)) {
        error = "cannot read the password file " + path;
        return false;
    }
    if (!password.empty() && password.back() == '\r') {
        password.pop_back();
    }
    return true;
}

}  // namespace

bool IsNetworkOption(const std::string& arg) {
    return arg == "--quiet" || NetworkOptionTakesValue(arg);
}

bool NetworkOptionTakesValue(const std::string& arg) {
    for (const char* name :
         {"--nmea-udp", "--nmea-tcp", "--nmea-rate", "--nmea-unit", "--nmea-clients", "--mqtt",
          "--mqtt-ca", "--mqtt-password-file", "--mqtt-rate", "--station", "--name"}) {
        if (arg == name) {
            return true;
        }
    }
    return false;
}

bool ParseNetworkOption(const std::string& arg, const std::string& value,
                        StreamNetworkOptions& options, std::string& error) {
    NmeaSettings& nmea = options.outputs.nmea;
    BrokerSettings& broker = options.outputs.broker;
    std::string detail;
    if (arg == "--nmea-udp") {
        if (!ParseHostPort(value, {}, nmea.udpHost, nmea.udpPort, detail)) {
            error = "--nmea-udp wants HOST:PORT: " + detail;
            return false;
        }
        nmea.udpOn = true;
    } else if (arg == "--nmea-tcp") {
        std::string address;
        if (!ParseHostPort(value, "127.0.0.1", address, nmea.tcpPort, detail)) {
            error = "--nmea-tcp wants [ADDRESS:]PORT: " + detail;
            return false;
        }
        if (!IsListenAddress(address)) {
            error =
                "--nmea-tcp listens on an address of this computer, such as 127.0.0.1 or "
                "0.0.0.0, not " +
                address;
            return false;
        }
        nmea.tcpAddress = address;
        nmea.tcpOn = true;
    } else if (arg == "--nmea-rate") {
        return ReadRate(arg, value, nmea.sentencesPerSecond, error);
    } else if (arg == "--nmea-unit") {
        if (!ParseNmeaSpeedUnit(value, nmea.unit)) {
            error = "--nmea-unit wants N (knots), M (m/s), K (km/h) or S (mph): " + value;
            return false;
        }
    } else if (arg == "--nmea-clients") {
        int clients = 0;
        if (!ParseWholeNumber(value, clients) || clients < 1 || clients > kMaxTcpClientsLimit) {
            error = "--nmea-clients wants a number of clients from 1 to 64: " + value;
            return false;
        }
        nmea.maxClients = clients;
    } else if (arg == "--mqtt") {
        if (!ParseMqttUrl(value, broker, detail)) {
            error = "--mqtt: " + detail;
            return false;
        }
        options.outputs.mqtt.on = true;
    } else if (arg == "--mqtt-ca") {
        broker.caFile = value;
    } else if (arg == "--mqtt-password-file") {
        return ReadPasswordFile(value, broker.password, error);
    } else if (arg == "--mqtt-rate") {
        return ReadRate(arg, value, options.outputs.mqtt.samplesPerSecond, error);
    } else if (arg == "--station") {
        if (value.empty()) {
            error = "--station wants a name";
            return false;
        }
        options.station = value;
    } else if (arg == "--name") {
        options.outputs.topic = value;
    } else if (arg == "--quiet") {
        options.quiet = true;
    } else {
        error = "unknown option " + arg;
        return false;
    }
    return true;
}

bool CheckNetworkOptions(const StreamNetworkOptions& options, std::string& error) {
    const BrokerSettings& broker = options.outputs.broker;
    if (!broker.caFile.empty() && !broker.tls) {
        error = "--mqtt-ca needs a broker named mqtts://";
        return false;
    }
    if (!broker.password.empty() && broker.user.empty()) {
        error = "a password needs a user: mqtt://USER@HOST";
        return false;
    }
    return true;
}

const char* NetworkUsage() {
    return "Network outputs of the live mode (each valid message, at most N a second):\n"
           "  --nmea-udp HOST:PORT     NMEA 0183 sentences as UDP datagrams (broadcast allowed)\n"
           "  --nmea-tcp [ADDR:]PORT   NMEA 0183 to TCP clients (ADDR 127.0.0.1 by default)\n"
           "  --nmea-rate N            MWV sentences a second (1); an XDR of gust and averages\n"
           "                           goes once a second\n"
           "  --nmea-unit N|M|K|S      speed unit of the sentences: knots (N), m/s, km/h, mph\n"
           "  --nmea-clients N         TCP clients served at once (8)\n"
           "  --mqtt URL               publish to an MQTT broker:\n"
           "                           mqtt[s]://[USER[:PASSWORD]@]HOST[:PORT][/PREFIX]\n"
           "                           (PREFIX ventrix/STATION by default)\n"
           "  --mqtt-ca FILE           CA certificates for mqtts:// (else the system's)\n"
           "  --mqtt-password-file F   the broker password, first line of F\n"
           "  --mqtt-rate N            sample messages a second (1); statistics once a second\n"
           "  --station NAME           station in the default prefix (this computer's name)\n"
           "  --name NAME              topic of this instrument under the prefix (COMn)\n"
           "  --quiet                  no table on standard output\n";
}

}  // namespace vx
