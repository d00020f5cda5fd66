#include "widgets/PixelCanvas.h"

#include <QImage>

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace vx {
namespace {

constexpr QRgb kInk = 0xffff0000;
constexpr QRgb kPaper = 0xff000000;

QImage Blank(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kPaper);
    return image;
}

std::vector<QPoint> Inked(const QImage& image) {
    std::vector<QPoint> points;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == kInk) {
                points.emplace_back(x, y);
            }
        }
    }
    return points;
}

TEST(PixelCanvas, RectangleCoversLeftTopButNotRightBottom) {
    QImage image = Blank(10, 10);
    PixelCanvas(image).FillRect(2, 3, 5, 4, kInk);
    EXPECT_EQ(Inked(image), (std::vector<QPoint>{{2, 3}, {3, 3}, {4, 3}}));
    PixelCanvas(image).FillRect(-100, -100, -1, 100, kInk);
    PixelCanvas(image).FillRect(7, 7, 7, 9, kInk);
    EXPECT_EQ(Inked(image).size(), 3u);
}

TEST(PixelCanvas, LineColoursItsStartAndNotItsEnd) {
    QImage image = Blank(10, 10);
    PixelCanvas(image).Line(1, 1, 5, 1, kInk);
    EXPECT_EQ(Inked(image), (std::vector<QPoint>{{1, 1}, {2, 1}, {3, 1}, {4, 1}}));

    image = Blank(10, 10);
    PixelCanvas(image).Line(3, 8, 3, 4, kInk);
    EXPECT_EQ(Inked(image), (std::vector<QPoint>{{3, 5}, {3, 6}, {3, 7}, {3, 8}}));

    image = Blank(10, 10);
    PixelCanvas(image).Line(4, 4, 4, 4, kInk);
    EXPECT_TRUE(Inked(image).empty());
}

TEST(PixelCanvas, SlopedLineHasOnePixelPerColumn) {
    QImage image = Blank(20, 20);
    PixelCanvas(image).Line(2, 10, 7, 0, kInk);
    // Steep: one pixel per row from 10 down to 1, walking from column 2 towards 7.
    const auto points = Inked(image);
    ASSERT_EQ(points.size(), 10u);
    EXPECT_EQ(points.back(), QPoint(2, 10));
    EXPECT_EQ(points.front(), QPoint(7, 1));
    for (const QPoint& p : points) {
        EXPECT_GE(p.x(), 2);
        EXPECT_LE(p.x(), 7);
    }

    image = Blank(20, 20);
    PixelCanvas(image).Line(2, 5, 7, 8, kInk);
    const auto shallow = Inked(image);
    ASSERT_EQ(shallow.size(), 5u);
    EXPECT_EQ(shallow.front(), QPoint(2, 5));
    for (size_t i = 0; i < shallow.size(); ++i) {
        EXPECT_EQ(shallow[i].x(), 2 + static_cast<int>(i));
    }
}

// A value far off the scale gives an end point millions of rows away: only the visible part is
// drawn, and it is the part of the true line.
TEST(PixelCanvas, FarEndPointsAreClippedToTheTrueLine) {
    QImage near = Blank(50, 50);
    PixelCanvas(near).Line(10, 20, 30, 20 + 200000, kInk);
    const auto points = Inked(near);
    ASSERT_FALSE(points.empty());
    EXPECT_EQ(points.front(), QPoint(10, 20));
    for (const QPoint& p : points) {
        EXPECT_EQ(p.x(), 10);
    }
    QImage far = Blank(50, 50);
    PixelCanvas(far).Line(LLONG_MIN / 4, LLONG_MIN / 4, LLONG_MAX / 4, LLONG_MAX / 4, kInk);
    EXPECT_EQ(Inked(far).size(), 50u);
}

TEST(PixelCanvas, WidePenSetsASquareAroundEachPixel) {
    QImage image = Blank(20, 20);
    PixelCanvas(image).Line(5, 10, 8, 10, kInk, 3);
    // Columns 4..8 (one either side of 5..7), rows 9..11.
    EXPECT_EQ(Inked(image).size(), 15u);
    EXPECT_EQ(image.pixel(4, 9), kInk);
    EXPECT_EQ(image.pixel(8, 11), kInk);
    EXPECT_EQ(image.pixel(9, 10), kPaper);
}

TEST(PixelCanvas, MoveColumnsShiftsLeftAndClips) {
    QImage image = Blank(10, 3);
    for (int x = 0; x < 10; ++x) {
        image.setPixel(x, 1, qRgb(x, 0, 0));
    }
    PixelCanvas(image).MoveColumns(3, 9, 0, 0, 3);
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(qRed(image.pixel(x, 1)), x + 3);
    }
    EXPECT_EQ(qRed(image.pixel(9, 1)), 9);
    // Sources and destinations outside the picture move nothing out of bounds.
    PixelCanvas(image).MoveColumns(-5, 40, 20, -10, 30);
    PixelCanvas(image).MoveColumns(100, 200, 0, 0, 3);
    QImage empty;
    PixelCanvas(empty).MoveColumns(1, 5, 0, 0, 5);
    PixelCanvas(empty).Line(0, 0, 10, 10, kInk);
}

}  // namespace
}  // namespace vx
