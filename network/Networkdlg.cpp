#include "network/Networkdlg.h"

#include "connection/Anemometer.h"
#include "network/NetworkHub.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace vx {
namespace {

const QString kCaption = QStringLiteral("Network Output");

constexpr std::array<NmeaSpeedUnit, 4> kUnits = {
    NmeaSpeedUnit::Knots, NmeaSpeedUnit::MetresPerSecond, NmeaSpeedUnit::Kph, NmeaSpeedUnit::Mph};

int UnitIndex(NmeaSpeedUnit unit) {
    for (std::size_t i = 0; i < kUnits.size(); ++i) {
        if (kUnits[i] == unit) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

QLineEdit* AddField(QWidget* owner, const char* name, int width = 0) {
    auto* field = new QLineEdit(owner);
    field->setObjectName(QString::fromLatin1(name));
    if (width > 0) {
        field->setFixedWidth(width);
    }
    return field;
}

QString HostProblem(const QString& host, const QString& what) {
    if (host.trimmed().isEmpty()) {
        return QStringLiteral("Enter the host name or address %1.").arg(what);
    }
    return QStringLiteral(
               "\"%1\" is not a host name or address. Write a name such as "
               "plotter.local or an address such as 192.168.1.20.")
        .arg(host);
}

bool ReadPort(const QString& text, int& port) {
    int value = 0;
    if (!ParseWholeNumber(text.trimmed().toStdString(), value) || !IsPortNumber(value)) {
        return false;
    }
    port = value;
    return true;
}

bool ReadRate(const QString& text, double& rate) {
    double value = 0;
    if (!ParseDecimalNumber(text.toStdString(), value) || value <= 0 ||
        value > kMaxMessagesPerSecond) {
        return false;
    }
    rate = value;
    return true;
}

}  // namespace

TfrmNetworkDlg::TfrmNetworkDlg(NetworkHub& hub, QWidget* parent)
    : QDialog(parent), hub_(hub), chooseFile_([](QWidget* owner, const QString& start) {
          return QFileDialog::getOpenFileName(owner, QStringLiteral("CA certificates"), start,
                                              QStringLiteral("Certificates (*.pem *.crt);;All "
                                                             "files (*)"));
      }) {
    setObjectName(QStringLiteral("frmNetworkDlg"));
    setWindowTitle(kCaption);
    BuildWindow();
    statusTimer_.setInterval(kStatusMs);
    connect(&statusTimer_, &QTimer::timeout, this, [this] { RefreshStatus(); });
}

TfrmNetworkDlg::~TfrmNetworkDlg() = default;

// ---- Construction ----

void TfrmNetworkDlg::BuildWindow() {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Connection:"), this));
    cbConnection = new QComboBox(this);
    cbConnection->setObjectName(QStringLiteral("cbConnection"));
    cbConnection->setMinimumWidth(220);
    top->addWidget(cbConnection, 1);
    layout->addLayout(top);
    layout->addWidget(BuildNmeaGroup());
    layout->addWidget(BuildMqttGroup());
    layout->addWidget(BuildBrokerGroup());
    laStatus = new QLabel(this);
    laStatus->setObjectName(QStringLiteral("laStatus"));
    laStatus->setWordWrap(true);
    laStatus->setMinimumHeight(48);
    layout->addWidget(laStatus);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buOk = new QPushButton(QStringLiteral("OK"), this);
    buOk->setObjectName(QStringLiteral("buOk"));
    buOk->setDefault(true);
    buCancel = new QPushButton(QStringLiteral("Cancel"), this);
    buCancel->setObjectName(QStringLiteral("buCancel"));
    buApply = new QPushButton(QStringLiteral("Apply"), this);
    buApply->setObjectName(QStringLiteral("buApply"));
    buttons->addWidget(buOk);
    buttons->addWidget(buCancel);
    buttons->addWidget(buApply);
    layout->addLayout(buttons);

    connect(cbConnection, &QComboBox::currentIndexChanged, this,
            [this](int index) { cbConnectionChange(index); });
    connect(buOk, &QPushButton::clicked, this, [this] { buOkClick(); });
    connect(buCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(buApply, &QPushButton::clicked, this, [this] { buApplyClick(); });
    connect(buCaFile, &QPushButton::clicked, this, [this] { buCaFileClick(); });
    for (QCheckBox* box : {cbNmeaUdp, cbNmeaTcp, cbMqtt, cbBrokerTls}) {
        connect(box, &QCheckBox::toggled, this, [this] { EnableFields(); });
    }
    EnableFields();
}

QGroupBox* TfrmNetworkDlg::BuildNmeaGroup() {
    auto* group = new QGroupBox(QStringLiteral("NMEA 0183"), this);
    group->setObjectName(QStringLiteral("gbNmea"));
    auto* grid = new QGridLayout(group);
    cbNmeaUdp = new QCheckBox(QStringLiteral("Send UDP datagrams to"), group);
    cbNmeaUdp->setObjectName(QStringLiteral("cbNmeaUdp"));
    edUdpHost = AddField(group, "edUdpHost");
    edUdpHost->setPlaceholderText(QStringLiteral("host or address, e.g. 192.168.1.255"));
    edUdpPort = AddField(group, "edUdpPort", 70);
    grid->addWidget(cbNmeaUdp, 0, 0);
    grid->addWidget(edUdpHost, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("port"), group), 0, 2);
    grid->addWidget(edUdpPort, 0, 3);

    cbNmeaTcp = new QCheckBox(QStringLiteral("Serve TCP clients on"), group);
    cbNmeaTcp->setObjectName(QStringLiteral("cbNmeaTcp"));
    edTcpAddress = AddField(group, "edTcpAddress");
    edTcpAddress->setToolTip(
        QStringLiteral("127.0.0.1: this computer only; 0.0.0.0: every "
                       "network"));
    edTcpPort = AddField(group, "edTcpPort", 70);
    grid->addWidget(cbNmeaTcp, 1, 0);
    grid->addWidget(edTcpAddress, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("port"), group), 1, 2);
    grid->addWidget(edTcpPort, 1, 3);
    edTcpClients = AddField(group, "edTcpClients", 70);
    grid->addWidget(new QLabel(QStringLiteral("Clients at most"), group), 2, 0);
    grid->addWidget(edTcpClients, 2, 1, Qt::AlignLeft);

    edNmeaRate = AddField(group, "edNmeaRate", 70);
    grid->addWidget(new QLabel(QStringLiteral("Sentences per second"), group), 3, 0);
    grid->addWidget(edNmeaRate, 3, 1, Qt::AlignLeft);
    cbNmeaUnit = new QComboBox(group);
    cbNmeaUnit->setObjectName(QStringLiteral("cbNmeaUnit"));
    cbNmeaUnit->addItems({QStringLiteral("knots (N)"), QStringLiteral("m/s (M)"),
                          QStringLiteral("km/h (K)"), QStringLiteral("mph (S)")});
    grid->addWidget(new QLabel(QStringLiteral("Speed unit"), group), 4, 0);
    grid->addWidget(cbNmeaUnit, 4, 1, Qt::AlignLeft);
    return group;
}

QGroupBox* TfrmNetworkDlg::BuildMqttGroup() {
    auto* group = new QGroupBox(QStringLiteral("MQTT"), this);
    group->setObjectName(QStringLiteral("gbMqtt"));
    auto* grid = new QGridLayout(group);
    cbMqtt = new QCheckBox(QStringLiteral("Publish this connection to the broker"), group);
    cbMqtt->setObjectName(QStringLiteral("cbMqtt"));
    grid->addWidget(cbMqtt, 0, 0, 1, 2);
    edMqttRate = AddField(group, "edMqttRate", 70);
    grid->addWidget(new QLabel(QStringLiteral("Samples per second"), group), 1, 0);
    grid->addWidget(edMqttRate, 1, 1, Qt::AlignLeft);
    return group;
}

QGroupBox* TfrmNetworkDlg::BuildBrokerGroup() {
    auto* group = new QGroupBox(QStringLiteral("MQTT broker (all connections)"), this);
    group->setObjectName(QStringLiteral("gbBroker"));
    auto* grid = new QGridLayout(group);
    edBrokerHost = AddField(group, "edBrokerHost");
    edBrokerPort = AddField(group, "edBrokerPort", 70);
    grid->addWidget(new QLabel(QStringLiteral("Host"), group), 0, 0);
    grid->addWidget(edBrokerHost, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("port"), group), 0, 2);
    grid->addWidget(edBrokerPort, 0, 3);
    edBrokerUser = AddField(group, "edBrokerUser");
    grid->addWidget(new QLabel(QStringLiteral("User"), group), 1, 0);
    grid->addWidget(edBrokerUser, 1, 1);
    edBrokerPassword = AddField(group, "edBrokerPassword");
    edBrokerPassword->setEchoMode(QLineEdit::Password);
    grid->addWidget(new QLabel(QStringLiteral("Password"), group), 2, 0);
    grid->addWidget(edBrokerPassword, 2, 1);
    auto* note =
        new QLabel(QStringLiteral("Kept in your settings file, which only you can read."), group);
    note->setObjectName(QStringLiteral("laPasswordNote"));
    grid->addWidget(note, 3, 1, 1, 3);
    cbBrokerTls = new QCheckBox(QStringLiteral("TLS, CA file"), group);
    cbBrokerTls->setObjectName(QStringLiteral("cbBrokerTls"));
    edCaFile = AddField(group, "edCaFile");
    edCaFile->setPlaceholderText(QStringLiteral("the system's certificate authorities"));
    buCaFile = new QPushButton(QStringLiteral("Browse..."), group);
    buCaFile->setObjectName(QStringLiteral("buCaFile"));
    grid->addWidget(cbBrokerTls, 4, 0);
    grid->addWidget(edCaFile, 4, 1, 1, 2);
    grid->addWidget(buCaFile, 4, 3);
    edTopicPrefix = AddField(group, "edTopicPrefix");
    edTopicPrefix->setPlaceholderText(ToQString(DefaultTopicPrefix(hub_.Station())));
    grid->addWidget(new QLabel(QStringLiteral("Topic prefix"), group), 5, 0);
    grid->addWidget(edTopicPrefix, 5, 1, 1, 3);
    return group;
}

