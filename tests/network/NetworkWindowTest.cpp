// The network outputs in the running program: the "Network Output" dialog reached from the main
// window's Settings menu, a connection window on a simulated instrument publishing to a real
// broker and sending datagrams, and the dialog refusing what cannot work.

#include "app/Main.h"
#include "app/SettingsStore.h"
#include "app/Startup.h"
#include "connection/Anemometer.h"
#include "network/NetworkHub.h"
#include "network/Networkdlg.h"
#include "network/TcpServer.h"
#include "platform/NumberText.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/network/NetworkTestSupport.h"
#include "tests/support/DefaultConnectionHost.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>

namespace vx {
namespace {

using e2e::BoxRecorder;
using e2e::DialogChoice;
using e2e::PanelText;
using e2e::Program;
using e2e::Sim;
using e2e::WaitFor;
using test::Broker;
using test::JsonNumber;
using test::ParseSentence;
using test::Subscriber;
using test::UdpListener;

constexpr int kWaitMs = 20000;

// The program with a private settings folder and ports folder, and one simulated instrument.
class NetworkWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(ports_.Path().isEmpty()); }

    // A simulated instrument on the port, with `more` options; it replaces the one before.
    bool StartSim(int comNumber, const QStringList& more = {}) {
        sim_.reset();
        sim_ = std::make_unique<Sim>(
            ports_, comNumber,
            QStringList{"--format", "VARN_UV_TWO_AXIS", "--rate", "4", "--baud", "9600"} + more,
            QString::fromStdString(work_ / "sim.log"));
        return sim_->Ready();
    }

    Tchild* Connect(int comNumber, const QString& name) {
        if (!StartSim(comNumber)) {
            return nullptr;
        }
        program_ = std::make_unique<Program>();
        return program_->ConnectThroughDialog(
            {comNumber, QStringLiteral("9600"), QStringLiteral("VARN_UV_TWO_AXIS"), name});
    }

    TfrmNetworkDlg& Dialog() { return *program_->Windows().frmNetworkDlg; }
    NetworkHub& Hub() { return *program_->Windows().networkHub; }

    // Chooses Settings, Network Output... and lets `fill` act on the dialog once its modal loop
    // runs; then OK is pressed (and Cancel if OK was refused).
    void UseNetworkDialog(const std::function<void(TfrmNetworkDlg&)>& fill) {
        TfrmNetworkDlg& dialog = Dialog();
        QTimer driver;
        driver.setInterval(20);
        const int loopLevel = QThread::currentThread()->loopLevel();
        QObject::connect(&driver, &QTimer::timeout, &dialog, [&] {
            if (!dialog.isVisible() || QThread::currentThread()->loopLevel() <= loopLevel) {
                return;
            }
            driver.stop();
            fill(dialog);
            dialog.buOk->click();
            if (dialog.isVisible()) {
                dialog.buCancel->click();
            }
        });
        driver.start();
        program_->Choose("NetworkOutput1");
    }

    test::TempFolder work_{"vx-e2e"};
    test::ScopedEnv config_{"XDG_CONFIG_HOME", work_ / "config"};
    e2e::PortsFolder ports_;
    BoxRecorder boxes_;
    std::unique_ptr<Sim> sim_;
    std::unique_ptr<Program> program_;
};

