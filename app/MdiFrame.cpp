#include "app/MdiFrame.h"

#include <QMdiSubWindow>
#include <QPainter>

#include <algorithm>

namespace vx {

MdiFrame::MdiFrame(QWidget* parent) : QMdiArea(parent) {}

void MdiFrame::SetBackgroundPicture(const QImage& picture) {
    background_ = picture;
    stretched_ = QImage();
    viewport()->update();
}

void MdiFrame::paintEvent(QPaintEvent* event) {
    if (background_.isNull()) {
        QMdiArea::paintEvent(event);
        return;
    }
    // Smooth scaling of the whole picture for every uncovered strip (a window moved, an icon
    // repainted) would cost more than everything else on screen: it is scaled once per size.
    const QSize size = viewport()->size() * viewport()->devicePixelRatio();
    if (stretched_.size() != size) {
        stretched_ = background_.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        stretched_.setDevicePixelRatio(viewport()->devicePixelRatio());
    }
    QPainter painter(viewport());
    painter.drawImage(QPoint(0, 0), stretched_);
}

void MdiFrame::resizeEvent(QResizeEvent* event) {
    QMdiArea::resizeEvent(event);
    // A stretched picture depends on the whole area, not only on the part that was uncovered.
    viewport()->update();
}

void MdiFrame::TileSideBySide() {
    QList<QMdiSubWindow*> columns;
    int iconStrip = 0;
    for (QMdiSubWindow* window : subWindowList(QMdiArea::CreationOrder)) {
        if (window->isHidden()) {
            continue;
        }
        if (window->isMinimized()) {
            iconStrip = std::max(iconStrip, window->height());
            continue;
        }
        columns.append(window);
    }
    if (columns.isEmpty()) {
        return;
    }
    const QRect area = viewport()->rect();
    const int height = std::max(1, area.height() - iconStrip);
    const int count = static_cast<int>(columns.size());
    const int baseWidth = area.width() / count;
    const int extra = area.width() % count;  // the first columns take one pixel more each
    int x = 0;
    for (int i = 0; i < count; ++i) {
        QMdiSubWindow* window = columns[i];
        if (window->isMaximized()) {
            window->showNormal();
        }
        const int width = std::max(1, baseWidth + (i < extra ? 1 : 0));
        window->setGeometry(x, 0, width, height);
        x += width;
    }
}

void KeepInside(QMdiArea& frame, QMdiSubWindow& window) {
    const QRect area = frame.viewport()->rect();
    // A frame not yet shown has no size of its own to go by.
    if (!frame.isVisible() || area.isEmpty() || window.isMinimized() || window.isMaximized()) {
        return;
    }
    QRect geometry = window.geometry();
    geometry.setWidth(std::min(geometry.width(), area.width()));
    geometry.setHeight(std::min(geometry.height(), area.height()));
    geometry.moveLeft(std::clamp(geometry.left(), 0, area.width() - geometry.width()));
    geometry.moveTop(std::clamp(geometry.top(), 0, area.height() - geometry.height()));
    if (geometry != window.geometry()) {
        window.setGeometry(geometry);
    }
}

}  // namespace vx
