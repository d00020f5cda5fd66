// ventrix-pictures <folder>: draws the program's pictures into the folder (resources/pictures).

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

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: ventrix-pictures <output folder>\n");
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
    return ok ? 0 : 1;
}
