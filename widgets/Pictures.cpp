#include "widgets/Pictures.h"

#include "resources/Resources.h"

#include <QFile>

#include <array>

namespace vx {
namespace {

struct RoseEntry {
    const char* name;
    const char* path;
};

constexpr std::array<RoseEntry, 3> kRoses{{
    {"PLAIN_ROSE", ":/pictures/plain_rose.png"},
    {"NSEW_ROSE", ":/pictures/nsew_rose.png"},
    {"SHIP_ROSE", ":/pictures/ship_rose.png"},
}};

}  // namespace

QImage LoadRosePicture(const QString& name) {
    InitPictureResources();
    for (const RoseEntry& entry : kRoses) {
        if (name == QLatin1String(entry.name)) {
            QImage picture(QString::fromLatin1(entry.path));
            if (picture.isNull()) {
                throw PictureError("The rose picture " + name.toStdString() +
                                   " is missing from the program.");
            }
            return picture.convertToFormat(QImage::Format_RGB32);
        }
    }
    throw PictureError("There is no rose picture named " + name.toStdString() + ".");
}

QImage LoadJpegPicture(const QString& path) {
    InitPictureResources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw PictureError("The picture " + path.toStdString() +
                           " cannot be read: " + file.errorString().toStdString() + ".");
    }
    // The largest picture accepted is far below this; a bigger file is not one of ours.
    constexpr qint64 kMaxFileBytes = 64LL * 1024 * 1024;
    if (file.size() > kMaxFileBytes) {
        throw PictureError("The picture " + path.toStdString() + " is too large.");
    }
    const QByteArray data = file.readAll();
    try {
        return DecodeJpeg(data);
    } catch (const PictureError& error) {
        throw PictureError("The picture " + path.toStdString() +
                           " cannot be shown: " + error.what() + ".");
    }
}

QImage LoadBackgroundPicture() {
    return LoadJpegPicture(QStringLiteral(":/pictures/clouds.jpg"));
}

QImage LoadBannerPicture() {
    return LoadJpegPicture(QStringLiteral(":/pictures/banner.jpg"));
}

}  // namespace vx