TEST_F(NetworkWindowTest, SamplesArriveAsJsonWithTheValuesTheConnectionShows) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port(), "test/#");
    ASSERT_TRUE(subscriber.Connected());
    UdpListener listener;
    Tchild* child = Connect(31, QStringLiteral("Mast/top"));
    ASSERT_NE(child, nullptr);
    ASSERT_TRUE(program_->Action("NetworkOutput1")->isEnabled());

    UseNetworkDialog([&](TfrmNetworkDlg& dialog) {
        ASSERT_EQ(dialog.cbConnection->currentText(), "Mast/top");
        dialog.cbNmeaUdp->setChecked(true);
        dialog.edUdpHost->setText(QStringLiteral("127.0.0.1"));
        dialog.edUdpPort->setText(QString::number(listener.Port()));
        dialog.edNmeaRate->setText(QStringLiteral("100"));
        dialog.cbNmeaUnit->setCurrentIndex(1);  // m/s
        dialog.cbMqtt->setChecked(true);
        dialog.edMqttRate->setText(QStringLiteral("100"));
        dialog.edBrokerHost->setText(QStringLiteral("127.0.0.1"));
        dialog.edBrokerPort->setText(QString::number(broker.Port()));
        dialog.edTopicPrefix->setText(QStringLiteral("test/site"));
    });
    EXPECT_TRUE(boxes_.Boxes().empty()) << boxes_.Texts().join(QStringLiteral("; ")).toStdString();
    EXPECT_FALSE(Dialog().isVisible());

    const std::string topic = "test/site/Mast_top";
    ASSERT_TRUE(WaitFor([&] { return subscriber.Last(topic + "/status") == "online"; }, kWaitMs));
    ASSERT_TRUE(WaitFor([&] { return subscriber.On(topic + "/sample").size() >= 6; }, kWaitMs));

    // Statistics carry the sample the connection had then.
    ASSERT_TRUE(WaitFor([&] { return !subscriber.On(topic + "/statistics").empty(); }, kWaitMs));
    const double statisticsSpeed =
        *JsonNumber(subscriber.On(topic + "/statistics").front().payload, "speed");
    const auto published = subscriber.On(topic + "/sample");
    EXPECT_TRUE(std::any_of(published.begin(), published.end(), [&](const auto& sample) {
        return JsonNumber(sample.payload, "speed") == statisticsSpeed;
    })) << statisticsSpeed;

    // The instrument stops: what the connection shows last is what was published last.
    ASSERT_TRUE(sim_->Stop());
    ASSERT_TRUE(
        WaitFor([&] { return subscriber.Last(topic + "/status") == "port lost"; }, kWaitMs));
    const WindSample shown = child->Wind().Sample();
    const std::string last = subscriber.On(topic + "/sample").back().payload;
    EXPECT_DOUBLE_EQ(*JsonNumber(last, "speed"), shown.magnitude);
    EXPECT_DOUBLE_EQ(*JsonNumber(last, "direction"), shown.direction);
    EXPECT_DOUBLE_EQ(*JsonNumber(last, "u"), shown.u);
    EXPECT_DOUBLE_EQ(*JsonNumber(last, "v"), shown.v);
    EXPECT_EQ(PanelText(*child, "paDig1"),
              QString::fromStdString(FormatFixed(*JsonNumber(last, "direction"), 1)) + " deg");

    // The last MWV with a wind in it has the last values; void ones follow while the device is
    // away.
    std::optional<std::string> lastMwv;
    bool voidAfter = false;
    while (const auto datagram = listener.Receive(std::chrono::seconds(5))) {
        if (datagram->compare(0, 6, "$WIMWV") != 0) {
            continue;
        }
        if (ParseSentence(*datagram).fields.back() == "V") {
            voidAfter = lastMwv.has_value();
            break;
        }
        lastMwv = datagram;
    }
    EXPECT_TRUE(voidAfter);
    ASSERT_TRUE(lastMwv);
    const auto fields = ParseSentence(*lastMwv);
    ASSERT_TRUE(fields.checksumOk);
    EXPECT_EQ(fields.fields[3], FormatFixed(shown.magnitude, 2));
    EXPECT_EQ(fields.fields[4], "M");

    // The status line of the dialog tells how the outputs fare.
    Dialog().LoadSettings();
    e2e::Pump(TfrmNetworkDlg::kStatusMs * 2);
    Dialog().cbConnectionChange(0);
    EXPECT_NE(Dialog().StatusText().indexOf(QStringLiteral("MQTT: connected")), -1)
        << Dialog().StatusText().toStdString();

    // Closing the connection takes its outputs down with it (a connection closes once its
    // output rate is known).
    ASSERT_TRUE(WaitFor([&] { return child->Settled(); }, 40000));
    child->parentWidget()->close();
    ASSERT_TRUE(WaitFor([&] { return child->IsClosed(); }, kWaitMs));
    EXPECT_TRUE(WaitFor([&] { return subscriber.Last(topic + "/status") == "offline"; }, kWaitMs));
}

