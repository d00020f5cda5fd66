// The connection window's own message path, fed packet by packet: which messages reach the
// averages and the alarms, the order in which the views and the averages see a message, the
// averages shown against values computed here from the messages, the 0-539 degree graph axis
// and the output-rate table through the window's rate timer.

#include "connection/Anemometer.h"
#include "connection/TextPanel.h"
#include "tests/connection/ConnectionTestSupport.h"
#include "tests/support/DefaultConnectionHost.h"
#include "widgets/FramePacer.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vx {
namespace {

using conntest::DataOf;
using conntest::GraphOf;
using conntest::StxMessage;

constexpr int kPolarFormat = 1;  // VARN_POLAR_TWO_AXIS  IDMN
constexpr double kPi = 3.141592653589793;

class MessagePath : public ::testing::Test {
protected:
    void SetUp() override { child_ = MakeWindow(); }

    std::unique_ptr<Tchild> MakeWindow() {
        auto child = std::make_unique<Tchild>(host_);
        child->show();
        auto* format = child->findChild<QComboBox*>(QStringLiteral("cbSetOutputFormat"));
        format->setCurrentIndex(kPolarFormat);
        child->findChild<QLineEdit*>(QStringLiteral("edSetName"))->setText(QStringLiteral("Mast"));
        QTest::mouseClick(child->findChild<QPushButton*>(QStringLiteral("buApplySettings")),
                          Qt::LeftButton);
        child->SetUnits(0);
        child->SetDisplayMode(1);
        return child;
    }

    QString Text(const char* name) const {
        auto* panel = child_->findChild<TextPanel*>(QString::fromLatin1(name));
        EXPECT_NE(panel, nullptr) << name;
        return panel != nullptr ? panel->Text() : QString();
    }
    void ShowPage(const char* name) {
        child_->findChild<QTabWidget*>(QStringLiteral("PageControl1"))
            ->setCurrentWidget(child_->findChild<QWidget*>(QString::fromLatin1(name)));
    }
    void Feed(const std::string& body) { Feed(*child_, body); }
    static void Feed(Tchild& child, const std::string& body) {
        child.dpktStringPacket(nullptr, StxMessage(body));
    }
    static void FeedRejected(Tchild& child) {
        std::string broken = StxMessage("Q,90,005.00,M,00");
        broken[broken.size() - 3] = broken[broken.size() - 3] == '0' ? '1' : '0';
        child.dpktStringPacket(nullptr, broken);
    }
    // Two ticks of the rate timer around `count` accepted messages give the window its rate.
    static void SetRateByMessages(Tchild& child, int count) {
        child.tmrOutputRateTimer();
        for (int i = 0; i < count; ++i) {
            Feed(child, "Q,90,005.00,M,00");
        }
        child.tmrOutputRateTimer();
    }

