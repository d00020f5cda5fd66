#include "network/MqttOutput.h"

#include "network/HandOver.h"
#include "network/OutputThread.h"
#include "network/WindJson.h"

#include <mosquitto.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

namespace vx {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kHandOverCapacity = 256;
constexpr int kKeepAliveSeconds = 30;
constexpr std::chrono::milliseconds kFirstRetry{500};
constexpr std::chrono::milliseconds kLongestRetry{5000};
constexpr std::chrono::milliseconds kStopPatience{2500};
constexpr std::chrono::milliseconds kGoodbyeTime{1000};
constexpr int kStatusQos = 1;
constexpr const char* kSystemCertificates = "/etc/ssl/certs";

void InitialiseLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string ClientId() {
    static std::atomic<int> counter{0};
    std::string id = "ventrix-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" +
                     TopicLevel(StationName());
    // Brokers must take 23 characters; ours take more, but a name can be very long.
    id.resize(std::min<std::size_t>(id.size(), 64));
    return id;
}

std::string ErrorText(int rc) {
    if (rc == MOSQ_ERR_ERRNO) {
        return std::strerror(errno);
    }
    return mosquitto_strerror(rc);
}

}  // namespace

MqttTopics TopicsUnder(const std::string& base) {
    return MqttTopics{base + "/status", base + "/sample", base + "/statistics"};
}

struct MqttOutput::Shared {
    BrokerSettings broker;
    MqttTopics topics;
    mosquitto* client = nullptr;
    HandOver<OutputEvent> queue{kHandOverCapacity};
    std::atomic<bool> stop{false};
    std::atomic<LinkStatus> status{LinkStatus::Online};
    OutputThread thread;

    // Worker state.
    bool needConnect = true;  // no link and none on its way: try again at nextTry
    bool connected = false;   // the broker accepted us
    int unwritten = 0;
    std::string publishedStatus;
    Clock::time_point nextTry{};
    std::chrono::milliseconds retry = kFirstRetry;

    mutable std::mutex countsMutex;
    MqttCounts counts;

    ~Shared() {
        if (client != nullptr) {
            mosquitto_destroy(client);
        }
    }

    void Run();
    void TryToConnect();
    void ConnectionLost(int rc);
    void ServeSocket(short revents);
    void PublishWaiting(std::vector<OutputEvent>& events);
    void Publish(const std::string& topic, const std::string& payload);
    void PublishStatus(std::string_view text);
    void SayGoodbye();
    void SetProblem(std::string problem);

    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);
};

void MqttOutput::Shared::SetProblem(std::string problem) {
    std::lock_guard lock(countsMutex);
    counts.problem = std::move(problem);
    counts.connected = connected;
}

void MqttOutput::Shared::OnConnect(mosquitto*, void* self, int rc) {
    auto* shared = static_cast<Shared*>(self);
    if (rc != 0) {
        shared->SetProblem(std::string("the broker refused: ") + mosquitto_connack_string(rc));
        return;
    }
    shared->connected = true;
    shared->unwritten = 0;
    shared->retry = kFirstRetry;
    shared->publishedStatus.clear();
    {
        std::lock_guard lock(shared->countsMutex);
        ++shared->counts.connects;
    }
    shared->SetProblem({});
    // The retained status may still say "offline" from the last will of a previous run: it is
    // published anew right after this callback (publishing from inside the library's callback
    // would take its locks in another order than everywhere else).
}

void MqttOutput::Shared::OnDisconnect(mosquitto*, void* self, int) {
    auto* shared = static_cast<Shared*>(self);
    shared->connected = false;
    std::lock_guard lock(shared->countsMutex);
    shared->counts.connected = false;
}

void MqttOutput::Shared::OnPublish(mosquitto*, void* self, int) {
    auto* shared = static_cast<Shared*>(self);
    shared->unwritten = std::max(0, shared->unwritten - 1);
}

