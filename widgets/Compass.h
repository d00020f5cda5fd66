#pragma once
// TCompass: a rose picture scaled to the control with a white needle at a bearing in whole
// degrees. The drawing is a square of side min(width, height) at the top-left corner, in logical
// units of 1400 from the centre to each edge with y growing upward.
//
// With a frame pacer set, a new bearing reaches the screen at the pacer's next frame, and only
// the squares around the old and the new needle are drawn again: the rose behind a needle that
// did not move costs nothing.

#include "widgets/FramePacer.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

class QPainter;

namespace vx {

class TCompass : public QWidget, public PacedView {
    Q_OBJECT

public:
    explicit TCompass(QWidget* owner = nullptr);
    ~TCompass() override;

    int Bearing() const { return bearing_; }
    // 0..359 is stored, anything else ignored; a repaint is requested either way.
    void SetBearing(int bearing);

    // 0 plain, 1 compass points, 2 ship; any other value shows the plain rose and stores 0.
    // Paints at once.
    void SetRose(int rose);
    int GetRose() const { return roseType_; }

    // White by default; a window greys it when the bearing is old.
    void SetNeedleColour(const QColor& colour);
    const QColor& NeedleColour() const { return needleColour_; }

    // The logical end point of the needle at a bearing (1140 units from the centre).
    static QPoint NeedleEnd(int bearing);

    // Maps the painter to the isotropic logical square of this control.
    void SetCoordinateSystem(QPainter& canvas) const;
    void DrawCompassNeedle(QPainter& canvas, int bearing) const;

    // Side of the square drawing in pixels.
    int DrawSide() const;
    // The pixels the needle at a bearing may touch, smoothing included.
    QRect NeedleArea(int bearing) const;

protected:
    virtual void Paint(QPainter& canvas);
    void paintEvent(QPaintEvent* event) override;
    void RefreshView() override;

private:
    static constexpr int kLogicalWidth = 2800;
    static constexpr int kLogicalHeight = -2800;
    static constexpr int kLogicalOriginX = -(kLogicalWidth / 2);
    static constexpr int kLogicalOriginY = -(kLogicalHeight / 2);

    void LoadRose(int rose);
    void FillOutsideSquare(QPainter& canvas) const;
    void DrawRose(QPainter& canvas, const QRect& area);
    const QImage& ScaledRose(int side);

    int bearing_ = 0;
    // The bearing of the needle on screen (or about to be, once a repaint is under way).
    int shownBearing_ = 0;
    QRect paintArea_;  // the part of the control the paint in progress draws
    int roseType_ = 0;
    QColor needleColour_{255, 255, 255};
    // Where the rose is stretched to, in logical units (left, top, right, bottom).
    QRectF drawRect_;
    QImage roseBitmap_;
    // The rose stretched to the current side: a paint then costs one copy, not one stretch.
    QImage scaledRose_;
};

}  // namespace vx
