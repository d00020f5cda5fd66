#pragma once
// Helpers shared by the widget tests: colour tests on pixels and a folder for screenshots that a
// reviewer can look at after a run.

#include <QDir>
#include <QImage>
#include <QString>

namespace vx::test {

inline bool IsWhite(QRgb p) {
    return qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200;
}

inline bool IsYellow(QRgb p) {
    return qRed(p) > 120 && qGreen(p) > 120 && qBlue(p) < 80;
}

inline QString ScreenshotPath(const QString& name) {
    const QString folder = QStringLiteral(VX_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + name;
}

}  // namespace vx::test
