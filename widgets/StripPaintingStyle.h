#pragma once
// A style that draws complex controls, such as a scroll bar, in strips of a few dozen rows.
//
// Qt's raster engine splits a fill of more than about 96 rows into pieces for its thread pool
// and waits for them. On a virtual machine those hand-overs between threads cost far more than
// the fill itself, and a text view that scrolls at every frame repaints its full-height scroll
// bar at every frame. Drawn in strips, every fill stays on the painting thread; the pixels are
// the same, since each strip is the same drawing clipped.

#include <QProxyStyle>

namespace vx {

class StripPaintingStyle : public QProxyStyle {
    Q_OBJECT

public:
    static constexpr int kStripRows = 64;

    // Draws like the application's style; goes with `owner`.
    explicit StripPaintingStyle(QObject* owner);

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget = nullptr) const override;
};

}  // namespace vx
