#include "tests/network/NetworkTestSupport.h"

#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace vx::test {
namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool CanConnect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(port);
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

int MillisecondsLeft(std::chrono::steady_clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

}  // namespace

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// ---- Broker ----

Broker::Broker(int port) : port_(port) {}

Broker::~Broker() = default;

void Broker::RequireUser(const std::string& user, const std::string& password) {
    passwordFile_ = folder_.Path() + "/passwords";
    const std::string command = "/usr/bin/mosquitto_passwd -b -c '" + passwordFile_ + "' '" + user +
                                "' '" + password + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        passwordFile_.clear();
    }
}

bool MakeCertificateAuthority(const std::string& folder) {
    const std::string command =
        "cd '" + folder +
        "' && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
        "-subj '/CN=Ventrix test CA' -keyout ca.key -out ca.pem "
        ">/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

bool Broker::EnableTls() {
    const std::string& folder = folder_.Path();
    { std::ofstream(folder + "/san.cnf") << "subjectAltName=IP:127.0.0.1,DNS:localhost\n"; }
    const std::string command =
        "cd '" + folder +
        "' && openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "
        "'/CN=127.0.0.1' -keyout server.key "
        "-out server.csr && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key "
        "-CAcreateserial -days 2 -extfile san.cnf -out server.pem";
    if (!MakeCertificateAuthority(folder) ||
        std::system(("(" + command + ") >/dev/null 2>&1").c_str()) != 0) {
        return false;
    }
    tlsPort_ = FreePort();
    return true;
}

bool Broker::Start() {
    const std::string config = folder_.Path() + "/broker.conf";
    {
        std::ofstream out(config);
        out << "listener " << port_ << " 127.0.0.1\n"
            << "persistence false\n"
            << "log_dest file " << folder_.Path() << "/broker.log\n"
            << "log_type all\n";
        if (tlsPort_ != 0) {
            out << "listener " << tlsPort_ << " 127.0.0.1\n"
                << "cafile " << folder_.Path() << "/ca.pem\n"
                << "certfile " << folder_.Path() << "/server.pem\n"
                << "keyfile " << folder_.Path() << "/server.key\n";
        }
        if (passwordFile_.empty()) {
            out << "allow_anonymous true\n";
        } else {
            out << "allow_anonymous false\npassword_file " << passwordFile_ << "\n";
        }
        // Started by root (as CI runs) the broker would switch to its own user, which cannot
        // read this private folder.
        if (geteuid() == 0) {
            out << "user root\n";
        }
    }
    ChildOptions options;
    options.outputPath = folder_ / "broker.out";
    options.errorsToOutput = true;
    process_.emplace(std::vector<std::string>{"/usr/sbin/mosquitto", "-c", config}, options);
    return WaitUntil([this] { return CanConnect(port_) || !process_->Running(); }, 15s) &&
           process_->Running();
}

void Broker::Stop() {
    if (process_) {
        process_->Stop(5s);
        process_.reset();  // kills one that would not stop
    }
}

// ---- Subscriber ----

Subscriber::Subscriber(int port, const std::string& pattern) : pattern_(pattern) {
    mosquitto_lib_init();
    client_ = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(client_, &Subscriber::OnConnect);
    mosquitto_message_callback_set(client_, &Subscriber::OnMessage);
    mosquitto_connect_async(client_, "127.0.0.1", port, 30);
    mosquitto_loop_start(client_);
}

Subscriber::~Subscriber() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, true);
    mosquitto_destroy(client_);
}

void Subscriber::OnConnect(mosquitto* client, void* self, int rc) {
    auto* subscriber = static_cast<Subscriber*>(self);
    if (rc == 0) {
        mosquitto_subscribe(client, nullptr, subscriber->pattern_.c_str(), 1);
    }
}

void Subscriber::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* subscriber = static_cast<Subscriber*>(self);
    std::lock_guard lock(subscriber->mutex_);
    subscriber->subscribed_ = true;
    subscriber->messages_.push_back({message->topic,
                                     std::string(static_cast<const char*>(message->payload),
                                                 static_cast<std::size_t>(message->payloadlen)),
                                     message->retain});
    subscriber->changed_.notify_all();
}

bool Subscriber::Connected(std::chrono::milliseconds deadline) {
    // A subscription is known to be in place once anything arrives; a probe message on our own
    // pattern's probe topic makes sure something does.
    const std::string probe = pattern_.substr(0, pattern_.find('#')) + "probe";
    return WaitUntil(
        [&] {
            {
                std::lock_guard lock(mutex_);
                if (subscribed_) {
                    return true;
                }
            }
            mosquitto_publish(client_, nullptr, probe.c_str(), 5, "probe", 0, false);
            std::this_thread::sleep_for(50ms);
            return false;
        },
        deadline);
}

std::vector<MqttMessage> Subscriber::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<MqttMessage> Subscriber::On(const std::string& topic) const {
    std::vector<MqttMessage> found;
    for (const MqttMessage& message : Messages()) {
        if (message.topic == topic) {
            found.push_back(message);
        }
    }
    return found;
}

