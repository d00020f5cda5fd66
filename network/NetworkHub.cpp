#include "network/NetworkHub.h"

#include "connection/Anemometer.h"
#include "connection/ConnectionHost.h"
#include "connection/SampleListener.h"

#include <algorithm>

namespace vx {

struct NetworkHub::Link : SampleListener {
    Link(Tchild& connection, const std::string& station)
        : window(&connection), outputs(station), feed(outputs) {}

    void SampleTaken(const WindConnection& wind) override { feed.SampleTaken(wind); }

    QPointer<Tchild> window;
    ConnectionOutputs current;
    std::string problem;  // what could not start at the last configuration
    WindOutputs outputs;
    OutputFeed feed;
};

NetworkHub::NetworkHub(ConnectionHost& host, std::string settingsPath, std::string station,
                       QObject* parent)
    : QObject(parent),
      host_(host),
      settingsPath_(std::move(settingsPath)),
      station_(std::move(station)),
      configuration_(LoadNetworkConfiguration(settingsPath_)) {
    tick_.setInterval(kTickMs);
    connect(&tick_, &QTimer::timeout, this, [this] { Tick(); });
    tick_.start();
}

NetworkHub::~NetworkHub() {
    // Stopping each in turn would add up their goodbyes: all are asked first.
    for (const auto& link : links_) {
        if (link->window) {
            link->window->SetSampleListener(nullptr);
        }
        link->outputs.RequestStop();
    }
    for (const auto& link : links_) {
        link->outputs.Stop();
    }
}

OutputSettings NetworkHub::SettingsFor(const Tchild& connection,
                                       const ConnectionOutputs& outputs) const {
    OutputSettings settings;
    settings.nmea = outputs.nmea;
    settings.mqtt = outputs.mqtt;
    settings.broker = configuration_.broker;
    settings.topic = connection.ConnectionName();
    return settings;
}

void NetworkHub::Attach(Tchild& connection) {
    if (Find(connection) != nullptr) {
        return;
    }
    auto link = std::make_unique<Link>(connection, station_);
    link->current = configuration_.For(connection.ConnectionName());
    // The outputs tell what the window shows of its line: the device gone, the data quiet, or
    // messages coming (a connection may attach while its device is already away).
    link->outputs.SetLinkStatus(ToLinkStatus(connection.CurrentLinkState()));
    connect(&connection, &Tchild::LinkStateChanged, this,
            [this, window = QPointer<Tchild>(&connection)](LinkState state) {
                if (window) {
                    SetLinkStatus(*window, ToLinkStatus(state));
                }
            });
    // What cannot start (a TCP port in use) shows in the dialog's status of the connection.
    link->problem = link->outputs.Configure(SettingsFor(connection, link->current));
    connection.SetSampleListener(link.get());
    links_.push_back(std::move(link));
}

NetworkHub::Link* NetworkHub::Find(const Tchild& connection) const {
    for (const auto& link : links_) {
        if (link->window == &connection) {
            return link.get();
        }
    }
    return nullptr;
}

std::vector<Tchild*> NetworkHub::Connections() const {
    std::vector<Tchild*> open;
    for (const auto& link : links_) {
        if (link->window && !link->window->IsClosed()) {
            open.push_back(link->window.data());
        }
    }
    return open;
}

ConnectionOutputs NetworkHub::OutputsOf(const Tchild& connection) const {
    const Link* link = Find(connection);
    return link != nullptr ? link->current : configuration_.For(connection.ConnectionName());
}

const WindOutputs* NetworkHub::Outputs(const Tchild& connection) const {
    const Link* link = Find(connection);
    return link != nullptr ? &link->outputs : nullptr;
}

std::string NetworkHub::Apply(const BrokerSettings& broker,
                              const std::vector<std::pair<Tchild*, ConnectionOutputs>>& outputs) {
    configuration_.broker = broker;
    for (const auto& [connection, settings] : outputs) {
        configuration_.Set(connection->ConnectionName(), settings);
        if (Link* link = Find(*connection)) {
            link->current = settings;
        }
    }
    std::string problems;
    for (const auto& link : links_) {
        if (!link->window || link->window->IsClosed()) {
            continue;
        }
        link->problem = link->outputs.Configure(SettingsFor(*link->window, link->current));
        if (!link->problem.empty()) {
            problems += link->window->ConnectionName() + ": " + link->problem + "\n";
        }
    }
    SaveNetworkConfiguration(settingsPath_, configuration_);
    if (!problems.empty()) {
        problems.pop_back();
    }
    return problems;
}

std::string NetworkHub::StatusText(const Tchild& connection) const {
    const Link* link = Find(connection);
    if (link == nullptr) {
        return {};
    }
    const WindOutputs& outputs = link->outputs;
    std::string text;
    if (outputs.NmeaRunning()) {
        const NmeaCounts nmea = outputs.Nmea();
        text += "NMEA: " + std::to_string(nmea.sentences) + " sentences sent";
        if (link->current.nmea.tcpOn) {
            text += ", " + std::to_string(nmea.tcpClients) + " TCP client" +
                    (nmea.tcpClients == 1 ? "" : "s");
        }
        if (!nmea.problem.empty()) {
            text += "; " + nmea.problem;
        }
    } else if (link->current.nmea.On()) {
        text += "NMEA: not running";
    } else {
        text += "NMEA: off";
    }
    text += "\n";
    if (outputs.MqttRunning()) {
        const MqttCounts mqtt = outputs.Mqtt();
        text += mqtt.connected ? "MQTT: connected, " + std::to_string(mqtt.published) +
                                     " messages published to " + outputs.TopicBase()
                               : "MQTT: not connected";
        if (!mqtt.connected && !mqtt.problem.empty()) {
            text += " (" + mqtt.problem + ")";
        }
    } else {
        text += link->current.mqtt.on ? "MQTT: not running" : "MQTT: off";
    }
    if (!link->problem.empty()) {
        text += "\n" + link->problem;
    }
    return text;
}

void NetworkHub::SetLinkStatus(const Tchild& connection, LinkStatus status) {
    if (Link* link = Find(connection); link != nullptr && link->outputs.Status() != status) {
        link->outputs.SetLinkStatus(status);
    }
}

void NetworkHub::Detach(Link& link) {
    if (link.window) {
        link.window->SetSampleListener(nullptr);
    }
    link.outputs.Stop();
}

void NetworkHub::Tick() {
    for (const auto& link : links_) {
        if (!link->window || link->window->IsClosed()) {
            Detach(*link);
            continue;
        }
        link->feed.Tick(link->window->Wind(), host_.MagAverageVector(), host_.DirAverageVector());
    }
    std::erase_if(links_,
                  [](const auto& link) { return !link->window || link->window->IsClosed(); });
}

}  // namespace vx