void TfrmNetworkDlg::EnableFields() {
    const bool any = shownPage_ >= 0;
    for (QWidget* widget : std::initializer_list<QWidget*>{
             cbNmeaUdp, cbNmeaTcp, cbMqtt, edTcpClients, edNmeaRate, cbNmeaUnit, edMqttRate}) {
        widget->setEnabled(any);
    }
    edUdpHost->setEnabled(any && cbNmeaUdp->isChecked());
    edUdpPort->setEnabled(any && cbNmeaUdp->isChecked());
    edTcpAddress->setEnabled(any && cbNmeaTcp->isChecked());
    edTcpPort->setEnabled(any && cbNmeaTcp->isChecked());
    edCaFile->setEnabled(cbBrokerTls->isChecked());
    buCaFile->setEnabled(cbBrokerTls->isChecked());
}

// ---- Loading and showing ----

void TfrmNetworkDlg::ShowNetworkDialog() {
    LoadSettings();
    statusTimer_.start();
    exec();
    statusTimer_.stop();
}

TfrmNetworkDlg::Page TfrmNetworkDlg::PageFrom(Tchild* connection,
                                              const ConnectionOutputs& outputs) const {
    Page page;
    page.connection = connection;
    page.udp = outputs.nmea.udpOn;
    page.udpHost = ToQString(outputs.nmea.udpHost);
    page.udpPort = GeneralText(outputs.nmea.udpPort);
    page.tcp = outputs.nmea.tcpOn;
    page.tcpAddress = ToQString(outputs.nmea.tcpAddress);
    page.tcpPort = GeneralText(outputs.nmea.tcpPort);
    page.tcpClients = GeneralText(outputs.nmea.maxClients);
    page.nmeaRate = GeneralText(outputs.nmea.sentencesPerSecond);
    page.unitIndex = UnitIndex(outputs.nmea.unit);
    page.mqtt = outputs.mqtt.on;
    page.mqttRate = GeneralText(outputs.mqtt.samplesPerSecond);
    return page;
}

