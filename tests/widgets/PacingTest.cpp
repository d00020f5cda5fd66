// Drawing at the frame rate: the pacer folds many changes into one refresh per view, the chart
// draws the steps recorded since its last drawing together and must give the very picture that
// drawing each step at once gives, and the windsock repaints only around a needle that moved.

#include "tests/widgets/WidgetTestSupport.h"
#include "widgets/FramePacer.h"
#include "widgets/Pgraph.h"
#include "widgets/Varnwindsock.h"

#include <QElapsedTimer>
#include <QPaintEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace vx {
namespace {

// Records the paint events a widget receives.
class PaintLog : public QObject {
public:
    explicit PaintLog(QWidget* widget) { widget->installEventFilter(this); }
    std::vector<QRegion> regions;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            regions.push_back(static_cast<QPaintEvent*>(event)->region());
        }
        return false;
    }
};

// Lets the toolkit deliver what it has queued (paints included) for a while.
void Settle() {
    QTest::qWait(100);
}

class CountingView : public PacedView {
public:
    void Change() { RequestFrame(); }
    int refreshes = 0;

protected:
    void RefreshView() override { ++refreshes; }
};

// ---- The pacer ---------------------------------------------------------------------------------

TEST(FramePacer, ManyRequestsBeforeAFrameRefreshEachViewOnce) {
    FramePacer pacer;
    CountingView a;
    CountingView b;
    a.SetFramePacer(&pacer);
    b.SetFramePacer(&pacer);
    for (int i = 0; i < 50; ++i) {
        a.Change();
        b.Change();
    }
    EXPECT_EQ(a.refreshes, 0);
    ASSERT_TRUE(pacer.FramePending());
    ASSERT_TRUE(QTest::qWaitFor([&] { return a.refreshes > 0; }, 10000));
    EXPECT_EQ(a.refreshes, 1);
    EXPECT_EQ(b.refreshes, 1);
    EXPECT_FALSE(pacer.FramePending());
    EXPECT_EQ(pacer.Frames(), 1);

    // A change right after a frame waits for the next one, then is drawn.
    a.Change();
    EXPECT_EQ(a.refreshes, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return a.refreshes == 2; }, 10000));
    EXPECT_EQ(b.refreshes, 1);
}

TEST(FramePacer, ReportsHowLongAChangeWaitedForItsFrame) {
    FramePacer pacer;
    CountingView view;
    view.SetFramePacer(&pacer);
    pacer.DrawFrame();  // a frame just drawn: the next change waits for the interval
    QElapsedTimer sinceChange;
    sinceChange.start();
    view.Change();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.refreshes == 1; }, 10000));
    const FramePacer::Waits waits = pacer.TakeWaits();
    EXPECT_LE(waits.longestMs, sinceChange.elapsed());
    EXPECT_GE(waits.longestMs, FramePacer::kFrameIntervalMs / 2);
    EXPECT_EQ(waits.meanMs, static_cast<double>(waits.longestMs));
    EXPECT_EQ(pacer.TakeWaits().longestMs, 0);
}

TEST(FramePacer, WithoutAPacerAChangeRefreshesAtOnce) {
    CountingView view;
    view.Change();
    view.Change();
    EXPECT_EQ(view.refreshes, 2);
}

TEST(FramePacer, AViewThatGoesBeforeTheFrameIsLeftOut) {
    FramePacer pacer;
    CountingView stays;
    stays.SetFramePacer(&pacer);
    {
        CountingView goes;
        goes.SetFramePacer(&pacer);
        goes.Change();
    }
    stays.Change();
    pacer.DrawFrame();
    EXPECT_EQ(stays.refreshes, 1);
    EXPECT_FALSE(pacer.FramePending());
}

// ---- The chart: steps drawn together --------------------------------------------------------

struct Batching {
    int width;
    int step;
    bool gridlines;
    bool centred;
    int steps;  // steps before the first look, then as many again in batches of `batch`
    int batch;
};

