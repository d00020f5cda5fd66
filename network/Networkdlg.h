#pragma once
// "Network Output": per connection, NMEA 0183 over UDP and TCP and publishing to an MQTT broker,
// and the broker that every connection shares. Whatever the user types is checked here, without
// looking any name up, and refused with a text that says what is wrong; the outputs start on
// their own threads when the dialog applies. Shown modally from the main window's Settings menu.

#include "network/NetworkDialogOps.h"
#include "network/NetworkStore.h"

#include <QDialog>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vx {

class NetworkHub;
class Tchild;

class TfrmNetworkDlg : public QDialog, public NetworkDialogOps {
    Q_OBJECT
public:
    static constexpr int kStatusMs = 500;

    // The open-file dialog for the CA file: the path to start from, the chosen path or "" when
    // cancelled. Tests replace it.
    using FileChooser = std::function<QString(QWidget* parent, const QString& startPath)>;

    explicit TfrmNetworkDlg(NetworkHub& hub, QWidget* parent = nullptr);
    ~TfrmNetworkDlg() override;

    void SetFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

    // Loads the current settings and shows the dialog modally.
    void ShowNetworkDialog() override;
    // Loads the connections and settings as they are now (ShowNetworkDialog does it first).
    void LoadSettings();

    // Checks every connection's page and the broker, then applies and keeps them. False (after
    // telling the user) when something typed is wrong or an output could not start.
    bool buApplyClick();
    void buOkClick();
    void cbConnectionChange(int index);
    void buCaFileClick();

    // The text of the status line of the connection shown.
    QString StatusText() const;

    QComboBox* cbConnection = nullptr;
    QCheckBox* cbNmeaUdp = nullptr;
    QLineEdit* edUdpHost = nullptr;
    QLineEdit* edUdpPort = nullptr;
    QCheckBox* cbNmeaTcp = nullptr;
    QLineEdit* edTcpAddress = nullptr;
    QLineEdit* edTcpPort = nullptr;
    QLineEdit* edTcpClients = nullptr;
    QLineEdit* edNmeaRate = nullptr;
    QComboBox* cbNmeaUnit = nullptr;
    QCheckBox* cbMqtt = nullptr;
    QLineEdit* edMqttRate = nullptr;
    QLineEdit* edBrokerHost = nullptr;
    QLineEdit* edBrokerPort = nullptr;
    QLineEdit* edBrokerUser = nullptr;
    QLineEdit* edBrokerPassword = nullptr;
    QCheckBox* cbBrokerTls = nullptr;
    QLineEdit* edCaFile = nullptr;
    QPushButton* buCaFile = nullptr;
    QLineEdit* edTopicPrefix = nullptr;
    QLabel* laStatus = nullptr;
    QPushButton* buOk = nullptr;
    QPushButton* buCancel = nullptr;
    QPushButton* buApply = nullptr;

private:
    // The fields of one connection's page as typed, kept while the user looks at another.
    struct Page {
        Tchild* connection = nullptr;
        bool udp = false;
        QString udpHost, udpPort;
        bool tcp = false;
        QString tcpAddress, tcpPort, tcpClients, nmeaRate;
        int unitIndex = 0;
        bool mqtt = false;
        QString mqttRate;
    };

    void BuildWindow();
    QGroupBox* BuildNmeaGroup();
    QGroupBox* BuildMqttGroup();
    QGroupBox* BuildBrokerGroup();
    void EnableFields();
    Page PageFrom(Tchild* connection, const ConnectionOutputs& outputs) const;
    void ShowPage(const Page& page);
    void KeepShownPage();
    // Reads a page into outputs; false after telling the user what is wrong.
    bool ReadPage(int index, ConnectionOutputs& outputs);
    bool ReadBroker(bool anyMqtt, BrokerSettings& broker);
    bool Refuse(int pageIndex, QLineEdit* field, const QString& text);
    void RefreshStatus();

    NetworkHub& hub_;
    std::vector<Page> pages_;
    int shownPage_ = -1;
    QTimer statusTimer_;
    FileChooser chooseFile_;
};

}  // namespace vx