void TfrmNetworkDlg::LoadSettings() {
    pages_.clear();
    shownPage_ = -1;
    for (Tchild* connection : hub_.Connections()) {
        pages_.push_back(PageFrom(connection, hub_.OutputsOf(*connection)));
    }
    const BrokerSettings& broker = hub_.Configuration().broker;
    edBrokerHost->setText(ToQString(broker.host));
    edBrokerPort->setText(GeneralText(broker.port));
    edBrokerUser->setText(ToQString(broker.user));
    edBrokerPassword->setText(ToQString(broker.password));
    cbBrokerTls->setChecked(broker.tls);
    edCaFile->setText(ToQString(broker.caFile));
    edTopicPrefix->setText(ToQString(broker.topicPrefix));

    const QSignalBlocker blocker(cbConnection);
    cbConnection->clear();
    for (const Page& page : pages_) {
        cbConnection->addItem(ToQString(page.connection->ConnectionName()));
    }
    cbConnection->setCurrentIndex(pages_.empty() ? -1 : 0);
    cbConnectionChange(cbConnection->currentIndex());
}

void TfrmNetworkDlg::ShowPage(const Page& page) {
    cbNmeaUdp->setChecked(page.udp);
    edUdpHost->setText(page.udpHost);
    edUdpPort->setText(page.udpPort);
    cbNmeaTcp->setChecked(page.tcp);
    edTcpAddress->setText(page.tcpAddress);
    edTcpPort->setText(page.tcpPort);
    edTcpClients->setText(page.tcpClients);
    edNmeaRate->setText(page.nmeaRate);
    cbNmeaUnit->setCurrentIndex(page.unitIndex);
    cbMqtt->setChecked(page.mqtt);
    edMqttRate->setText(page.mqttRate);
}

