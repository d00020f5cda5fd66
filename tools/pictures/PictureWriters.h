#pragma once

#include <QImage>
#include <QString>

namespace vx::pictures {

// Writes through libjpeg's compressor; returns false with a reason on failure.
bool WriteJpeg(const QImage& image, const QString& path, int quality, QString* error);

}  // namespace vx::pictures
