#include "tests/support/TempFolder.h"
#include "widgets/JpegImage.h"
#include "widgets/Pictures.h"

#include <QFile>

#include <gtest/gtest.h>

#include <string>

namespace vx {
namespace {

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

QByteArray CloudsFile() {
    return ReadFile(QStringLiteral(VX_SOURCE_DIR "/resources/pictures/clouds.jpg"));
}

// Offset of the frame header's height field (after the FFC0..FFC2 marker, length, precision).
int FrameSizeOffset(const QByteArray& jpeg) {
    for (int i = 2; i + 9 < jpeg.size(); ++i) {
        const auto marker = static_cast<unsigned char>(jpeg[i + 1]);
        if (static_cast<unsigned char>(jpeg[i]) == 0xff && marker >= 0xc0 && marker <= 0xc2) {
            return i + 5;
        }
    }
    return -1;
}

void ExpectPictureError(const QByteArray& data, const std::string& expectedPart) {
    try {
        DecodeJpeg(data);
        ADD_FAILURE() << "decoded a bad picture";
    } catch (const PictureError& error) {
        EXPECT_NE(std::string(error.what()).find(expectedPart), std::string::npos) << error.what();
    }
}

TEST(JpegDecoding, StoredPicturesDecodeAtTheirSizes) {
    const QImage background = LoadBackgroundPicture();
    EXPECT_EQ(background.size(), QSize(799, 573));
    EXPECT_EQ(background.format(), QImage::Format_RGB32);
    // Sky above, deep sea below: channels land in their places.
    const QRgb sky = background.pixel(20, 10);
    EXPECT_GT(qBlue(sky), qRed(sky) + 40);
    const QRgb sea = background.pixel(400, 560);
    EXPECT_GT(qBlue(sea), qRed(sea));
    EXPECT_LT(qGray(sea), qGray(sky));

    const QImage banner = LoadBannerPicture();
    EXPECT_EQ(banner.size(), QSize(262, 580));
    EXPECT_GT(qBlue(banner.pixel(5, 5)), qRed(banner.pixel(5, 5)) + 60);
    EXPECT_GT(qRed(banner.pixel(5, 575)), 230);
}

TEST(JpegDecoding, RosesLoadByName) {
    for (const char* name : {"PLAIN_ROSE", "NSEW_ROSE", "SHIP_ROSE"}) {
        const QImage rose = LoadRosePicture(QString::fromLatin1(name));
        EXPECT_EQ(rose.size(), QSize(600, 600)) << name;
        EXPECT_EQ(rose.pixel(5, 595), qRgb(0, 0, 0)) << name;
    }
    EXPECT_THROW(LoadRosePicture(QStringLiteral("ODD_ROSE")), PictureError);
}

TEST(JpegDecoding, TruncatedPictureIsAnError) {
    const QByteArray whole = CloudsFile();
    ExpectPictureError(whole.left(whole.size() / 2), "damaged or incomplete");
    ExpectPictureError(whole.left(300), "");
}

TEST(JpegDecoding, DamagedPictureIsAnError) {
    QByteArray damaged = CloudsFile();
    // Scribble over the tables after the start marker.
    for (int i = 2; i < 120; ++i) {
        damaged[i] = static_cast<char>(0x5a ^ i);
    }
    ExpectPictureError(damaged, "not a readable JPEG");
    ExpectPictureError(QByteArray("GIF89a this is no JPEG at all"), "not a readable JPEG");
    ExpectPictureError(QByteArray(), "empty");
}

TEST(JpegDecoding, CorruptScanDataIsAnError) {
    QByteArray damaged = CloudsFile();
    // Markers in the middle of the entropy-coded data: a restart where none is defined.
    for (int i = damaged.size() / 2; i < damaged.size() / 2 + 64; i += 2) {
        damaged[i] = static_cast<char>(0xff);
        damaged[i + 1] = static_cast<char>(0xd3);
    }
    ExpectPictureError(damaged, "");
}

// A few bytes of header can claim a picture of gigabytes; it is refused before decoding.
TEST(JpegDecoding, HugeDeclaredSizeIsRefusedBeforeDecoding) {
    QByteArray huge = CloudsFile();
    const int at = FrameSizeOffset(huge);
    ASSERT_GT(at, 0);
    const int height = 65496;
    const int width = 65476;
    huge[at] = static_cast<char>(height >> 8);
    huge[at + 1] = static_cast<char>(height & 0xff);
    huge[at + 2] = static_cast<char>(width >> 8);
    huge[at + 3] = static_cast<char>(width & 0xff);
    ExpectPictureError(huge, "65476 by 65496");
    ExpectPictureError(huge.left(254), "");
}

TEST(JpegDecoding, MissingPictureNamesTheFile) {
    try {
        LoadJpegPicture(QStringLiteral("/nonexistent/clouds.jpg"));
        ADD_FAILURE() << "loaded a missing picture";
    } catch (const PictureError& error) {
        EXPECT_NE(std::string(error.what()).find("/nonexistent/clouds.jpg"), std::string::npos);
    }
}

TEST(JpegDecoding, DamagedFileOnDiskNamesTheFile) {
    const test::TempFolder folder;
    const QString path = QString::fromStdString(folder / "half.jpg");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray whole = CloudsFile();
    file.write(whole.left(whole.size() * 3 / 4));
    file.close();
    try {
        LoadJpegPicture(path);
        ADD_FAILURE() << "loaded a truncated picture";
    } catch (const PictureError& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("half.jpg"), std::string::npos) << text;
        EXPECT_NE(text.find("cannot be shown"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace vx