void TfrmNetworkDlg::KeepShownPage() {
    if (shownPage_ < 0 || shownPage_ >= static_cast<int>(pages_.size())) {
        return;
    }
    Page& page = pages_[static_cast<std::size_t>(shownPage_)];
    page.udp = cbNmeaUdp->isChecked();
    page.udpHost = edUdpHost->text();
    page.udpPort = edUdpPort->text();
    page.tcp = cbNmeaTcp->isChecked();
    page.tcpAddress = edTcpAddress->text();
    page.tcpPort = edTcpPort->text();
    page.tcpClients = edTcpClients->text();
    page.nmeaRate = edNmeaRate->text();
    page.unitIndex = cbNmeaUnit->currentIndex();
    page.mqtt = cbMqtt->isChecked();
    page.mqttRate = edMqttRate->text();
}

void TfrmNetworkDlg::cbConnectionChange(int index) {
    KeepShownPage();
    shownPage_ = index >= 0 && index < static_cast<int>(pages_.size()) ? index : -1;
    ShowPage(shownPage_ >= 0 ? pages_[static_cast<std::size_t>(shownPage_)]
                             : PageFrom(nullptr, ConnectionOutputs{}));
    EnableFields();
    RefreshStatus();
}

// ---- Checking and applying ----

bool TfrmNetworkDlg::Refuse(int pageIndex, QLineEdit* field, const QString& text) {
    if (pageIndex >= 0 && pageIndex != cbConnection->currentIndex()) {
        cbConnection->setCurrentIndex(pageIndex);
    }
    ShowMessageBox(this, text, kCaption, MessageButtons::Ok, MessageIcon::Warning);
    if (field != nullptr) {
        field->setFocus();
        field->selectAll();
    }
    return false;
}

bool TfrmNetworkDlg::ReadPage(int index, ConnectionOutputs& outputs) {
    const Page& page = pages_[static_cast<std::size_t>(index)];
    NmeaSettings& nmea = outputs.nmea;
    nmea.udpOn = page.udp;
    nmea.udpHost = page.udpHost.trimmed().toStdString();
    nmea.tcpOn = page.tcp;
    nmea.tcpAddress = page.tcpAddress.trimmed().toStdString();
    nmea.unit = kUnits[static_cast<std::size_t>(std::clamp(page.unitIndex, 0, 3))];
    outputs.mqtt.on = page.mqtt;
    if (page.udp) {
        if (!IsHostName(nmea.udpHost)) {
            return Refuse(index, edUdpHost, HostProblem(page.udpHost, "to send datagrams to"));
        }
        if (!ReadPort(page.udpPort, nmea.udpPort)) {
            return Refuse(index, edUdpPort,
                          QStringLiteral("The UDP port must be a whole number from 1 to 65535."));
        }
    }
    if (page.tcp) {
        if (!IsListenAddress(nmea.tcpAddress)) {
            return Refuse(index, edTcpAddress,
                          QStringLiteral("The TCP server listens on an address of this "
                                         "computer: 127.0.0.1 for this computer only, 0.0.0.0 "
                                         "for every network, or the address of one network "
                                         "card."));
        }
        if (!ReadPort(page.tcpPort, nmea.tcpPort)) {
            return Refuse(index, edTcpPort,
                          QStringLiteral("The TCP port must be a whole number from 1 to 65535."));
        }
    }
    int clients = 0;
    if (!ParseWholeNumber(page.tcpClients.toStdString(), clients) || clients < 1 ||
        clients > kMaxTcpClientsLimit) {
        return Refuse(index, edTcpClients,
                      QStringLiteral("The number of TCP clients must be from 1 to 64."));
    }
    nmea.maxClients = clients;
    if (!ReadRate(page.nmeaRate, nmea.sentencesPerSecond)) {
        return Refuse(index, edNmeaRate,
                      QStringLiteral("Sentences per second must be a number above 0 and at "
                                     "most 100."));
    }
    if (!ReadRate(page.mqttRate, outputs.mqtt.samplesPerSecond)) {
        return Refuse(index, edMqttRate,
                      QStringLiteral("Samples per second must be a number above 0 and at most "
                                     "100."));
    }
    return true;
}

