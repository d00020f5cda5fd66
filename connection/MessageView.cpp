#include "connection/MessageView.h"

#include "widgets/BandedScrollBar.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>

namespace vx {

MessageView::MessageView(QWidget* parent) : QPlainTextEdit(parent) {
    // The bar moves with every batch of lines: it is repainted once a frame.
    setVerticalScrollBar(new BandedScrollBar(Qt::Vertical, this));
}

void MessageView::AppendLines(const QString& lines, int count) {
    QScrollBar* bar = verticalScrollBar();
    const bool fittedBefore = bar->maximum() == 0;
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    const bool wasBlocked = layout->blockSignals(true);
    appendPlainText(lines);
    layout->blockSignals(wasBlocked);
    if (fittedBefore || bar->maximum() == 0) {
        // The text does not fill the view yet: the new lines land below the old ones.
        viewport()->update();
        return;
    }
    // The new lines, and the line above them that was cut by the bottom edge before the view
    // scrolled, with a line to spare.
    const int rows = (count + 2) * fontMetrics().lineSpacing();
    const QRect area = viewport()->rect();
    viewport()->update(QRect(area.left(), area.bottom() + 1 - rows, area.width(), rows));
}

}  // namespace vx