std::vector<std::string> Subscriber::States(const std::string& topic) const {
    std::vector<std::string> states;
    for (const MqttMessage& message : On(topic)) {
        if (states.empty() || states.back() != message.payload) {
            states.push_back(message.payload);
        }
    }
    return states;
}

bool Subscriber::WaitForStates(const std::string& topic, const std::vector<std::string>& states,
                               std::chrono::milliseconds deadline) const {
    return WaitUntil(
        [&] {
            const std::vector<std::string> seen = States(topic);
            return seen.size() >= states.size() &&
                   std::equal(states.begin(), states.end(), seen.begin());
        },
        deadline);
}

std::optional<std::string> Subscriber::Last(const std::string& topic) const {
    std::lock_guard lock(mutex_);
    for (auto it = messages_.rbegin(); it != messages_.rend(); ++it) {
        if (it->topic == topic) {
            return it->payload;
        }
    }
    return std::nullopt;
}

bool Subscriber::WaitFor(const std::string& topic, const std::string& payload,
                         std::chrono::milliseconds deadline) const {
    return WaitUntil([&] { return Last(topic) == payload; }, deadline);
}

void Subscriber::Clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
}

// ---- UDP and TCP ----

UdpListener::UdpListener() {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
}

UdpListener::~UdpListener() {
    close(fd_);
}

std::optional<std::string> UdpListener::Receive(std::chrono::milliseconds deadline) {
    pollfd fd{fd_, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(deadline.count())) <= 0) {
        return std::nullopt;
    }
    char buffer[2048];
    const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
    if (got < 0) {
        return std::nullopt;
    }
    return std::string(buffer, static_cast<std::size_t>(got));
}

TcpClient::TcpClient(int port, int receiveBuffer) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) {
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    const sockaddr_in address = Loopback(port);
    if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

TcpClient::~TcpClient() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

void TcpClient::Send(const std::string& bytes) {
    [[maybe_unused]] const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

std::optional<std::string> TcpClient::ReadLine(std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        if (const std::size_t newline = buffer_.find('\n'); newline != std::string::npos) {
            std::string line = buffer_.substr(0, newline + 1);
            buffer_.erase(0, newline + 1);
            return line;
        }
        if (ended_ || fd_ < 0) {
            return std::nullopt;
        }
        pollfd fd{fd_, POLLIN, 0};
        if (poll(&fd, 1, MillisecondsLeft(end)) <= 0) {
            return std::nullopt;
        }
        char chunk[4096];
        const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
        if (got <= 0) {
            ended_ = true;
            continue;
        }
        buffer_.append(chunk, static_cast<std::size_t>(got));
    }
}

bool TcpClient::ClosedByServer(std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!ended_) {
        pollfd fd{fd_, POLLIN, 0};
        if (poll(&fd, 1, MillisecondsLeft(end)) <= 0) {
            return false;
        }
        char chunk[65536];
        const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
        ended_ = got <= 0;
    }
    return true;
}

// ---- Readers ----

// (No std::regex here: GCC 12 warns inside it under AddressSanitizer, and warnings are errors.)
NmeaFields ParseSentence(const std::string& sentence) {
    NmeaFields parsed;
    const std::size_t star = sentence.find('*');
    if (sentence.size() < 6 || sentence[0] != '$' || star == std::string::npos ||
        sentence.size() != star + 5 || sentence.compare(star + 3, 2, "\r\n") != 0) {
        return parsed;
    }
    const std::string digits = sentence.substr(star + 1, 2);
    if (digits.find_first_not_of("0123456789ABCDEF") != std::string::npos) {
        return parsed;
    }
    const std::string body = sentence.substr(1, star - 1);
    unsigned sum = 0;
    for (const char c : body) {
        sum ^= static_cast<unsigned char>(c);
    }
    parsed.checksumOk = sum == std::stoul(digits, nullptr, 16);
    std::size_t begin = 0;
    for (;;) {
        const std::size_t comma = body.find(',', begin);
        parsed.fields.push_back(body.substr(begin, comma - begin));
        if (comma == std::string::npos) {
            break;
        }
        begin = comma + 1;
    }
    return parsed;
}

namespace {

// Where the value of the member begins, or npos.
std::size_t MemberValue(const std::string& json, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const std::size_t found = json.find(key);
    return found == std::string::npos ? found : found + key.size();
}

}  // namespace

std::optional<double> JsonNumber(const std::string& json, const std::string& name) {
    const std::size_t begin = MemberValue(json, name);
    if (begin == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t end = json.find_first_not_of("-+.0123456789eE", begin);
    if (end == begin) {
        return std::nullopt;
    }
    return std::stod(json.substr(begin, end - begin));
}

std::optional<std::string> JsonText(const std::string& json, const std::string& name) {
    const std::size_t begin = MemberValue(json, name);
    if (begin == std::string::npos || begin >= json.size() || json[begin] != '"') {
        return std::nullopt;
    }
    const std::size_t end = json.find('"', begin + 1);
    if (end == std::string::npos) {
        return std::nullopt;
    }
    return json.substr(begin + 1, end - begin - 1);
}

bool JsonIsNull(const std::string& json, const std::string& name) {
    return json.find("\"" + name + "\":null") != std::string::npos;
}

}  // namespace vx::test
