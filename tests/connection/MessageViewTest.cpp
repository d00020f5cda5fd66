// The data page's view appends a frame's lines without drawing the whole view again, and shows
// exactly what a plain text view that is drawn in full shows.

#include "connection/MessageView.h"

#include <QPaintEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace vx {
namespace {

class PaintedArea : public QObject {
public:
    explicit PaintedArea(QWidget* widget) { widget->installEventFilter(this); }
    QRegion region;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            region |= static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
};

QStringList Batch(int frame) {
    QStringList lines;
    for (int i = 0; i < 4; ++i) {
        const int n = frame * 4 + i;
        lines << QStringLiteral("Q,+%1.%2,-002.34,M,00\x03")
                         .arg(n % 7, 3, 10, QLatin1Char('0'))
                         .arg(n % 100, 2, 10, QLatin1Char('0')) +
                     QStringLiteral("4A");
    }
    return lines;
}

QImage Shown(QWidget& window) {
    return window.screen()
        ->grabWindow(window.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

void Prepare(QPlainTextEdit& view) {
    view.setReadOnly(true);
    view.setLineWrapMode(QPlainTextEdit::NoWrap);
    view.setUndoRedoEnabled(false);
    view.resize(300, 240);
    view.show();
}

// Filling, scrolling, and emptied as the data page empties it past 500 lines.
TEST(MessageView, ShowsWhatAViewDrawnInFullShowsAndDrawsOnlyTheNewRowsOnceScrolling) {
    MessageView paced;
    QPlainTextEdit plain;
    Prepare(paced);
    Prepare(plain);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&paced));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&plain));
    if (Shown(paced).size() != paced.size()) {
        GTEST_SKIP() << "this platform cannot read back a window";
    }
    int lines = 0;
    for (int frame = 0; frame < 160; ++frame) {
        if (lines > 500) {
            paced.clear();
            plain.clear();
            lines = 0;
        }
        const QStringList batch = Batch(frame);
        PaintedArea painted(paced.viewport());
        const bool scrolling = paced.verticalScrollBar()->maximum() > 0;
        paced.AppendLines(batch.join(QLatin1Char('\n')), static_cast<int>(batch.size()));
        plain.appendPlainText(batch.join(QLatin1Char('\n')));
        lines += static_cast<int>(batch.size());
        QTest::qWait(1);
        QCoreApplication::processEvents();
        ASSERT_EQ(Shown(paced), Shown(plain)) << "frame " << frame;
        if (scrolling && lines > 4) {
            EXPECT_LT(painted.region.boundingRect().height(), paced.viewport()->height() / 2)
                << "frame " << frame;
        }
    }
}

}  // namespace
}  // namespace vx
