#pragma once
// A scroll bar that paints itself in bands a few dozen rows high.
//
// Qt's raster painter hands every fill that covers more than about a hundred rows to its global
// thread pool in slices and waits for them: a tall scroll bar's groove, outline and edges are
// three such fills. On a virtual machine each hand-over costs far more than the few thousand
// pixels it fills, and a view that grows with every frame repaints its scroll bar 25 times a
// second. Painted band by band, every fill stays on the painting thread; the pixels are the same.

#include <QImage>
#include <QScrollBar>

namespace vx {

class BandedScrollBar : public QScrollBar {
    Q_OBJECT

public:
    // Fills of more rows than this go to the pool; a band stays well below.
    static constexpr int kBandRows = 64;

    explicit BandedScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    // While a band is painted, the toolkit's own painting of the bar lands in the band.
    QPaintDevice* redirected(QPoint* offset) const override;

private:
    QImage* band_ = nullptr;
    QPoint bandOffset_;
};

}  // namespace vx
