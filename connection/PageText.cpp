#include "connection/PageText.h"

#include "connection/TextPanel.h"
#include "platform/QtText.h"

#include <QFont>

#include <algorithm>
#include <cmath>

namespace vx {

namespace {

constexpr int kEdgeLabelPixels = 13;

}  // namespace

int TruncateShown(double value) {
    constexpr double kLimit = 1e9;
    if (std::isnan(value)) {
        return 0;
    }
    return static_cast<int>(std::clamp(value, -kLimit, kLimit));
}

QString ShownSpeedText(double shown, const QString& unitText) {
    return FixedText(shown, 2) + QLatin1Char(' ') + unitText;
}

QFont EdgeLabelFont() {
    return ValueFont(kEdgeLabelPixels, false);
}

}  // namespace vx
