#include "tools/pictures/Pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace vx::pictures {
namespace {

constexpr int kWidth = 262;
constexpr int kHeight = 580;

void DrawGradient(QPainter& painter) {
    QLinearGradient gradient(0, 0, 0, kHeight);
    gradient.setColorAt(0.0, QColor(10, 52, 128));
    gradient.setColorAt(0.45, QColor(70, 130, 200));
    gradient.setColorAt(1.0, QColor(255, 255, 255));
    painter.fillRect(QRect(0, 0, kWidth, kHeight), gradient);
}

// The emblem: a ring with three wind streaks passing through it, the top one ending in an
// arrow head.
void DrawEmblem(QPainter& painter, QPointF centre, double radius) {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 255, 235), 5));
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(QPen(QColor(255, 255, 255), 6, Qt::SolidLine, Qt::RoundCap));
    const double offsets[] = {-0.38, 0.0, 0.38};
    const double lengths[] = {1.15, 1.35, 0.95};
    for (int i = 0; i < 3; ++i) {
        const double y = centre.y() + offsets[i] * radius;
        const double half = lengths[i] * radius;
        QPainterPath streak;
        streak.moveTo(centre.x() - half, y + 6);
        streak.cubicTo(centre.x() - half / 3, y - 10, centre.x() + half / 3, y + 10,
                       centre.x() + half, y - 4);
        painter.drawPath(streak);
    }
    // Arrow head on the middle streak, pointing downwind along the streak's end.
    const double half = lengths[1] * radius;
    const QPointF end(centre.x() + half, centre.y() - 4);
    const QPointF control(centre.x() + half / 3, centre.y() + 10);
    const double direction = std::atan2(end.y() - control.y(), end.x() - control.x());
    const auto along = [&](double forward, double sideways) {
        return end + QPointF(forward * std::cos(direction) - sideways * std::sin(direction),
                             forward * std::sin(direction) + sideways * std::cos(direction));
    };
    QPainterPath head;
    head.moveTo(along(9, 0));
    head.lineTo(along(-9, -10));
    head.lineTo(along(-5, 0));
    head.lineTo(along(-9, 10));
    head.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255));
    painter.drawPath(head);
}

void DrawName(QPainter& painter, double baseline) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(46);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    painter.setFont(font);
    const QRectF box(0, baseline - 50, kWidth, 60);
    painter.setPen(QColor(0, 25, 70, 110));
    painter.drawText(box.translated(2, 2), Qt::AlignHCenter | Qt::AlignBottom,
                     QStringLiteral("Ventrix"));
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(box, Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("Ventrix"));

    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(14);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 2.5);
    painter.setFont(small);
    painter.setPen(QColor(225, 238, 255));
    painter.drawText(QRectF(0, baseline + 8, kWidth, 22), Qt::AlignHCenter,
                     QStringLiteral("WIND INSTRUMENTS"));
}

// Faint contour lines at the foot, like isobars on a chart.
void DrawContours(QPainter& painter) {
    for (int i = 0; i < 7; ++i) {
        QPainterPath line;
        const double base = 400 + i * 24;
        line.moveTo(-10, base);
        for (int x = -10; x <= kWidth + 10; x += 6) {
            line.lineTo(x, base + 9 * std::sin((x + i * 37) / 41.0) + 5 * std::sin(x / 17.0 + i));
        }
        painter.setPen(QPen(QColor(40, 100, 180, 38 + i * 4), 1.6));
        painter.drawPath(line);
    }
}

}  // namespace

QImage DrawBanner() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    DrawGradient(painter);
    DrawContours(painter);
    DrawEmblem(painter, QPointF(kWidth / 2.0, 118), 58);
    DrawName(painter, 250);
    painter.end();
    return image;
}

}  // namespace vx::pictures
