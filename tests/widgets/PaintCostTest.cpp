// Painting for less: a scroll bar painted in bands gives the very picture the toolkit's own
// gives, in every state that moves its slider; a document window leaves paints of its
// interior to the widget it holds but still draws its own frame and title.

#include "widgets/BandedScrollBar.h"
#include "widgets/InteriorPaintFilter.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace vx {
namespace {

QImage Picture(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// What the window holds on screen: the toolkit's own painting, not a fresh rendering.
QImage OnScreen(QWidget& window) {
    return window.screen()
        ->grabWindow(window.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// A bar alone in a coloured window, so that anything the bands leave transparent, or cover
// wrongly, shows. A plain bar in a window of its own shows what the toolkit paints.
struct ShownBar {
    explicit ShownBar(QScrollBar* made, int height) : bar(made) {
        backdrop.setAutoFillBackground(true);
        QPalette palette = backdrop.palette();
        palette.setColor(QPalette::Window, QColor(200, 40, 120));
        backdrop.setPalette(palette);
        backdrop.resize(30, height + 10);
        bar->setParent(&backdrop);
        bar->setGeometry(5, 5, 16, height);
        backdrop.show();
    }
    void Set(int maximum, int pageStep, int value, bool enabled) {
        bar->setRange(0, maximum);
        bar->setPageStep(pageStep);
        bar->setValue(value);
        bar->setEnabled(enabled);
    }
    QImage Shown() {
        QCoreApplication::processEvents();
        return OnScreen(backdrop);
    }
    QWidget backdrop;
    QScrollBar* bar;
};

struct TwoBars {
    explicit TwoBars(int height)
        : plain(new QScrollBar(Qt::Vertical), height),
          banded(new BandedScrollBar(Qt::Vertical), height) {}
    void Set(int maximum, int pageStep, int value, bool enabled) {
        plain.Set(maximum, pageStep, value, enabled);
        banded.Set(maximum, pageStep, value, enabled);
    }
    ShownBar plain;
    ShownBar banded;
};

TEST(BandedScrollBar, ShowsWhatThePlainBarShows) {
    struct Case {
        int height, maximum, pageStep, value;
        bool enabled;
    };
    // Heights below, at and across band edges; a slider at either end, in between, and a
    // bar with nothing to scroll.
    const Case cases[] = {
        {40, 100, 10, 0, true},       {64, 100, 10, 50, true},   {65, 100, 10, 100, true},
        {129, 500, 30, 0, true},      {300, 500, 30, 250, true}, {300, 500, 30, 500, true},
        {417, 10000, 20, 4321, true}, {300, 0, 10, 0, true},     {300, 500, 30, 123, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "height " << c.height << " value " << c.value);
        TwoBars bars(c.height);
        bars.Set(c.maximum, c.pageStep, c.value, c.enabled);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&bars.banded.backdrop));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&bars.plain.backdrop));
        bars.plain.bar->repaint();
        bars.banded.bar->repaint();
        const QImage plain = bars.plain.Shown();
        ASSERT_EQ(plain.size(), QSize(30, c.height + 10));
        EXPECT_TRUE(bars.banded.Shown() == plain);
        // A picture taken of the window, as the screenshot tools take one, shows the same.
        EXPECT_TRUE(Picture(bars.banded.backdrop) == Picture(bars.plain.backdrop));
    }
}

// The slider moves while only part of the bar is repainted, as when the lower half of the bar
// was uncovered: that part shows what the plain bar shows there.
TEST(BandedScrollBar, PartialRepaintsShowWhatThePlainBarShows) {
    TwoBars bars(300);
    bars.Set(500, 40, 200, true);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bars.banded.backdrop));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bars.plain.backdrop));
    for (const QRect& part : {QRect(0, 90, 16, 150), QRect(0, 130, 16, 7), QRect(0, 0, 16, 300)}) {
        SCOPED_TRACE(part.y());
        std::vector<QImage> shown;
        for (ShownBar* one : {&bars.plain, &bars.banded}) {
            one->Shown();
            // Moved without a repaint of its own, then repainted in part only; the screen is
            // taken before the whole bar's pending repaint runs.
            one->bar->setUpdatesEnabled(false);
            one->bar->setValue(one->bar->value() + 37);
            one->bar->setAttribute(Qt::WA_UpdatesDisabled, false);
            one->bar->repaint(part);
            shown.push_back(OnScreen(one->backdrop));
        }
        EXPECT_TRUE(shown[0] == shown[1]);
    }
}

// Paints a half-transparent shade over whatever lies beneath it.
class TranslucentWidget : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0, 0, 0, 90));
    }
};

// Counts the window's own paints.
class CountingSubWindow : public QMdiSubWindow {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        QMdiSubWindow::paintEvent(event);
    }
};

struct DocumentWindow : testing::Test {
    void SetUp() override {
        area.resize(400, 300);
        window = new CountingSubWindow;
        contents = new QWidget;
        window->setWidget(contents);
        window->setWindowTitle(QStringLiteral("Station"));
        area.addSubWindow(window);
        window->setGeometry(10, 10, 300, 200);
        area.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
        QTest::qWait(50);
    }
    // Paints of the window while `change` is brought to the screen.
    int PaintsFor(const std::function<void()>& change) {
        QCoreApplication::processEvents();
        window->paints = 0;
        change();
        QCoreApplication::processEvents();
        return window->paints;
    }

    QMdiArea area;
    CountingSubWindow* window = nullptr;
    QWidget* contents = nullptr;
};

TEST_F(DocumentWindow, ChangesInsideTheContentsLeaveTheWindowUnpainted) {
    InteriorPaintFilter::Install(*window);
    InteriorPaintFilter::Install(*window);  // a second install is no second filter
    EXPECT_EQ(window->findChildren<InteriorPaintFilter*>().size(), 1);
    EXPECT_EQ(PaintsFor([&] { contents->update(10, 10, 50, 20); }), 0);
    EXPECT_EQ(PaintsFor([&] { contents->update(); }), 0);
    // The title bar and frame are the window's own.
    EXPECT_GT(PaintsFor([&] { window->update(); }), 0);
    EXPECT_GT(PaintsFor([&] { window->setWindowTitle(QStringLiteral("Other")); }), 0);
    // A minimised window has no visible contents: its icon is all it shows.
    EXPECT_GT(PaintsFor([&] { window->showMinimized(); }), 0);
}

TEST_F(DocumentWindow, WithoutTheFilterTheWindowPaintsUnderItsContents) {
    // The cost the filter saves is real: the toolkit does paint the window beneath.
    EXPECT_GT(PaintsFor([&] { contents->update(10, 10, 50, 20); }), 0);
}

// Whatever lies under the contents is still laid down before they paint: contents that paint
// translucently over it do not darken with every repaint.
TEST_F(DocumentWindow, TheScreenShowsTheSameAfterManyInteriorPaints) {
    auto* shade = new TranslucentWidget(contents);
    shade->setGeometry(20, 20, 100, 60);
    shade->show();
    InteriorPaintFilter::Install(*window);
    QTest::qWait(50);
    for (int i = 0; i < 5; ++i) {
        shade->repaint();
    }
    const QImage expected = Picture(area);
    const QImage onScreen =
        area.screen()->grabWindow(area.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(onScreen.size(), expected.size());
    const QPoint inside = shade->mapTo(&area, QPoint(50, 30));
    EXPECT_EQ(QColor(onScreen.pixel(inside)), QColor(expected.pixel(inside)));
    EXPECT_TRUE(onScreen == expected);
}

}  // namespace
}  // namespace vx
