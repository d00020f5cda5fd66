#pragma once
// Drops the paint events of a container that reach only the inside of its contents widget.
//
// A document window paints its frame and title bar, nothing within the widget it holds. But a
// change inside that widget, wherever the widget does not paint its own background, sends the
// window a paint event for the changed area, and the window lays out and draws its whole title
// bar again, clipped away, for each of up to 25 frames a second. Background filling is the
// toolkit's before the event and stays.

#include <QObject>

class QMdiSubWindow;

namespace vx {

class InteriorPaintFilter : public QObject {
    Q_OBJECT

public:
    // Watches `window`; the filter belongs to it.
    static void Install(QMdiSubWindow& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit InteriorPaintFilter(QObject* parent) : QObject(parent) {}
};

}  // namespace vx