TEST_F(NetworkWindowTest, TheStatusFollowsTheConnectionsLine) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port(), "site/#");
    ASSERT_TRUE(subscriber.Connected());
    Tchild* child = Connect(36, QStringLiteral("North"));
    ASSERT_NE(child, nullptr);
    UseNetworkDialog([&](TfrmNetworkDlg& dialog) {
        dialog.cbMqtt->setChecked(true);
        dialog.edBrokerHost->setText(QStringLiteral("127.0.0.1"));
        dialog.edBrokerPort->setText(QString::number(broker.Port()));
        dialog.edTopicPrefix->setText(QStringLiteral("site"));
    });
    const std::string topic = "site/North/status";
    const auto wentThrough = [&](const std::vector<std::string>& states) {
        return WaitFor(
            [&] {
                const std::vector<std::string> seen = subscriber.States(topic);
                return seen.size() >= states.size() &&
                       std::equal(states.begin(), states.end(), seen.begin());
            },
            60000);
    };
    ASSERT_TRUE(wentThrough({"online"}));

    // The device goes away: its simulator ends and the pseudo-terminal closes.
    ASSERT_TRUE(sim_->Stop());
    ASSERT_TRUE(wentThrough({"online", "port lost"})) << subscriber.Last(topic).value_or("");
    EXPECT_TRUE(child->PortLost());

    // A device on the same port number again, which after a while falls quiet for a while.
    ASSERT_TRUE(StartSim(36, {"--silence-after", "8", "--silence-for", "8"}));
    ASSERT_TRUE(wentThrough({"online", "port lost", "online"}));
    EXPECT_FALSE(child->PortLost());
    ASSERT_TRUE(wentThrough({"online", "port lost", "online", "no data", "online"}))
        << subscriber.Last(topic).value_or("");
    EXPECT_EQ(subscriber.States(topic).size(), 5u);
}

TEST_F(NetworkWindowTest, SettingsAreKeptForTheConnectionsNameAndOnlyTheUserCanReadThem) {
    Tchild* child = Connect(32, QStringLiteral("Bow"));
    ASSERT_NE(child, nullptr);
    UseNetworkDialog([&](TfrmNetworkDlg& dialog) {
        dialog.cbNmeaTcp->setChecked(true);
        dialog.edTcpAddress->setText(QStringLiteral("127.0.0.1"));
        dialog.edTcpPort->setText(QString::number(test::FreePort()));
        dialog.edTcpClients->setText(QStringLiteral("3"));
        dialog.edBrokerHost->setText(QStringLiteral("broker.example.org"));
        dialog.edBrokerUser->setText(QStringLiteral("station"));
        dialog.edBrokerPassword->setText(QStringLiteral("s3cret"));
    });
    ASSERT_TRUE(boxes_.Boxes().empty()) << boxes_.Texts().join(QStringLiteral("; ")).toStdString();
    EXPECT_TRUE(Hub().Outputs(*child)->NmeaRunning());

    const std::string path = SettingsFilePath();
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    const NetworkConfiguration kept = LoadNetworkConfiguration(path);
    EXPECT_EQ(kept.broker.password, "s3cret");
    EXPECT_TRUE(kept.For("Bow").nmea.tcpOn);
    EXPECT_EQ(kept.For("Bow").nmea.maxClients, 3);

    // A new hub (the next run) gives a connection of that name the same outputs.
    DefaultConnectionHost nextHost;
    NetworkHub nextRun(nextHost, path, "station");
    EXPECT_EQ(nextRun.Configuration(), kept);
}