void Configure(Tpgraph& chart, const Batching& c) {
    chart.resize(c.width, 200);
    chart.SetGridlines(c.gridlines);
    chart.SetAxisCentre(c.centred);
    chart.SetStepSize(c.step);
    chart.SetScale(1000);
    chart.SetGridSize(7);
    chart.Reset();
}

int Wave(int k) {
    return static_cast<int>(400 * std::sin(k * 0.37) + 300 * std::cos(k * 0.11));
}

// Two series and, now and then, a step without points.
void FeedStep(Tpgraph& chart, int k) {
    if (k % 17 != 0) {
        chart.DataPoint(kRed, Wave(k));
        chart.DataPoint(kBlue, (k * 53) % 900 - 300);
    }
    chart.Update();
}

class ChartBatching : public ::testing::TestWithParam<Batching> {};

TEST_P(ChartBatching, StepsDrawnTogetherGiveThePictureOfStepsDrawnOneByOne) {
    const Batching c = GetParam();
    Tpgraph eager;
    Tpgraph lazy;
    Configure(eager, c);
    Configure(lazy, c);
    int k = 0;
    for (; k < c.steps; ++k) {
        FeedStep(eager, k);
        eager.Bitmap();
        FeedStep(lazy, k);
    }
    // The next step's points are already in when the waiting steps are drawn.
    eager.DataPoint(kRed, 123);
    lazy.DataPoint(kRed, 123);
    ASSERT_EQ(lazy.Bitmap(), eager.Bitmap()) << "after " << k << " steps";
    for (int end = k + c.steps; k < end;) {
        for (int i = 0; i < c.batch; ++i, ++k) {
            FeedStep(eager, k);
            eager.Bitmap();
            FeedStep(lazy, k);
        }
        ASSERT_EQ(lazy.Bitmap(), eager.Bitmap()) << "after " << k << " steps";
    }
    EXPECT_EQ(lazy.Scrolling(), eager.Scrolling());
    // A change of settings replays from the history with the grid where live drawing left it.
    FeedStep(eager, k);
    eager.Bitmap();
    FeedStep(lazy, k);
    eager.SetGridSize(5);
    lazy.SetGridSize(5);
    EXPECT_EQ(lazy.Bitmap(), eager.Bitmap());
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ChartBatching,
    ::testing::Values(
        // The connection's chart: fills, then scrolls; batches of a frame at 100 Hz.
        Batching{609, 5, true, true, 150, 4},
        // Width leaving two columns over the last band (the oldest visible band's start then
        // lies in the slot of the step in progress).
        Batching{608, 5, true, false, 300, 130},
        // More steps waiting than the chart shows (a window minimised for a while).
        Batching{203, 5, true, true, 45, 500}, Batching{97, 3, false, false, 20, 77},
        // Bands wider than the grid spacing, and narrower than a pixel of grid.
        Batching{250, 40, true, true, 3, 9}, Batching{120, 1, true, false, 200, 350},
        // A chart narrower than one band.
        Batching{4, 5, true, true, 5, 7}),
    [](const ::testing::TestParamInfo<Batching>& info) {
        const Batching& c = info.param;
        return "W" + std::to_string(c.width) + "Step" + std::to_string(c.step) + "Batch" +
               std::to_string(c.batch);
    });

TEST(ChartPacing, ResizeWithStepsWaitingDrawsThemAtTheOldSizeFirst) {
    Batching c{609, 5, true, true, 0, 0};
    Tpgraph eager;
    Tpgraph lazy;
    Configure(eager, c);
    Configure(lazy, c);
    for (int k = 0; k < 200; ++k) {
        FeedStep(eager, k);
        eager.Bitmap();
        FeedStep(lazy, k);
    }
    eager.resize(409, 200);
    lazy.resize(409, 200);
    for (int k = 200; k < 230; ++k) {
        FeedStep(eager, k);
        eager.Bitmap();
        FeedStep(lazy, k);
    }
    EXPECT_EQ(lazy.Bitmap(), eager.Bitmap());
}

