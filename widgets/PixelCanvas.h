#pragma once
// Exact pixel drawing on a Format_RGB32 image with the chart's conventions: a rectangle covers
// left <= x < right and top <= y < bottom; a line from A to B colours A and not B. Coordinates
// may lie far outside the image (a value far beyond the scale): only the visible part costs time.

#include <QImage>

namespace vx {

class PixelCanvas {
public:
    explicit PixelCanvas(QImage& image);

    void FillRect(long long left, long long top, long long right, long long bottom, QRgb colour);
    // Lines are penWidth pixels thick: a square of that side is set around every pixel.
    void Line(long long x1, long long y1, long long x2, long long y2, QRgb colour,
              int penWidth = 1);
    // Moves the columns [sourceLeft, sourceRight) of rows [top, bottom) to start at destLeft.
    void MoveColumns(long long sourceLeft, long long sourceRight, long long destLeft, long long top,
                     long long bottom);

private:
    void Plot(long long x, long long y, QRgb colour, int penWidth);

    QRgb* Row(long long y) const;

    uchar* bits_;
    long long stride_;
    long long width_;
    long long height_;
};

}  // namespace vx