TEST_F(NetworkWindowTest, TheDialogRefusesWhatCannotWorkAndSaysWhy) {
    Tchild* child = Connect(33, QStringLiteral("Mast"));
    ASSERT_NE(child, nullptr);
    TfrmNetworkDlg& dialog = Dialog();
    struct Case {
        std::function<void()> mistake;
        QString said;
        QLineEdit* field;
    };
    const std::vector<Case> cases = {
        {[&] { dialog.cbNmeaUdp->setChecked(true); }, "Enter the host name or address",
         dialog.edUdpHost},
        {[&] {
             dialog.cbNmeaUdp->setChecked(true);
             dialog.edUdpHost->setText(QStringLiteral("my plotter"));
         },
         "\"my plotter\" is not a host name or address", dialog.edUdpHost},
        {[&] {
             dialog.cbNmeaUdp->setChecked(true);
             dialog.edUdpHost->setText(QStringLiteral("plotter.local"));
             dialog.edUdpPort->setText(QStringLiteral("70000"));
         },
         "The UDP port must be a whole number from 1 to 65535.", dialog.edUdpPort},
        {[&] {
             dialog.cbNmeaTcp->setChecked(true);
             dialog.edTcpAddress->setText(QStringLiteral("boat.local"));
         },
         "an address of this computer", dialog.edTcpAddress},
        {[&] { dialog.edTcpClients->setText(QStringLiteral("0")); }, "from 1 to 64",
         dialog.edTcpClients},
        {[&] { dialog.edNmeaRate->setText(QStringLiteral("1,5")); }, "Sentences per second",
         dialog.edNmeaRate},
        {[&] { dialog.edMqttRate->setText(QStringLiteral("101")); }, "Samples per second",
         dialog.edMqttRate},
        {[&] { dialog.cbMqtt->setChecked(true); }, "of the MQTT broker", dialog.edBrokerHost},
        {[&] {
             dialog.edBrokerHost->setText(QStringLiteral("broker"));
             dialog.edBrokerPort->setText(QStringLiteral("x"));
         },
         "The broker's port", dialog.edBrokerPort},
        {[&] { dialog.edBrokerPassword->setText(QStringLiteral("pw")); }, "needs a user name",
         dialog.edBrokerUser},
        {[&] {
             dialog.cbBrokerTls->setChecked(true);
             dialog.edCaFile->setText(QStringLiteral("/nonexistent/ca.pem"));
         },
         "/nonexistent/ca.pem cannot be read", dialog.edCaFile},
        {[&] { dialog.edTopicPrefix->setText(QStringLiteral("site/#")); }, "\"#\"",
         dialog.edTopicPrefix},
    };
    dialog.show();
    for (const Case& c : cases) {
        dialog.LoadSettings();
        boxes_.Clear();
        c.mistake();
        EXPECT_FALSE(dialog.buApplyClick()) << c.said.toStdString();
        ASSERT_EQ(boxes_.Boxes().size(), 1u) << c.said.toStdString();
        EXPECT_NE(boxes_.Boxes()[0].text.indexOf(c.said), -1)
            << boxes_.Boxes()[0].text.toStdString();
        EXPECT_EQ(boxes_.Boxes()[0].caption, "Network Output");
        EXPECT_EQ(dialog.focusWidget(), c.field) << c.said.toStdString();
        // Nothing was applied.
        EXPECT_EQ(Hub().OutputsOf(*child), ConnectionOutputs{});
    }

    // A port that another program holds is told, and the dialog stays for a change.
    TcpServer holder;
    TcpServerOptions options;
    options.port = 0;
    std::string error;
    ASSERT_TRUE(holder.Start(options, error));
    dialog.LoadSettings();
    boxes_.Clear();
    dialog.cbNmeaTcp->setChecked(true);
    dialog.edTcpPort->setText(QString::number(holder.Port()));
    EXPECT_FALSE(dialog.buApplyClick());
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    EXPECT_NE(boxes_.Boxes()[0].text.indexOf(QString::number(holder.Port())), -1)
        << boxes_.Boxes()[0].text.toStdString();
    dialog.hide();
}

}  // namespace
}  // namespace vx
