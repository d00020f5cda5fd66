// The whole program with instruments that fall quiet and go away: the no-data alarm with its
// beep and DTR line, and the main window's word on every connection in trouble.

#include "alarm/Alarm.h"
#include "app/Main.h"
#include "app/PanelStatusBar.h"
#include "app/Startup.h"
#include "connection/Anemometer.h"
#include "platform/SerialDevice.h"
#include "tests/alarm/DtrRecordingDevice.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/PseudoTerminal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <ostream>

// Readable failure messages for the window texts compared below.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace vx::e2e {
namespace {

using ::testing::ElementsAre;

constexpr int kWaitMs = 20000;
constexpr int kLinkPanel = 3;
constexpr int kAlarmLinePort = 20;

class EndToEndField : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(ports_.Path().isEmpty());
        // The alarm line is a pseudo-terminal behind a double that records DTR (a
        // pseudo-terminal has no modem lines of its own).
        const QString link = ports_.Path() + QStringLiteral("/COM%1").arg(kAlarmLinePort);
        QFile::remove(link);
        ASSERT_EQ(::symlink(alarmLine_.SlavePath().c_str(), link.toLocal8Bit().constData()), 0);
        previousFactory_ = SetSerialDeviceFactory(
            [this] { return std::make_unique<DtrRecordingDevice>(lineRecord_); });
    }
    void TearDown() override {
        program_.reset();
        SetSerialDeviceFactory(std::move(previousFactory_));
    }

    std::unique_ptr<Sim> StartSim(int comNumber, const QStringList& arguments) {
        auto sim = std::make_unique<Sim>(ports_, comNumber, arguments,
                                         QString::fromStdString(work_ / "sim.log"));
        EXPECT_TRUE(sim->Ready()) << sim->Banner().toStdString();
        return sim;
    }

    PanelStatusBar& StatusBar() { return program_->Parent().StatusBar(); }

    void ArmNoDataAlarm(const QString& seconds) {
        TfrmAlarm& alarm = *program_->Windows().frmAlarm;
        program_->Choose("Alarm1");
        ASSERT_TRUE(WaitFor([&] { return alarm.isVisible(); }, 5000));
        alarm.edWindSpeedThreshold->setText(QStringLiteral("0.00"));
        alarm.cbEnableNoData->setChecked(true);
        alarm.edNoDataSeconds->setText(seconds);
        alarm.cbSpeaker->setChecked(true);
        alarm.cbDtr->setChecked(true);
        alarm.cbPort->setEditText(QStringLiteral("COM%1").arg(kAlarmLinePort));
        alarm.SetBeep([this] { ++beeps_; });
        alarm.Button1->click();
        ASSERT_EQ(StatusBar().PanelText(0), "Alarm Status: Armed")
            << boxes_.Texts().join("|").toStdString();
        ASSERT_TRUE(alarm.UsesPort(kAlarmLinePort));
    }

    test::TempFolder work_{"vx-e2e"};
    test::ScopedEnv config_{"XDG_CONFIG_HOME", work_ / "config"};
    PortsFolder ports_;
    BoxRecorder boxes_;
    test::PseudoTerminal alarmLine_;
    LineRecord lineRecord_{alarmLine_.SlavePath()};
    SerialDeviceFactory previousFactory_;
    int beeps_ = 0;
    std::unique_ptr<Program> program_;
};

TEST_F(EndToEndField, AQuietInstrumentRaisesTheNoDataAlarmOnTheLineAndAGoneOneIsNamed) {
    // Talking, then quiet from 4 s to 10 s, then talking again.
    auto sim = StartSim(11, {"--rate", "4", "--silence-after", "4", "--silence-for", "6"});
    program_ = std::make_unique<Program>();
    Tchild* child = program_->ConnectThroughDialog({11, QStringLiteral("9600"), {}, {}});
    ASSERT_NE(child, nullptr) << boxes_.Texts().join("|").toStdString();
    EXPECT_EQ(StatusBar().PanelText(kLinkPanel), "");
    ArmNoDataAlarm(QStringLiteral("2"));
    lineRecord_.Clear();

    const QString raised = "No data alarm triggered by Anemometer 1 - click here to reset";
    ASSERT_TRUE(WaitFor([&] { return StatusBar().PanelText(0) == raised; }, kWaitMs))
        << StatusBar().PanelText(0).toStdString();
    EXPECT_EQ(StatusBar().Colour(), QColor(255, 0, 0));
    EXPECT_THAT(lineRecord_.Events(), ElementsAre("dtr on"));
    EXPECT_EQ(beeps_, 1);
    EXPECT_TRUE(WaitFor(
        [&] { return StatusBar().PanelText(kLinkPanel) == "No data: Anemometer 1"; }, kWaitMs))
        << StatusBar().PanelText(kLinkPanel).toStdString();

    // Talking again: the main window's word goes; the alarm stays until it is reset.
    ASSERT_TRUE(WaitFor([&] { return StatusBar().PanelText(kLinkPanel).isEmpty(); }, kWaitMs));
    EXPECT_EQ(StatusBar().PanelText(0), raised);
    QTest::mouseClick(&StatusBar(), Qt::LeftButton);
    EXPECT_EQ(StatusBar().PanelText(0), "Alarm Status: Armed");
    EXPECT_THAT(lineRecord_.Events(), ElementsAre("dtr on", "dtr off"));
    Pump(3000);  // data flows: nothing to raise
    EXPECT_EQ(StatusBar().PanelText(0), "Alarm Status: Armed");

    // Gone: named in the main window, and as quiet as a silent instrument.
    sim->Stop();
    ASSERT_TRUE(WaitFor(
        [&] { return StatusBar().PanelText(kLinkPanel) == "Port lost: Anemometer 1"; }, kWaitMs))
        << StatusBar().PanelText(kLinkPanel).toStdString();
    EXPECT_TRUE(child->PortLost());
    ASSERT_TRUE(WaitFor([&] { return StatusBar().PanelText(0) == raised; }, kWaitMs));
    EXPECT_THAT(lineRecord_.Events(), ElementsAre("dtr on", "dtr off", "dtr on"));

    // Back under the same number: the word goes again.
    sim = StartSim(11, {"--rate", "4"});
    ASSERT_TRUE(WaitFor([&] { return StatusBar().PanelText(kLinkPanel).isEmpty(); }, kWaitMs))
        << StatusBar().PanelText(kLinkPanel).toStdString();
    EXPECT_FALSE(child->PortLost());
    EXPECT_TRUE(boxes_.Boxes().empty()) << boxes_.Texts().join("|").toStdString();
}

}  // namespace
}  // namespace vx::e2e