// Shown through a pacer, a chart is painted once per frame, not once per step; hidden, it is not
// painted at all and shows the whole picture when it comes back.
TEST(ChartPacing, AHiddenChartDrawsNothingAndShowsTheRightPictureWhenShown) {
    FramePacer pacer;
    Batching c{609, 5, true, true, 0, 0};
    QWidget window;
    window.resize(609, 200);
    auto* chart = new Tpgraph(&window);
    Configure(*chart, c);
    chart->SetFramePacer(&pacer);
    Tpgraph reference;
    Configure(reference, c);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Settle();
    PaintLog paints(chart);

    for (int k = 0; k < 30; ++k) {
        FeedStep(*chart, k);
        FeedStep(reference, k);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !paints.regions.empty(); }, 10000));
    Settle();
    EXPECT_EQ(paints.regions.size(), 1u);
    // Not yet scrolling: only the new bands' columns are painted.
    EXPECT_LT(paints.regions.front().boundingRect().width(), 30 * 5 + 2);

    chart->hide();
    paints.regions.clear();
    for (int k = 30; k < 400; ++k) {
        FeedStep(*chart, k);
        FeedStep(reference, k);
    }
    pacer.DrawFrame();
    Settle();
    EXPECT_TRUE(paints.regions.empty());

    chart->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !paints.regions.empty(); }, 10000));
    EXPECT_EQ(chart->grab().toImage().convertToFormat(QImage::Format_RGB32), reference.Bitmap());
}

// ---- The windsock through a pacer -------------------------------------------------------------

class PacedWindsock : public ::testing::Test {
protected:
    void SetUp() override {
        windsock_.resize(300, 300);
        windsock_.SetRose(1);
        windsock_.SetFramePacer(&pacer_);
        windsock_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&windsock_));
        Settle();
    }

    FramePacer pacer_;
    TVarnWindsock windsock_;
};

TEST_F(PacedWindsock, ANeedleThatDidNotMoveCostsNoPaint) {
    windsock_.SetDataSample(40);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pacer_.FramePending(); }, 10000));
    Settle();
    PaintLog paints(&windsock_);
    for (int i = 0; i < 10; ++i) {
        windsock_.SetDataSample(40);
        windsock_.SetDataSample(400);  // ignored: the needle stays
    }
    pacer_.DrawFrame();
    Settle();
    EXPECT_TRUE(paints.regions.empty());
}

TEST_F(PacedWindsock, AMovedNeedleRepaintsOnlyAroundOldAndNewNeedleAndLooksAsAFullPaint) {
    windsock_.SetDataSample(10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pacer_.FramePending(); }, 10000));
    Settle();
    PaintLog paints(&windsock_);
    for (int bearing : {15, 20, 25, 30}) {
        windsock_.SetDataSample(bearing);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !paints.regions.empty(); }, 10000));
    Settle();
    ASSERT_EQ(paints.regions.size(), 1u);
    const QRegion expected = windsock_.NeedleArea(10) | windsock_.NeedleArea(30);
    EXPECT_TRUE(expected.contains(paints.regions.front().boundingRect()));
    EXPECT_LT(paints.regions.front().boundingRect().width(), 150);

    // What the screen shows after the partial repaint is what a whole paint draws.
    TVarnWindsock fresh;
    fresh.resize(300, 300);
    fresh.SetRose(1);
    fresh.SetDataSample(30);
    QImage screen = windsock_.screen()->grabWindow(windsock_.winId()).toImage();
    if (screen.size() != windsock_.size()) {
        GTEST_SKIP() << "this platform cannot read back the window";
    }
    EXPECT_EQ(screen.convertToFormat(QImage::Format_RGB32),
              fresh.grab().toImage().convertToFormat(QImage::Format_RGB32));
}

}  // namespace
}  // namespace vx
