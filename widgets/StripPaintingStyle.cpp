#include "widgets/StripPaintingStyle.h"

#include <QPainter>
#include <QStyleOption>

#include <algorithm>

namespace vx {

StripPaintingStyle::StripPaintingStyle(QObject* owner) {
    setParent(owner);
}

void StripPaintingStyle::drawComplexControl(ComplexControl control,
                                            const QStyleOptionComplex* option, QPainter* painter,
                                            const QWidget* widget) const {
    const QRect area = option->rect;
    if (area.height() <= kStripRows) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    for (int top = area.top(); top <= area.bottom(); top += kStripRows) {
        painter->save();
        painter->setClipRect(
            QRect(area.left(), top, area.width(), std::min(kStripRows, area.bottom() + 1 - top)),
            Qt::IntersectClip);
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        painter->restore();
    }
}

}  // namespace vx
