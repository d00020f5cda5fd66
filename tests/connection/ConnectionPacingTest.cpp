// The connection window draws at the frame rate, whatever the message rate: a burst of messages
// between two frames is drawn once, showing the last of them; a value that changes repaints its
// own row and not the labels around it; a minimised window draws nothing and shows the right
// picture when it comes back. Every message still reaches every value.

#include "connection/Anemometer.h"
#include "connection/TextPanel.h"
#include "tests/connection/ConnectionTestSupport.h"
#include "tests/support/DefaultConnectionHost.h"
#include "widgets/FramePacer.h"
#include "widgets/Pgraph.h"
#include "widgets/Varnwindsock.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>

// Readable failure messages for the window texts compared below.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace vx {
namespace {

using conntest::DataOf;
using conntest::GraphOf;
using conntest::StxMessage;

constexpr int kUvFormat = 0;

// Counts the paint events of every widget beneath a window, by name.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* root) : root_(root) { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }

    int Of(const char* name) const {
        const auto found = paints_.find(QString::fromLatin1(name));
        return found == paints_.end() ? 0 : found->second;
    }
    int Total() const {
        int total = 0;
        for (const auto& entry : paints_) {
            total += entry.second;
        }
        return total;
    }
    void Clear() { paints_.clear(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget != nullptr && (widget == root_ || root_->isAncestorOf(widget))) {
                ++paints_[widget->objectName()];
            }
        }
        return false;
    }

private:
    QWidget* root_;
    std::map<QString, int> paints_;
};

// Waits until the program's pacer has drawn its frame and the toolkit has painted it, then a
// little longer, so that a second paint would have come too.
void DrawPendingFrame() {
    ASSERT_TRUE(QTest::qWaitFor([] { return !FramePacer::Shared().FramePending(); }, 10000));
    QTest::qWait(150);
}

struct Burst {
    long long frames = 0;         // frames drawn from the first message of the burst on
    bool withinOneFrame = false;  // the burst took less than a frame interval
};

// Feeds message 0, waits for its frame, then feeds messages 1 to 10 one after another with the
// event loop running between them, as they come from a port at 100 Hz or faster: the burst
// starts just after a frame, so it falls within the next one unless the machine stalls.
Burst FeedBurst(PaintCounter& paints, const std::function<void(int)>& feed) {
    FramePacer& pacer = FramePacer::Shared();
    const long long before = pacer.Frames();
    feed(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pacer.Frames() > before; }, 10000));
    QCoreApplication::processEvents();
    paints.Clear();
    Burst burst;
    const long long start = pacer.Frames();
    QElapsedTimer took;
    took.start();
    for (int i = 1; i <= 10; ++i) {
        feed(i);
        QCoreApplication::processEvents();
    }
    burst.withinOneFrame = took.elapsed() < FramePacer::kFrameIntervalMs / 2;
    DrawPendingFrame();
    burst.frames = pacer.Frames() - start;
    return burst;
}

class ConnectionPacing : public ::testing::Test {
protected:
    void Prepare(QWidget& shown) {
        auto* formats = child_->findChild<QComboBox*>(QStringLiteral("cbSetOutputFormat"));
        formats->setCurrentIndex(kUvFormat);
        child_->buApplySettingsClick();
        child_->SetUnits(0);
        child_->SetDisplayMode(0);
        child_->SetYScale(10);
        child_->SetDirectionRange(360);
        child_->SetAveraging(0);
        shown.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown));
    }
    void ShowPage(const char* name) {
        auto* pages = child_->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
        pages->setCurrentWidget(child_->findChild<QWidget*>(QString::fromLatin1(name)));
    }
    void FeedUv(double u, double v) {
        char body[64];
        std::snprintf(body, sizeof body, "Q,%+07.2f,%+07.2f,M,00", u, v);
        child_->dpktStringPacket(nullptr, StxMessage(body));
    }
    QString Text(const char* name) const {
        return child_->findChild<TextPanel*>(QString::fromLatin1(name))->Text();
    }

    DefaultConnectionHost host_;
    // Declared before the window, so that the window goes first and leaves the frame.
    std::unique_ptr<QMdiArea> frame_;
    std::unique_ptr<Tchild> child_ = std::make_unique<Tchild>(host_);
};