bool TfrmNetworkDlg::ReadBroker(bool anyMqtt, BrokerSettings& broker) {
    broker.host = edBrokerHost->text().trimmed().toStdString();
    broker.user = edBrokerUser->text().toStdString();
    broker.password = edBrokerPassword->text().toStdString();
    broker.tls = cbBrokerTls->isChecked();
    broker.caFile = edCaFile->text().trimmed().toStdString();
    broker.topicPrefix = edTopicPrefix->text().trimmed().toStdString();
    // An unused broker may stay half filled in; one that is used must be right.
    const bool check = anyMqtt || !broker.host.empty();
    if (check && !IsHostName(broker.host)) {
        return Refuse(-1, edBrokerHost, HostProblem(edBrokerHost->text(), "of the MQTT broker"));
    }
    if (!ReadPort(edBrokerPort->text(), broker.port)) {
        return Refuse(-1, edBrokerPort,
                      QStringLiteral("The broker's port must be a whole number from 1 to 65535 "
                                     "(1883, or 8883 with TLS)."));
    }
    if (!broker.password.empty() && broker.user.empty()) {
        return Refuse(-1, edBrokerUser, QStringLiteral("A password needs a user name."));
    }
    if (broker.tls && !broker.caFile.empty() &&
        !QFileInfo(edCaFile->text().trimmed()).isReadable()) {
        return Refuse(-1, edCaFile,
                      QStringLiteral("The CA file %1 cannot be read.").arg(edCaFile->text()));
    }
    if (!broker.topicPrefix.empty()) {
        if (const std::string problem = CheckTopicPrefix(broker.topicPrefix); !problem.empty()) {
            return Refuse(-1, edTopicPrefix, ToQString(problem));
        }
    }
    return true;
}

bool TfrmNetworkDlg::buApplyClick() {
    KeepShownPage();
    std::vector<std::pair<Tchild*, ConnectionOutputs>> outputs;
    bool anyMqtt = false;
    for (int i = 0; i < static_cast<int>(pages_.size()); ++i) {
        ConnectionOutputs read;
        if (!ReadPage(i, read)) {
            return false;
        }
        anyMqtt = anyMqtt || read.mqtt.on;
        outputs.emplace_back(pages_[static_cast<std::size_t>(i)].connection, read);
    }
    BrokerSettings broker;
    if (!ReadBroker(anyMqtt, broker)) {
        return false;
    }
    const std::string problems = hub_.Apply(broker, outputs);
    RefreshStatus();
    if (!problems.empty()) {
        ShowMessageBox(this,
                       QStringLiteral("Not every output could start:\n") + ToQString(problems),
                       kCaption, MessageButtons::Ok, MessageIcon::Warning);
        return false;
    }
    return true;
}

void TfrmNetworkDlg::buOkClick() {
    if (buApplyClick()) {
        accept();
    }
}

void TfrmNetworkDlg::buCaFileClick() {
    const QString chosen = chooseFile_(this, edCaFile->text());
    if (!chosen.isEmpty()) {
        edCaFile->setText(chosen);
    }
}

// ---- Status ----

QString TfrmNetworkDlg::StatusText() const {
    return laStatus->text();
}

void TfrmNetworkDlg::RefreshStatus() {
    if (shownPage_ < 0) {
        laStatus->setText(pages_.empty() ? QStringLiteral("No connection is open.") : QString());
        return;
    }
    laStatus->setText(
        ToQString(hub_.StatusText(*pages_[static_cast<std::size_t>(shownPage_)].connection)));
}

}  // namespace vx
