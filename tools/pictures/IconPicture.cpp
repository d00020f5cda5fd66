#include "tools/pictures/Pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace vx::pictures {
namespace {

// Drawn on a 256-unit square and scaled, so every size comes from one set of shapes; the
// smallest sizes leave out the details that would only blur.
constexpr double kUnits = 256.0;
constexpr double kCentre = 128.0;
constexpr double kRingRadius = 92.0;
constexpr double kSockBearing = 225.0;  // the wind from the north-east blows the sock south-west

const QColor kNightTop(14, 40, 96);
const QColor kNightBottom(4, 12, 34);
const QColor kYellow(255, 255, 0);
const QColor kWhite(255, 255, 255);
const QColor kRed(230, 20, 20);

QPointF AtBearing(double bearing, double radius) {
    const double angle = bearing * M_PI / 180.0;
    return {kCentre + radius * std::sin(angle), kCentre - radius * std::cos(angle)};
}

// A pen no thinner than one pixel at the size drawn, or the smallest icons lose their lines.
QPen LinePen(const QColor& colour, double width, double scale) {
    QPen pen(colour, std::max(width, 1.0 / scale), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    return pen;
}

void DrawTile(QPainter& painter) {
    QLinearGradient gradient(0, 0, 0, kUnits);
    gradient.setColorAt(0.0, kNightTop);
    gradient.setColorAt(1.0, kNightBottom);
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawRoundedRect(QRectF(8, 8, kUnits - 16, kUnits - 16), 40, 40);
}

void DrawRing(QPainter& painter, double scale, bool detailed) {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(LinePen(kYellow, detailed ? 7 : 14, scale));
    painter.drawEllipse(QPointF(kCentre, kCentre), kRingRadius, kRingRadius);
    if (!detailed) {
        return;
    }
    for (int bearing = 0; bearing < 360; bearing += 30) {
        const bool cardinal = bearing % 90 == 0;
        painter.setPen(LinePen(kYellow, cardinal ? 9 : 5, scale));
        painter.drawLine(AtBearing(bearing, cardinal ? 78 : 84), AtBearing(bearing, 104));
    }
}

// One band of the sock: the cone between two distances from the mast, narrowing downwind.
QPolygonF SockBand(double from, double to, double length, double girth) {
    const auto halfWidth = [&](double distance) {
        return girth * (24.0 - 15.0 * distance / length);
    };
    QPolygonF band;
    band << QPointF(from, -halfWidth(from)) << QPointF(to, -halfWidth(to))
         << QPointF(to, halfWidth(to)) << QPointF(from, halfWidth(from));
    return band;
}

// The windsock streams from the hub towards the ring in alternating red and white bands, as
// the windsock page shows the wind.
void DrawSock(QPainter& painter, double scale, bool detailed) {
    constexpr double kLength = 80;
    const int bands = detailed ? 5 : 3;
    // Fatter at the small sizes, where a thin sock shrinks to a few grey pixels.
    const double girth = detailed ? 1.0 : 1.4;
    painter.save();
    painter.translate(kCentre, kCentre);
    painter.rotate(kSockBearing - 90.0);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < bands; ++i) {
        painter.setBrush(i % 2 == 0 ? kRed : kWhite);
        painter.drawPolygon(
            SockBand(kLength * i / bands, kLength * (i + 1) / bands + 0.5, kLength, girth));
    }
    if (detailed) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(LinePen(kNightBottom, 2.5, scale));
        painter.drawPolygon(SockBand(0, kLength, kLength, girth));
    }
    painter.restore();
}

void DrawHub(QPainter& painter, bool detailed) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(kWhite);
    const double radius = detailed ? 12 : 18;
    painter.drawEllipse(QPointF(kCentre, kCentre), radius, radius);
}

}  // namespace

QImage DrawIcon(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const double scale = side / kUnits;
    const bool detailed = side >= 32;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(QTransform::fromScale(scale, scale));
    DrawTile(painter);
    DrawRing(painter, scale, detailed);
    DrawSock(painter, scale, detailed);
    DrawHub(painter, detailed);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace vx::pictures
