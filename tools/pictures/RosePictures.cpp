#include "tools/pictures/Pictures.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <vector>

namespace vx::pictures {
namespace {

constexpr int kSide = 600;
constexpr double kCentre = 300.0;
constexpr double kRingRadius = 250.0;
constexpr double kHubRadius = 40.0;

const QColor kYellow(255, 255, 0);
const QColor kWhite(255, 255, 255);
const QColor kBlue(40, 90, 255);
const QColor kLightBlue(140, 195, 255);
const QColor kRed(230, 20, 20);
const QColor kGreen(20, 200, 40);

// A point at a bearing (0 up, clockwise) and a distance from the centre.
QPointF AtBearing(double bearing, double radius) {
    const double angle = bearing * M_PI / 180.0;
    return {kCentre + radius * std::sin(angle), kCentre - radius * std::cos(angle)};
}

QFont BoldFont(int pixelSize) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

void DrawCentredText(QPainter& painter, QPointF centre, const QString& text, const QFont& font) {
    painter.setFont(font);
    const QRectF box(centre.x() - 100, centre.y() - 50, 200, 100);
    painter.drawText(box, Qt::AlignCenter, text);
}

void DrawRingAndTicks(QPainter& painter) {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kYellow, 3));
    painter.drawEllipse(QPointF(kCentre, kCentre), kRingRadius, kRingRadius);
    for (int bearing = 0; bearing < 360; bearing += 30) {
        const bool cardinal = bearing % 90 == 0;
        const double inner = cardinal ? 218 : 240;
        const double outer = cardinal ? 262 : 259;
        painter.setPen(QPen(kYellow, cardinal ? 4 : 3, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(AtBearing(bearing, inner), AtBearing(bearing, outer));
    }
    // Fine marks every 10 degrees inside the ring help to read the needle between the ticks.
    for (int bearing = 10; bearing < 360; bearing += 10) {
        if (bearing % 30 != 0) {
            painter.setPen(QPen(kYellow, 2, Qt::SolidLine, Qt::FlatCap));
            painter.drawLine(AtBearing(bearing, 243), AtBearing(bearing, 250));
        }
    }
}

// Each label sits just outside the ring, its box clear of the ring and the ticks and inside
// the picture (the labels at 090 and 270 are the tightest fit).
void DrawBearings(QPainter& painter) {
    painter.setPen(kWhite);
    const QFont font = BoldFont(16);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    for (int bearing = 0; bearing < 360; bearing += 30) {
        const QString text = QString::asprintf("%03d", bearing);
        const QRectF ink = metrics.tightBoundingRect(text);
        const double angle = bearing * M_PI / 180.0;
        const double reach = ink.width() / 2 * std::abs(std::sin(angle)) +
                             ink.height() / 2 * std::abs(std::cos(angle));
        const QPointF centre = AtBearing(bearing, 265 + reach);
        painter.drawText(centre - ink.center(), text);
    }
}

void DrawHub(QPainter& painter) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(kWhite);
    painter.drawEllipse(QPointF(kCentre, kCentre), kHubRadius, kHubRadius);
}

void DrawCompassPoints(QPainter& painter) {
    painter.setPen(kBlue);
    const QFont large = BoldFont(60);
    const char* cardinals[] = {"N", "E", "S", "W"};
    for (int i = 0; i < 4; ++i) {
        DrawCentredText(painter, AtBearing(i * 90, 180), QString::fromLatin1(cardinals[i]), large);
    }
    painter.setPen(kLightBlue);
    const QFont small = BoldFont(30);
    const char* intercardinals[] = {"NE", "SE", "SW", "NW"};
    for (int i = 0; i < 4; ++i) {
        DrawCentredText(painter, AtBearing(45 + i * 90, 172),
                        QString::fromLatin1(intercardinals[i]), small);
    }
}

// The hull seen from above, bow up: a pointed bow, full beam amidships and a flat transom.
QPainterPath HullOutline() {
    const double bowY = 72;
    const double sternY = 500;
    const double beam = 92;
    QPainterPath hull;
    hull.moveTo(kCentre, bowY);
    hull.cubicTo(kCentre + 38, bowY + 40, kCentre + beam, bowY + 120, kCentre + beam, 300);
    hull.cubicTo(kCentre + beam, 400, kCentre + beam - 6, 460, kCentre + beam - 22, sternY);
    hull.lineTo(kCentre - beam + 22, sternY);
    hull.cubicTo(kCentre - beam + 6, 460, kCentre - beam, 400, kCentre - beam, 300);
    hull.cubicTo(kCentre - beam, bowY + 120, kCentre - 38, bowY + 40, kCentre, bowY);
    hull.closeSubpath();
    return hull;
}

void DrawShip(QPainter& painter) {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kWhite, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(HullOutline());
    // Port (left) red and starboard (right) green, beside the hub.
    painter.setPen(Qt::NoPen);
    painter.setBrush(kRed);
    painter.drawRect(QRectF(kCentre - 70, 262, 14, 76));
    painter.setBrush(kGreen);
    painter.drawRect(QRectF(kCentre + 56, 262, 14, 76));
}

// The palette of an indexed picture: black, and each colour used at every brightness that
// anti-aliasing over black produces.
QList<QRgb> RosePalette() {
    QList<QRgb> table;
    table.append(qRgb(0, 0, 0));
    const QColor colours[] = {kYellow, kWhite, kBlue, kLightBlue, kRed, kGreen};
    constexpr int kLevels = 42;
    for (const QColor& colour : colours) {
        for (int level = 1; level <= kLevels; ++level) {
            const double f = static_cast<double>(level) / kLevels;
            table.append(qRgb(static_cast<int>(colour.red() * f + 0.5),
                              static_cast<int>(colour.green() * f + 0.5),
                              static_cast<int>(colour.blue() * f + 0.5)));
        }
    }
    return table;
}

}  // namespace

QImage DrawRose(RoseKind kind) {
    QImage image(kSide, kSide, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        if (kind == RoseKind::Ship) {
            DrawShip(painter);
        }
        DrawRingAndTicks(painter);
        DrawBearings(painter);
        if (kind == RoseKind::Nsew) {
            DrawCompassPoints(painter);
        }
        DrawHub(painter);
    }
    return image.convertToFormat(QImage::Format_Indexed8, RosePalette(), Qt::ThresholdDither);
}

}  // namespace vx::pictures