    DefaultConnectionHost host_;
    std::unique_ptr<Tchild> child_;
};

// ---- What reaches the alarms ----

// A message that did not parse (the previous sample again), one out of range (an instrument's
// error value) or one in an unknown unit must neither count towards an alarm that raises the DTR
// line to external equipment, nor reset a count that valid readings built up.
TEST_F(MessagePath, RejectedReadingsNeitherCountNorResetAnAlarm) {
    struct Case {
        const char* what;
        bool above;
        const char* valid;     // fed first and third
        const char* rejected;  // fed second
    };
    const Case cases[] = {
        {"speed above 100 m/s", true, "Q,090,005.00,M,00", "Q,090,999.99,M,00"},
        {"direction 400", true, "Q,090,005.00,M,00", "Q,400,005.00,M,00"},
        {"negative direction", true, "Q,090,005.00,M,00", "Q,-05,005.00,M,00"},
        {"unknown units letter", true, "Q,090,005.00,M,00", "Q,090,005.00,X,00"},
        {"too few fields", true, "Q,090,005.00,M,00", "Q,090,005.00"},
        {"below: error value", false, "Q,090,002.00,M,00", "Q,090,999.99,M,00"},
        {"below: unknown units letter", false, "Q,090,002.00,M,00", "Q,090,002.00,S,00"},
    };
    for (const Case& c : cases) {
        host_.speedAlarms.clear();
        auto child = MakeWindow();
        AlarmSettings settings;
        settings.SpeedAlarmOn = true;
        settings.TriggerAbove = c.above;
        settings.SpeedThreshold = 4.0;
        child->SetAlarmSettings(settings);
        Feed(*child, c.valid);
        Feed(*child, c.rejected);
        EXPECT_TRUE(host_.speedAlarms.empty()) << c.what;
        Feed(*child, c.valid);
        EXPECT_EQ(host_.speedAlarms.size(), 1u) << c.what;
    }
    // Before any known units letter every speed would read 0, below any threshold.
    host_.speedAlarms.clear();
    AlarmSettings below;
    below.SpeedAlarmOn = true;
    below.SpeedThreshold = 4.0;
    child_->SetAlarmSettings(below);
    Feed("Q,090,002.00,S,00");
    Feed("Q,090,002.00,S,00");
    EXPECT_TRUE(host_.speedAlarms.empty());
}

TEST_F(MessagePath, AnOutOfRangeReadingInTheSectorRaisesNoDirectionAlarm) {
    AlarmSettings settings;
    settings.DirectionAlarmOn = true;
    settings.DirectionFrom = 90;
    settings.DirectionTo = 180;
    child_->SetAlarmSettings(settings);
    Feed("Q,135,005.00,M,00");
    Feed("Q,135,150.00,M,00");
    EXPECT_TRUE(host_.directionAlarms.empty());
    Feed("Q,135,005.00,M,00");
    EXPECT_EQ(host_.directionAlarms.size(), 1u);
}

// ---- The averages shown ----

struct Reading {
    double direction;  // degrees
    double speed;      // m/s
};

// The figures the windsock page should show for the readings so far, computed from the
// definitions (plain means over the window, the instrument's compass convention: 0 along -U,
// 90 along +V) without the program's statistics code. At 1 Hz the gust is the mean of the last
// three speeds.
struct Expected {
    double vectorSpeed = 0, scalarSpeed = 0, vectorDirection = 0, scalarDirection = 0;
    double gust = 0, maxGust = 0, minGust = 0;
};

double Compass(double y, double x) {
    const double degrees = std::atan2(y, x) * 180 / kPi;
    return degrees < 0 ? degrees + 360 : degrees;
}

Expected ExpectedFor(const std::vector<Reading>& readings) {
    Expected e;
    if (readings.empty()) {
        return e;
    }
    double u = 0, v = 0, speed = 0, sine = 0, cosine = 0;
    std::vector<double> gusts;
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const double radians = readings[i].direction * kPi / 180;
        u += -readings[i].speed * std::cos(radians);
        v += readings[i].speed * std::sin(radians);
        speed += readings[i].speed;
        sine += std::sin(radians);
        cosine += std::cos(radians);
        const std::size_t first = i >= 2 ? i - 2 : 0;
        double sum = 0;
        for (std::size_t k = first; k <= i; ++k) {
            sum += readings[k].speed;
        }
        gusts.push_back(sum / static_cast<double>(i - first + 1));
    }
    const double n = static_cast<double>(readings.size());
    e.vectorSpeed = std::hypot(u / n, v / n);
    e.scalarSpeed = speed / n;
    e.vectorDirection = Compass(v / n, -u / n);
    e.scalarDirection = Compass(sine / n, cosine / n);
    e.gust = gusts.back();
    e.maxGust = *std::max_element(gusts.begin(), gusts.end());
    e.minGust = *std::min_element(gusts.begin(), gusts.end());
    return e;
}

QString Speed(double value) {
    return QString::number(value, 'f', 2) + QStringLiteral(" m/s");
}

// Each message's refresh shows the averages of the valid readings before it (the views come
// first, then the averages take the new reading), and readings that are not valid never enter
// them.
TEST_F(MessagePath, ShownAveragesAreThoseOfTheValidReadingsBeforeEachMessage) {
    SetRateByMessages(*child_, 5);
    ASSERT_EQ(child_->Wind().OutputRate(), 1);
    child_->SetAveraging(2);
    ShowPage("tsData");  // averaging on: the windsock page is refreshed while hidden too

    struct Message {
        const char* body;
        std::optional<Reading> reading;  // none: not valid
    };
    const Message messages[] = {
        {"Q,350,004.10,M,00", Reading{350, 4.1}}, {"Q,020,006.70,M,00", Reading{20, 6.7}},
        {"Q,090,150.00,M,00", std::nullopt},      {"Q,080,003.30,M,00", Reading{80, 3.3}},
        {"Q,400,005.00,M,00", std::nullopt},      {"Q,100,008.90,M,00", Reading{100, 8.9}},
        {"Q,200,005.00,X,00", std::nullopt},      {"Q,200,002.30,M,00", Reading{200, 2.3}},
        {"Q,270,005.00", std::nullopt},           {"Q,270,012.10,M,00", Reading{270, 12.1}},
        {"Q,-10,005.00,M,00", std::nullopt},      {"Q,330,007.10,M,00", Reading{330, 7.1}},
        {"Q,010,000.60,M,00", Reading{10, 0.6}},
    };
    std::vector<Reading> before;
    bool vector = true;
    for (const Message& m : messages) {
        host_.magAverageVector = vector;
        host_.dirAverageVector = !vector;
        Feed(m.body);
        const Expected e = ExpectedFor(before);
        SCOPED_TRACE(m.body);
        EXPECT_EQ(Text("laAverageWindspeed"), Speed(vector ? e.vectorSpeed : e.scalarSpeed));
        EXPECT_EQ(Text("laAverageDir"),
                  QString::number(vector ? e.scalarDirection : e.vectorDirection, 'f', 1) +
                      QStringLiteral(" deg"));
        EXPECT_EQ(Text("laGust"), Speed(e.gust));
        EXPECT_EQ(Text("laMaxGust"), Speed(e.maxGust));
        EXPECT_EQ(Text("laMinGust"), Speed(e.minGust));
        if (m.reading) {
            before.push_back(*m.reading);
        }
        // The bar takes its value with the next frame.
        FramePacer::Shared().DrawFrame();
        EXPECT_EQ(child_->findChild<QProgressBar*>(QStringLiteral("pbBuildingAvg"))->value(),
                  static_cast<int>(before.size()));
        vector = !vector;
    }
    EXPECT_EQ(before.size(), 8u);
}

