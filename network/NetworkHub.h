#pragma once
// Joins the connection windows to their network outputs. Each connected window gets its own
// outputs, started as they were kept for its name; the window hands each valid sample over as it
// comes, and a tick hands over its statistics once a second and stops the outputs of a window
// that has closed (MQTT then says "offline"). The "Network Output" dialog reads and changes the
// settings here, and they are kept in the program's settings file.

#include "network/NetworkStore.h"
#include "network/OutputFeed.h"
#include "network/WindOutputs.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vx {

class ConnectionHost;
class Tchild;

class NetworkHub : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 250;

    // host: the average types the connections show; settingsPath: the program's settings file.
    NetworkHub(ConnectionHost& host, std::string settingsPath, std::string station,
               QObject* parent = nullptr);
    ~NetworkHub() override;

    // A connection window that has connected; its outputs start as kept for its name.
    void Attach(Tchild& connection);

    // The connection windows that are open and attached, in the order they connected.
    std::vector<Tchild*> Connections() const;
    const NetworkConfiguration& Configuration() const { return configuration_; }
    // What the connection's outputs are set to now.
    ConnectionOutputs OutputsOf(const Tchild& connection) const;
    // The outputs themselves (null for a connection that is not attached).
    const WindOutputs* Outputs(const Tchild& connection) const;

    // Takes the broker and each listed connection's outputs, restarts what changed and keeps
    // the settings. Returns "" or what could not start.
    std::string Apply(const BrokerSettings& broker,
                      const std::vector<std::pair<Tchild*, ConnectionOutputs>>& outputs);

    // How the connection's outputs fare, in a line or two for the user.
    std::string StatusText(const Tchild& connection) const;

    // The connection's state as its outputs announce it: online, port lost, no data.
    void SetLinkStatus(const Tchild& connection, LinkStatus status);

    const std::string& Station() const { return station_; }

private:
    struct Link;

    Link* Find(const Tchild& connection) const;
    OutputSettings SettingsFor(const Tchild& connection, const ConnectionOutputs& outputs) const;
    void Tick();
    void Detach(Link& link);

    ConnectionHost& host_;
    std::string settingsPath_;
    std::string station_;
    NetworkConfiguration configuration_;
    std::vector<std::unique_ptr<Link>> links_;
    QTimer tick_;
};

}  // namespace vx