TEST_F(ConnectionPacing, ABurstOfMessagesInOneFrameIsDrawnOnceShowingTheLast) {
    Prepare(*child_);
    ShowPage("tsWindsock");
    FeedUv(1.0, 1.0);
    DrawPendingFrame();
    PaintCounter paints(child_.get());

    Burst burst = FeedBurst(paints, [this](int i) { FeedUv(1.0 + 0.25 * i, -0.5 * i); });
    EXPECT_EQ(child_->Wind().Extremes().maxU, 3.5);
    EXPECT_EQ(Text("paDig1"), "U 3.50 m/s");
    EXPECT_EQ(Text("paDig2"), "V -5.00 m/s");
    EXPECT_EQ(child_->findChild<TVarnWindsock*>()->Bearing(),
              static_cast<int>(child_->Wind().Sample().direction));
    EXPECT_GE(burst.frames, 1);
    if (burst.withinOneFrame) {
        EXPECT_EQ(burst.frames, 1);
    }
    EXPECT_EQ(paints.Of("paDig1"), burst.frames);
    EXPECT_EQ(paints.Of("paDig2"), burst.frames);
    EXPECT_EQ(paints.Of("windsock"), burst.frames);

    // The graph page: one repaint of the chart for the whole burst, every step on it.
    ShowPage("tsGraph");
    DrawPendingFrame();
    auto* chart = child_->findChild<Tpgraph*>(QStringLiteral("pgraph"));
    Tpgraph reference;
    reference.resize(chart->size());
    reference.SetForeColor(chart->ForeColor());
    reference.SetBackColor(chart->BackColor());
    reference.SetAxisColor(chart->AxisColor());
    reference.SetRightYAxislines(false);
    reference.SetGridSize(10);
    reference.SetAxisCentre(true);
    reference.SetScale(1000);
    reference.Reset();
    const auto plot = [&](int i) {
        FeedUv(0.5 * i, -0.25 * i);
        reference.DataPoint(kRed, GraphOf(*child_).LastPlotFirst());
        reference.DataPoint(kBlue, GraphOf(*child_).LastPlotSecond());
        reference.Update();
        reference.Bitmap();
    };
    burst = FeedBurst(paints, plot);
    EXPECT_EQ(GraphOf(*child_).LastPlotFirst(), 500);
    if (burst.withinOneFrame) {
        EXPECT_EQ(burst.frames, 1);
    }
    EXPECT_EQ(paints.Of("pgraph"), burst.frames);
    EXPECT_EQ(chart->grab().toImage().convertToFormat(QImage::Format_RGB32), reference.Bitmap());
}

TEST_F(ConnectionPacing, AChangedValueRepaintsItsRowAndNotTheLabelsAroundIt) {
    Prepare(*child_);
    ShowPage("tsWindsock");
    FeedUv(1.0, 1.0);
    FeedUv(3.0, 1.0);
    DrawPendingFrame();
    PaintCounter paints(child_.get());
    FeedUv(2.0, 1.0);  // between the extremes: only the value changes
    DrawPendingFrame();
    EXPECT_EQ(Text("paDig1"), "U 2.00 m/s");
    EXPECT_EQ(paints.Of("paDig1"), 1);
    EXPECT_EQ(paints.Of("laDig1Max"), 0);
    EXPECT_EQ(paints.Of("laDig1Min"), 0);
    // V did not change at all.
    EXPECT_EQ(paints.Of("paDig2"), 0);
    EXPECT_EQ(paints.Of("laDig2Max"), 0);
}

// Coming back from minimised is no new showing of the window: the chart keeps its curves, and
// what it was given while minimised, never drawn then, is drawn when the window comes back.
TEST_F(ConnectionPacing, AMinimisedWindowDrawsNothingAndShowsItsWholeChartWhenRestored) {
    frame_ = std::make_unique<QMdiArea>();
    frame_->resize(900, 700);
    QMdiSubWindow* sub = frame_->addSubWindow(child_.get());
    Prepare(*frame_);
    sub->resize(693, 500);
    ShowPage("tsGraph");
    auto* chart = child_->findChild<Tpgraph*>(QStringLiteral("pgraph"));
    Tpgraph reference;
    auto feedBoth = [&](double u, double v) {
        FeedUv(u, v);
        reference.DataPoint(kRed, GraphOf(*child_).LastPlotFirst());
        reference.DataPoint(kBlue, GraphOf(*child_).LastPlotSecond());
        reference.Update();
    };
    reference.resize(chart->size());
    reference.SetForeColor(chart->ForeColor());
    reference.SetBackColor(chart->BackColor());
    reference.SetAxisColor(chart->AxisColor());
    reference.SetRightYAxislines(false);
    reference.SetGridSize(10);
    reference.SetAxisCentre(true);
    reference.SetScale(1000);
    reference.Reset();
    feedBoth(1.0, 1.0);
    DrawPendingFrame();
    const QSize chartSize = chart->size();

    sub->showMinimized();
    QTest::qWait(100);
    PaintCounter paints(child_.get());
    // Enough steps to scroll the chart by more than its width.
    for (int i = 0; i < 300; ++i) {
        feedBoth(-4.0 + (i % 80) * 0.1, 3.0 - (i % 50) * 0.12);
    }
    DrawPendingFrame();
    EXPECT_EQ(paints.Total(), 0);
    EXPECT_EQ(child_->Wind().Packets(), 301);
    EXPECT_EQ(Text("paDig1"), "U 1.90 m/s");  // the last message: -4.0 + 59 x 0.1

    sub->showNormal();
    ASSERT_TRUE(QTest::qWaitFor([&] { return paints.Of("pgraph") > 0; }, 10000));
    ASSERT_EQ(chart->size(), chartSize);
    EXPECT_EQ(chart->grab().toImage().convertToFormat(QImage::Format_RGB32), reference.Bitmap());
    for (int i = 0; i < 5; ++i) {
        feedBoth(0.5 * i, 1.0);
    }
    DrawPendingFrame();
    EXPECT_EQ(chart->grab().toImage().convertToFormat(QImage::Format_RGB32), reference.Bitmap());
}

}  // namespace
}  // namespace vx
