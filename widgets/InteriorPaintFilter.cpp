#include "widgets/InteriorPaintFilter.h"

#include <QMdiSubWindow>
#include <QPaintEvent>

namespace vx {

void InteriorPaintFilter::Install(QMdiSubWindow& window) {
    if (window.findChild<InteriorPaintFilter*>(QString(), Qt::FindDirectChildrenOnly) != nullptr) {
        return;
    }
    window.installEventFilter(new InteriorPaintFilter(&window));
}

bool InteriorPaintFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Paint) {
        return false;
    }
    auto* window = qobject_cast<QMdiSubWindow*>(watched);
    const QWidget* contents = window != nullptr ? window->widget() : nullptr;
    if (contents == nullptr || !contents->isVisible()) {
        return false;
    }
    const QRect changed = static_cast<QPaintEvent*>(event)->region().boundingRect();
    return contents->geometry().contains(changed);
}

}  // namespace vx