// ---- The 0-539 degree axis ----

// With the 0 - 539 axis the direction keeps rising past 360 while the wind swings clockwise
// through north, so the curve does not jump from the top of the chart to the bottom; readings
// that are not valid do not move it.
TEST_F(MessagePath, TheExtendedAxisPlotsDirectionsPast360) {
    child_->SetYScale(20);
    child_->SetDirectionRange(540);
    host_.directionAxis359 = false;
    ShowPage("tsGraph");
    EXPECT_EQ(Text("laDirAxisMax"), "540");
    struct Point {
        const char* direction;
        int plotted;  // trunc(extended direction * 1000 / 540)
    };
    for (const Point& p : {Point{"350", 648}, Point{"010", 685}, Point{"020", 703},
                           Point{"-05", 703}, Point{"400", 703}, Point{"359", 664},
                           Point{"005", 675}, Point{"200", 370}, Point{"100", 185}}) {
        Feed(std::string("Q,") + p.direction + ",010.00,M,00");
        EXPECT_EQ(GraphOf(*child_).LastPlotSecond(), p.plotted) << p.direction;
        EXPECT_EQ(GraphOf(*child_).LastPlotFirst(), 500) << p.direction;
    }
    // The 0 - 359 axis plots the direction itself.
    host_.directionAxis359 = true;
    child_->SetDirectionRange(360);
    Feed("Q,010,010.00,M,00");
    EXPECT_EQ(GraphOf(*child_).LastPlotSecond(), 27);
}

// ---- The output rate ----

// The rate timer's count of one 5 s period against the instrument's rates: just below and just
// above every threshold of the table (a count of n reads n / 5 messages a second).
TEST_F(MessagePath, TheRateTableMapsEveryThresholdThroughTheWindow) {
    struct Row {
        int count;
        double rate;
        const char* text;
    };
    const Row rows[] = {
        {0, 0.25, "0.25"}, {1, 0.25, "0.25"}, {2, 0.5, "0.5"},   {3, 0.5, "0.5"},
        {4, 1, "1"},       {7, 1, "1"},       {8, 2, "2"},       {12, 2, "2"},
        {13, 4, "4"},      {22, 4, "4"},      {23, 5, "5"},      {27, 5, "5"},
        {28, 8, "8"},      {42, 8, "8"},      {43, 10, "10"},    {52, 10, "10"},
        {53, 32, "32"},    {162, 32, "32"},   {163, 40, "40"},   {202, 40, "40"},
        {203, 50, "50"},   {252, 50, "50"},   {253, 100, "100"}, {502, 100, "100"},
        {503, 100, "100"}, {530, 100, "100"},
    };
    for (const Row& row : rows) {
        auto child = MakeWindow();
        SetRateByMessages(*child, row.count);
        EXPECT_EQ(child->Wind().OutputRate(), row.rate) << row.count;
        EXPECT_EQ(child->Wind().GustWindow(), static_cast<int>(row.rate * 3)) << row.count;
        EXPECT_EQ(child->StatusText(1),
                  QStringLiteral("Output Rate: ") + QLatin1String(row.text) + QStringLiteral(" Hz"))
            << row.count;
        EXPECT_TRUE(child->Settled());
    }
}

// Strings that fail the checksum are noise on the line, not messages of the instrument.
TEST_F(MessagePath, RejectedStringsDoNotCountTowardsTheRate) {
    child_->tmrOutputRateTimer();
    for (int i = 0; i < 20; ++i) {
        Feed("Q,90,005.00,M,00");
        FeedRejected(*child_);
        FeedRejected(*child_);
    }
    child_->tmrOutputRateTimer();
    EXPECT_EQ(child_->Wind().OutputRate(), 4);  // 20 in 5 s, not 60
}

}  // namespace
}  // namespace vx
