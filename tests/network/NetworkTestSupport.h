#pragma once
// Real network parts for the output tests, on loopback only: a mosquitto broker started for the
// test, an MQTT subscriber, a UDP listener and a TCP client, and readers of what they receive.

#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitFor.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace vx::test {

using namespace std::chrono_literals;

// A port on 127.0.0.1 that was free a moment ago.
int FreePort();

// /usr/sbin/mosquitto on 127.0.0.1 with a configuration written here: no persistence, anonymous
// clients unless a user is given.
class Broker {
public:
    explicit Broker(int port = FreePort());
    ~Broker();
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    // Only this user (with this password) may connect.
    void RequireUser(const std::string& user, const std::string& password);
    // A second listener, with TLS, on TlsPort(): a certificate for 127.0.0.1 signed by a CA made
    // here (openssl), whose certificate is at CaFile().
    bool EnableTls();
    int TlsPort() const { return tlsPort_; }
    std::string CaFile() const { return folder_.Path() + "/ca.pem"; }
    // Starts it and waits until it takes connections.
    bool Start();
    // SIGTERM, as a broker going down for maintenance is stopped.
    void Stop();
    int Port() const { return port_; }

private:
    TempFolder folder_;
    int port_;
    std::optional<ChildProcess> process_;
    std::string passwordFile_;
    int tlsPort_ = 0;
};

// A certificate authority of its own (key and certificate) in `folder`: ca.pem, ca.key.
bool MakeCertificateAuthority(const std::string& folder);

struct MqttMessage {
    std::string topic;
    std::string payload;
    bool retained = false;
};

// A libmosquitto client that subscribes to a pattern and keeps what arrives.
class Subscriber {
public:
    Subscriber(int port, const std::string& pattern);
    ~Subscriber();
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    bool Connected(std::chrono::milliseconds deadline = 10s);
    std::vector<MqttMessage> Messages() const;
    std::vector<MqttMessage> On(const std::string& topic) const;
    // The payloads of the topic in order, a repeat of the one before left out: the states a
    // status topic went through.
    std::vector<std::string> States(const std::string& topic) const;
    // Waits until the topic has gone through `states` (a start of them is not enough).
    bool WaitForStates(const std::string& topic, const std::vector<std::string>& states,
                       std::chrono::milliseconds deadline = 60s) const;
    // The last payload seen on the topic.
    std::optional<std::string> Last(const std::string& topic) const;
    // Waits until the topic's last payload is `payload`.
    bool WaitFor(const std::string& topic, const std::string& payload,
                 std::chrono::milliseconds deadline = 20s) const;
    void Clear();

private:
    static void OnConnect(mosquitto*, void*, int);
    static void OnMessage(mosquitto*, void*, const mosquitto_message*);

    mosquitto* client_ = nullptr;
    std::string pattern_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool subscribed_ = false;
    std::vector<MqttMessage> messages_;
};

// Datagrams sent to a port on 127.0.0.1.
class UdpListener {
public:
    UdpListener();
    ~UdpListener();
    int Port() const { return port_; }
    // The next datagram, or nothing within the deadline.
    std::optional<std::string> Receive(std::chrono::milliseconds deadline = 10s);

private:
    int fd_ = -1;
    int port_ = 0;
};

// A TCP client of 127.0.0.1:port. receiveBuffer > 0 shrinks the socket's buffer before connecting.
class TcpClient {
public:
    explicit TcpClient(int port, int receiveBuffer = 0);
    ~TcpClient();
    bool Connected() const { return fd_ >= 0; }
    void Send(const std::string& bytes);
    // The next CR LF line (CR LF kept), or nothing within the deadline / at end of stream.
    std::optional<std::string> ReadLine(std::chrono::milliseconds deadline = 10s);
    // True once the server has closed the connection (reads what is left, discarding it).
    bool ClosedByServer(std::chrono::milliseconds deadline = 10s);

private:
    int fd_ = -1;
    std::string buffer_;
    bool ended_ = false;
};

// A received NMEA sentence: "$" body "*" hh CR LF with a right checksum, cut into fields.
struct NmeaFields {
    bool checksumOk = false;
    std::vector<std::string> fields;  // fields[0] is the talker and type ("WIMWV")
};
NmeaFields ParseSentence(const std::string& sentence);

// A member of a flat JSON object: its number, or nothing when absent or null.
std::optional<double> JsonNumber(const std::string& json, const std::string& name);
std::optional<std::string> JsonText(const std::string& json, const std::string& name);
bool JsonIsNull(const std::string& json, const std::string& name);

}  // namespace vx::test
