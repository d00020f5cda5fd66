#include "tests/widgets/WidgetTestSupport.h"
#include "widgets/Compass.h"
#include "widgets/Varnwindsock.h"

#include <QEvent>
#include <QImage>
#include <QPalette>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace vx {
namespace {

using test::IsWhite;
using test::IsYellow;

QImage Render(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The needle is about one pixel wide at small sizes and drawn smooth, so it may share its light
// between two neighbouring pixels.
bool NeedleAt(const QImage& image, int x, int y) {
    for (int dy = -1; dy <= 0; ++dy) {
        for (int dx = -1; dx <= 0; ++dx) {
            const QRgb p = image.pixel(x + dx, y + dy);
            if (qRed(p) > 110 && qGreen(p) > 110 && qBlue(p) > 110) {
                return true;
            }
        }
    }
    return false;
}

// The pixel of a logical point (1400 units from centre to edge, y upward) in a square of `side`.
QPoint DevicePixel(double x, double y, int side) {
    return QPoint(static_cast<int>((x + 1400) * side / 2800.0),
                  static_cast<int>((1400 - y) * side / 2800.0));
}

struct NeedleCase {
    int bearing;
    QPoint end;
};

class NeedleGeometry : public ::testing::TestWithParam<NeedleCase> {};

TEST_P(NeedleGeometry, EndPointIsTruncatedFromTheBearing) {
    EXPECT_EQ(TCompass::NeedleEnd(GetParam().bearing), GetParam().end);
}

// The needle is drawn from the centre to its end and no further: white along it, not white
// just beyond its tip, and black beside it.
TEST_P(NeedleGeometry, NeedleIsDrawnFromTheCentreToTheEnd) {
    constexpr int kSide = 700;
    TCompass compass;
    compass.resize(kSide, kSide);
    compass.SetBearing(GetParam().bearing);
    const QImage image = Render(compass);
    const QPoint end = GetParam().end;
    const double length = std::hypot(end.x(), end.y());
    const double ux = end.x() / length;
    const double uy = end.y() / length;
    for (double along : {300.0, 700.0, 1100.0}) {
        const QPoint p = DevicePixel(ux * along, uy * along, kSide);
        EXPECT_TRUE(IsWhite(image.pixel(p))) << "at " << along << " units";
    }
    const QPoint beyond = DevicePixel(ux * 1200, uy * 1200, kSide);
    EXPECT_FALSE(IsWhite(image.pixel(beyond)));
    const QPoint beside = DevicePixel(ux * 700 - uy * 60, uy * 700 + ux * 60, kSide);
    EXPECT_EQ(image.pixel(beside), qRgb(0, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(WorkedBearings, NeedleGeometry,
                         ::testing::Values(NeedleCase{0, {0, 1140}}, NeedleCase{90, {1140, 0}},
                                           NeedleCase{180, {0, -1140}}, NeedleCase{270, {-1140, 0}},
                                           NeedleCase{45, {806, 806}}),
                         [](const ::testing::TestParamInfo<NeedleCase>& info) {
                             return "Bearing" + std::to_string(info.param.bearing);
                         });

TEST(Compass, StartsWithThePlainRoseAtBearingZeroAndSize150) {
    TCompass compass;
    EXPECT_EQ(compass.Bearing(), 0);
    EXPECT_EQ(compass.GetRose(), 0);
    EXPECT_EQ(compass.size(), QSize(150, 150));
}

TEST(Compass, BearingsOutsideZeroTo359AreIgnored) {
    TCompass compass;
    compass.SetBearing(123);
    compass.SetBearing(360);
    EXPECT_EQ(compass.Bearing(), 123);
    compass.SetBearing(-1);
    EXPECT_EQ(compass.Bearing(), 123);
    compass.SetBearing(359);
    EXPECT_EQ(compass.Bearing(), 359);
    compass.SetBearing(0);
    EXPECT_EQ(compass.Bearing(), 0);
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

TEST(Compass, IgnoredBearingStillRepaints) {
    TCompass compass;
    compass.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&compass));
    PaintCounter counter;
    compass.installEventFilter(&counter);
    compass.SetBearing(400);
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }, 10000));
}

TEST(Compass, UnknownRoseShowsThePlainRoseAndStoresZero) {
    TCompass plain;
    plain.resize(300, 300);
    const QImage plainImage = Render(plain);
    for (int rose : {3, -1}) {
        TCompass compass;
        compass.resize(300, 300);
        compass.SetRose(2);
        compass.SetRose(rose);
        EXPECT_EQ(compass.GetRose(), 0);
        EXPECT_EQ(Render(compass), plainImage) << "rose " << rose;
    }
}

TEST(Compass, EachRoseShowsItsOwnPicture) {
    QImage images[3];
    for (int rose = 0; rose < 3; ++rose) {
        TCompass compass;
        compass.resize(300, 300);
        compass.SetRose(rose);
        EXPECT_EQ(compass.GetRose(), rose);
        images[rose] = Render(compass);
    }
    EXPECT_NE(images[0], images[1]);
    EXPECT_NE(images[0], images[2]);
    EXPECT_NE(images[1], images[2]);
}

// A wide control draws the square picture in its left part; the rest takes the background.
TEST(Compass, WideControlDrawsSquareAtTheLeft) {
    TCompass compass;
    compass.resize(300, 150);
    compass.SetBearing(0);
    const QImage image = Render(compass);
    // The hub, centred on (75, 75): its radius is 10 pixels at this size; the needle goes up.
    for (QPoint inside : {QPoint(67, 75), QPoint(83, 75), QPoint(75, 83)}) {
        EXPECT_TRUE(IsWhite(image.pixel(inside))) << inside.x() << "," << inside.y();
    }
    EXPECT_TRUE(NeedleAt(image, 75, 40));
    for (QPoint outside : {QPoint(62, 75), QPoint(88, 75), QPoint(75, 88)}) {
        EXPECT_FALSE(IsWhite(image.pixel(outside))) << outside.x() << "," << outside.y();
    }
    // The ring (radius 62.5 pixels) reaches from about x 12 to 138 on the centre row.
    int leftmostYellow = -1;
    int rightmostYellow = -1;
    for (int x = 0; x < 300; ++x) {
        if (IsYellow(image.pixel(x, 75))) {
            rightmostYellow = x;
            if (leftmostYellow < 0) {
                leftmostYellow = x;
            }
        }
    }
    EXPECT_NEAR(leftmostYellow, 12, 3);
    EXPECT_NEAR(rightmostYellow, 137, 3);
    const QRgb background = compass.palette().color(compass.backgroundRole()).rgb();
    for (int x = 150; x < 300; x += 7) {
        for (int y = 0; y < 150; y += 7) {
            ASSERT_EQ(image.pixel(x, y), background) << x << "," << y;
        }
    }
}

TEST(Compass, TallControlDrawsSquareAtTheTop) {
    TCompass compass;
    compass.resize(150, 260);
    const QImage image = Render(compass);
    EXPECT_TRUE(IsWhite(image.pixel(75, 75)));
    const QRgb background = compass.palette().color(compass.backgroundRole()).rgb();
    EXPECT_EQ(image.pixel(75, 200), background);
    EXPECT_EQ(image.pixel(10, 155), background);
}

TEST(Compass, NeedleScalesWithTheControl) {
    TCompass compass;
    compass.resize(150, 150);
    compass.SetBearing(90);
    const QImage image = Render(compass);
    // 1140 units are 61 pixels at this size: the tip ends near x 136, before the label "090".
    EXPECT_TRUE(NeedleAt(image, 130, 75));
    EXPECT_FALSE(NeedleAt(image, 139, 75));
}

TEST(Windsock, DataSampleMovesTheNeedleLikeSetBearing) {
    TVarnWindsock windsock;
    windsock.SetDataSample(271);
    EXPECT_EQ(windsock.Bearing(), 271);
    windsock.SetDataSample(360);
    EXPECT_EQ(windsock.Bearing(), 271);

    TCompass compass;
    compass.SetBearing(271);
    windsock.resize(200, 200);
    compass.resize(200, 200);
    EXPECT_EQ(Render(windsock), Render(compass));
}

// Pictures for a reviewer: each rose with the needle at 45 degrees.
TEST(Windsock, SavesScreenshotsOfEachRose) {
    const char* names[] = {"windsock_plain.png", "windsock_nsew.png", "windsock_ship.png"};
    for (int rose = 0; rose < 3; ++rose) {
        TVarnWindsock windsock;
        windsock.resize(300, 300);
        windsock.SetRose(rose);
        windsock.SetDataSample(45);
        const QImage image = Render(windsock);
        EXPECT_TRUE(IsWhite(image.pixel(DevicePixel(500, 500, 300))));
        EXPECT_TRUE(image.save(test::ScreenshotPath(QString::fromLatin1(names[rose]))));
    }
}

}  // namespace
}  // namespace vx
