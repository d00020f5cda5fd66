#include "widgets/BandedScrollBar.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace vx {

BandedScrollBar::BandedScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {}

void BandedScrollBar::paintEvent(QPaintEvent* event) {
    const QRect area = event->rect();
    // Rendered through a painter (a picture of the window being taken), the bar's own painter
    // joins that one and ignores a band: it paints straight into the picture.
    if (area.height() <= kBandRows || sharedPainter() != nullptr) {
        QScrollBar::paintEvent(event);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const int bandRows = std::max(1, static_cast<int>(std::floor(kBandRows / ratio)));
    QImage band;
    for (int top = area.top() / bandRows * bandRows; top <= area.bottom(); top += bandRows) {
        const QRect rows(area.left(), top, area.width(), bandRows);
        const QSize pixels(static_cast<int>(std::ceil(rows.width() * ratio)),
                           static_cast<int>(std::ceil(rows.height() * ratio)));
        if (band.size() != pixels) {
            band = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
            band.setDevicePixelRatio(ratio);
        }
        // What the bar paints goes over what lies beneath it, as it would straight on screen.
        band.fill(Qt::transparent);
        band_ = &band;
        bandOffset_ = rows.topLeft();
        QScrollBar::paintEvent(event);
        band_ = nullptr;
        // One painter at a time on a widget: this one begins after the bar's own has ended.
        QPainter painter(this);
        painter.drawImage(rows.topLeft(), band);
    }
}

QPaintDevice* BandedScrollBar::redirected(QPoint* offset) const {
    if (band_ == nullptr) {
        return QScrollBar::redirected(offset);
    }
    if (offset != nullptr) {
        *offset = bandOffset_;
    }
    return band_;
}

}  // namespace vx