void MqttOutput::Shared::TryToConnect() {
    // A new connection closes what is left of the old one. The look-up of the name blocks this
    // thread (only this one); the TCP connection itself is made without waiting.
    const int rc =
        mosquitto_connect_async(client, broker.host.c_str(), broker.port, kKeepAliveSeconds);
    nextTry = Clock::now() + retry;
    retry = std::min(retry * 2, kLongestRetry);
    if (rc != MOSQ_ERR_SUCCESS) {
        SetProblem("cannot reach " + broker.host + ": " + ErrorText(rc));
        return;
    }
    // Whether it worked shows in the connect callback, or as a lost link.
    needConnect = false;
}

void MqttOutput::Shared::ConnectionLost(int rc) {
    const bool wasConnected = connected;
    connected = false;
    needConnect = true;
    if (rc == MOSQ_ERR_CONN_REFUSED) {
        // The connect callback already said why.
        std::lock_guard lock(countsMutex);
        counts.connected = false;
    } else {
        SetProblem((wasConnected ? "lost the broker: " : "cannot reach " + broker.host + ": ") +
                   ErrorText(rc));
    }
}

void MqttOutput::Shared::ServeSocket(short revents) {
    if (revents & (POLLIN | POLLERR | POLLHUP)) {
        if (const int rc = mosquitto_loop_read(client, 1); rc != MOSQ_ERR_SUCCESS) {
            ConnectionLost(rc);
            return;
        }
    }
    if (mosquitto_socket(client) >= 0 && mosquitto_want_write(client)) {
        if (const int rc = mosquitto_loop_write(client, 1); rc != MOSQ_ERR_SUCCESS) {
            ConnectionLost(rc);
            return;
        }
    }
    mosquitto_loop_misc(client);
    if (mosquitto_socket(client) < 0) {
        // The library closed the link itself (a keep-alive that got no answer).
        ConnectionLost(MOSQ_ERR_CONN_LOST);
    }
}

void MqttOutput::Shared::Publish(const std::string& topic, const std::string& payload) {
    bool published = false;
    if (connected && unwritten < kMaxUnwritten) {
        const int rc =
            mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                              payload.data(), 0, false);
        published = rc == MOSQ_ERR_SUCCESS;
        unwritten += published ? 1 : 0;
    }
    std::lock_guard lock(countsMutex);
    ++(published ? counts.published : counts.dropped);
}

void MqttOutput::Shared::PublishStatus(std::string_view text) {
    if (!connected) {
        return;  // published on the next connection, from the status then current
    }
    const int rc = mosquitto_publish(client, nullptr, topics.status.c_str(),
                                     static_cast<int>(text.size()), text.data(), kStatusQos, true);
    if (rc == MOSQ_ERR_SUCCESS) {
        publishedStatus = std::string(text);
        ++unwritten;
    }
}

void MqttOutput::Shared::PublishWaiting(std::vector<OutputEvent>& events) {
    queue.TakeAll(events);
    for (const OutputEvent& event : events) {
        if (event.summary) {
            Publish(topics.statistics, SummaryJson(event.data));
        } else {
            Publish(topics.sample, SampleJson(event.data.current));
        }
    }
    const std::string_view status = LinkStatusText(this->status.load());
    if (connected && status != publishedStatus) {
        PublishStatus(status);
    }
    const std::uint64_t lost = queue.Dropped();
    std::lock_guard lock(countsMutex);
    counts.lost = lost;
    counts.connected = connected;
}

// A stop is not a death: say "offline" ourselves (a clean disconnect sends no last will) and
// give the words a moment to leave.
void MqttOutput::Shared::SayGoodbye() {
    if (!connected) {
        return;
    }
    PublishStatus(kOfflineText);
    mosquitto_disconnect(client);
    const auto deadline = Clock::now() + kGoodbyeTime;
    while (mosquitto_socket(client) >= 0 && mosquitto_want_write(client) &&
           Clock::now() < deadline) {
        pollfd fd{mosquitto_socket(client), POLLOUT, 0};
        poll(&fd, 1, 100);
        if (mosquitto_loop_write(client, 1) != MOSQ_ERR_SUCCESS) {
            break;
        }
    }
}

