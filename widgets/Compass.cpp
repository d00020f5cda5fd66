#include "widgets/Compass.h"

#include "widgets/Pictures.h"

#include <QPaintEvent>
#include <QPainter>

#include <array>
#include <cmath>

namespace vx {
namespace {

constexpr std::array<const char*, 3> kRoseNames{"PLAIN_ROSE", "NSEW_ROSE", "SHIP_ROSE"};
constexpr double kTwoPi = 6.283185307179586;
constexpr double kNeedleLength = 1140.0;
constexpr int kNeedleWidth = 20;
constexpr int kPenWidthAfterNeedle = 3;

}  // namespace

TCompass::TCompass(QWidget* owner) : QWidget(owner) {
    // Every pixel is painted (the rose square, and the palette outside it), so the toolkit
    // need not erase first; erasing would flicker at the rate directions arrive.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(150, 150);
    LoadRose(0);
}

TCompass::~TCompass() = default;

void TCompass::SetBearing(int bearing) {
    if (bearing >= 0 && bearing <= 359) {
        bearing_ = bearing;
    }
    RequestFrame();
}

// Without a pacer every request repaints the control, as each bearing given is to be shown
// afresh; through one, only a needle that moved is drawn again, and only around it.
void TCompass::RefreshView() {
    if (Pacer() == nullptr) {
        update();
        return;
    }
    if (!isVisible() || bearing_ == shownBearing_) {
        return;
    }
    update(NeedleArea(shownBearing_) | NeedleArea(bearing_));
    shownBearing_ = bearing_;
}

QRect TCompass::NeedleArea(int bearing) const {
    const double scale = static_cast<double>(DrawSide()) / kLogicalWidth;
    const QPoint end = NeedleEnd(bearing);
    const QPointF centre(-kLogicalOriginX * scale, kLogicalOriginY * scale);
    const QPointF tip((end.x() - kLogicalOriginX) * scale, (kLogicalOriginY - end.y()) * scale);
    // Half the pen, its round cap, and a pixel of smoothing on every side.
    const double margin = kNeedleWidth * scale / 2 + 2;
    return QRectF(centre, tip)
        .normalized()
        .adjusted(-margin, -margin, margin, margin)
        .toAlignedRect()
        .intersected(rect());
}

void TCompass::SetRose(int rose) {
    if (rose < 0 || rose > 2) {
        rose = 0;
    }
    LoadRose(rose);
    roseType_ = rose;
    repaint();
}

void TCompass::SetNeedleColour(const QColor& colour) {
    if (colour == needleColour_) {
        return;
    }
    needleColour_ = colour;
    update();
}

void TCompass::LoadRose(int rose) {
    roseBitmap_ = LoadRosePicture(QString::fromLatin1(kRoseNames[static_cast<size_t>(rose)]));
    scaledRose_ = QImage();
}

QPoint TCompass::NeedleEnd(int bearing) {
    const double angle = (90 - bearing) * kTwoPi / 360;
    // Truncation toward zero, as every value converted for drawing.
    return QPoint(static_cast<int>(kNeedleLength * std::cos(angle)),
                  static_cast<int>(kNeedleLength * std::sin(angle)));
}

int TCompass::DrawSide() const {
    return std::min(width(), height());
}

void TCompass::SetCoordinateSystem(QPainter& canvas) const {
    const int side = DrawSide();
    canvas.setViewport(0, 0, side, side);
    canvas.setWindow(kLogicalOriginX, kLogicalOriginY, kLogicalWidth, kLogicalHeight);
}

void TCompass::DrawCompassNeedle(QPainter& canvas, int bearing) const {
    const QPoint end = NeedleEnd(bearing);
    QPen pen(needleColour_, kNeedleWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    canvas.setPen(pen);
    canvas.setBrush(needleColour_);
    canvas.drawLine(QPoint(0, 0), end);
    pen.setWidth(kPenWidthAfterNeedle);
    canvas.setPen(pen);
}

void TCompass::paintEvent(QPaintEvent* event) {
    paintArea_ = event->rect();
    if (paintArea_.contains(NeedleArea(bearing_)) &&
        paintArea_.contains(NeedleArea(shownBearing_))) {
        shownBearing_ = bearing_;
    }
    QPainter canvas(this);
    Paint(canvas);
    // A paint asked for from elsewhere draws the whole control.
    paintArea_ = QRect();
}

void TCompass::Paint(QPainter& canvas) {
    FillOutsideSquare(canvas);
    SetCoordinateSystem(canvas);
    drawRect_ = QRectF(QPointF(-(kLogicalWidth / 2), -(kLogicalHeight / 2)),
                       QPointF(kLogicalWidth / 2, kLogicalHeight / 2));
    DrawRose(canvas, paintArea_.isEmpty() ? rect() : paintArea_);
    canvas.setRenderHint(QPainter::Antialiasing, true);
    DrawCompassNeedle(canvas, bearing_);
}

// When the control is not square, the strip beside or below the rose would otherwise show
// whatever was there before; it takes the parent's background colour instead.
void TCompass::FillOutsideSquare(QPainter& canvas) const {
    const int side = DrawSide();
    const QColor background = palette().color(backgroundRole());
    if (width() > side) {
        canvas.fillRect(QRect(side, 0, width() - side, height()), background);
    }
    if (height() > side) {
        canvas.fillRect(QRect(0, side, side, height() - side), background);
    }
}

// Only the part of the picture that is being repainted is copied.
void TCompass::DrawRose(QPainter& canvas, const QRect& area) {
    // The logical rectangle has y upward; in device pixels it is the square itself. Drawing it
    // with the view transform off keeps the picture upright.
    const QRect target = canvas.combinedTransform().mapRect(drawRect_.normalized()).toRect();
    const QImage& rose = ScaledRose(target.width());
    const QRect part = area.intersected(target);
    if (part.isEmpty()) {
        return;
    }
    canvas.save();
    canvas.setViewTransformEnabled(false);
    canvas.setCompositionMode(QPainter::CompositionMode_Source);
    canvas.drawImage(part.topLeft(), rose, part.translated(-target.topLeft()));
    canvas.restore();
}

const QImage& TCompass::ScaledRose(int side) {
    if (side > 0 && scaledRose_.width() != side) {
        scaledRose_ =
            roseBitmap_.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return scaledRose_;
}

}  // namespace vx
