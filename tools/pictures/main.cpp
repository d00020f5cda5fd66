// ventrix-pictures <folder> [<icon folder>]: draws the program's pictures into the folder
// (resources/pictures) and, when given, the application icon at every size of the hicolor
// theme into <icon folder>/<n>x<n>/apps/ (resources/icons/hicolor).

#include "tools/pictures/PictureWriters.h"
#include "tools/pictures/Pictures.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

namespace {

bool SavePng(const QImage& image, const QString& path) {
    if (!image.save(path, "PNG", 9)) {
        std::fprintf(stderr, "ventrix-pictures: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool SaveJpeg(const QImage& image, const QString& path) {
    QString error;
    if (!vx::pictures::WriteJpeg(image, path, 92, &error)) {
        std::fprintf(stderr, "ventrix-pictures: %s\n", qPrintable(error));
        return false;
    }
    return true;
}

// The file name is the application's id, as the desktop entry and the metainfo name it.
bool SaveIcons(const QDir& root) {
    bool ok = true;
    for (int side : vx::pictures::kIconSizes) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(side);
        if (!root.mkpath(folder)) {
            std::fprintf(stderr, "ventrix-pictures: cannot create %s\n",
                         qPrintable(root.filePath(folder)));
            return false;
        }
        ok = SavePng(vx::pictures::DrawIcon(side),
                     root.filePath(folder + QStringLiteral("/" VX_APP_ID ".png"))) &&
             ok;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: ventrix-pictures <output folder> [<icon folder>]\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists()) {
        std::fprintf(stderr, "ventrix-pictures: no folder %s\n", argv[1]);
        return 2;
    }
    using vx::pictures::RoseKind;
    bool ok = SavePng(vx::pictures::DrawRose(RoseKind::Plain), folder.filePath("plain_rose.png"));
    ok = SavePng(vx::pictures::DrawRose(RoseKind::Nsew), folder.filePath("nsew_rose.png")) && ok;
    ok = SavePng(vx::pictures::DrawRose(RoseKind::Ship), folder.filePath("ship_rose.png")) && ok;
    ok = SaveJpeg(vx::pictures::DrawSeascape(), folder.filePath("clouds.jpg")) && ok;
    ok = SaveJpeg(vx::pictures::DrawBanner(), folder.filePath("banner.jpg")) && ok;
    if (argc == 3) {
        ok = SaveIcons(QDir(QString::fromLocal8Bit(argv[2]))) && ok;
    }
    return ok ? 0 : 1;
}