void MqttOutput::Shared::Run() {
    std::vector<OutputEvent> events;
    while (!stop) {
        const auto now = Clock::now();
        if (needConnect && now >= nextTry) {
            TryToConnect();
        }
        const int socket = needConnect ? -1 : mosquitto_socket(client);
        pollfd fds[2] = {{queue.Wake().Fd(), POLLIN, 0}, {socket, POLLIN, 0}};
        if (socket >= 0 && mosquitto_want_write(client)) {
            fds[1].events |= POLLOUT;
        }
        int timeout = 1000;
        if (socket < 0) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextTry - now);
            timeout = static_cast<int>(std::clamp<long long>(wait.count(), 0, 1000));
        }
        poll(fds, socket >= 0 ? 2 : 1, timeout);
        if (stop) {
            break;
        }
        if (socket >= 0) {
            ServeSocket(fds[1].revents);
        }
        PublishWaiting(events);
    }
    // What was handed over before the stop still goes, ahead of the "offline".
    PublishWaiting(events);
    SayGoodbye();
}

MqttOutput::MqttOutput() = default;

MqttOutput::~MqttOutput() {
    Stop();
}

bool MqttOutput::Start(const BrokerSettings& broker, const std::string& topicBase,
                       std::string& error) {
    Stop();
    finalCounts_ = {};
    InitialiseLibraryOnce();
    auto shared = std::make_shared<Shared>();
    shared->broker = broker;
    shared->topics = TopicsUnder(topicBase);
    shared->client = mosquitto_new(ClientId().c_str(), true, shared.get());
    if (shared->client == nullptr) {
        error = "cannot make an MQTT client";
        return false;
    }
    mosquitto_int_option(shared->client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    const std::string_view offline = kOfflineText;
    mosquitto_will_set(shared->client, shared->topics.status.c_str(),
                       static_cast<int>(offline.size()), offline.data(), kStatusQos, true);
    if (!broker.user.empty()) {
        mosquitto_username_pw_set(shared->client, broker.user.c_str(),
                                  broker.password.empty() ? nullptr : broker.password.c_str());
    }
    if (broker.tls) {
        const char* caFile = broker.caFile.empty() ? nullptr : broker.caFile.c_str();
        const int rc = mosquitto_tls_set(shared->client, caFile,
                                         caFile == nullptr ? kSystemCertificates : nullptr, nullptr,
                                         nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = broker.caFile.empty() ? "cannot use the system's certificate authorities"
                                          : "cannot read the CA file " + broker.caFile;
            return false;
        }
    }
    mosquitto_connect_callback_set(shared->client, &Shared::OnConnect);
    mosquitto_disconnect_callback_set(shared->client, &Shared::OnDisconnect);
    mosquitto_publish_callback_set(shared->client, &Shared::OnPublish);
    shared->thread.Start([shared] { shared->Run(); });
    shared_ = shared;
    return true;
}

void MqttOutput::RequestStop() {
    if (shared_) {
        shared_->stop = true;
        shared_->queue.Wake().Signal();
    }
}

void MqttOutput::Stop() {
    if (!shared_) {
        return;
    }
    RequestStop();
    shared_->thread.Stop(kStopPatience);
    finalCounts_ = Counts();
    finalCounts_.connected = false;
    shared_.reset();
}

bool MqttOutput::Running() const {
    return shared_ != nullptr;
}

void MqttOutput::Hand(const OutputEvent& event) {
    if (shared_) {
        shared_->queue.Push(event);
    }
}

void MqttOutput::SetStatus(LinkStatus status) {
    if (shared_) {
        shared_->status = status;
        shared_->queue.Wake().Signal();
    }
}

MqttCounts MqttOutput::Counts() const {
    if (!shared_) {
        return finalCounts_;
    }
    std::lock_guard lock(shared_->countsMutex);
    return shared_->counts;
}

}  // namespace vx
