#include "widgets/PixelCanvas.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vx {
namespace {

// Far beyond any screen, yet small enough that products of two coordinates fit in 64 bits.
constexpr long long kCoordinateLimit = 1LL << 28;

long long Limit(long long v) {
    return std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}

// Division rounding to the nearest integer (halves upward); the denominator is positive.
long long RoundDiv(long long numerator, long long denominator) {
    long long twice = 2 * numerator + denominator;
    long long q = twice / (2 * denominator);
    if (twice % (2 * denominator) != 0 && twice < 0) {
        --q;
    }
    return q;
}

}  // namespace

PixelCanvas::PixelCanvas(QImage& image)
    : bits_(image.isNull() ? nullptr : image.bits()),
      stride_(image.bytesPerLine()),
      width_(image.width()),
      height_(image.height()) {}

QRgb* PixelCanvas::Row(long long y) const {
    return reinterpret_cast<QRgb*>(bits_ + stride_ * y);
}

void PixelCanvas::FillRect(long long left, long long top, long long right, long long bottom,
                           QRgb colour) {
    left = std::max(left, 0LL);
    top = std::max(top, 0LL);
    right = std::min(right, width_);
    bottom = std::min(bottom, height_);
    if (left >= right || top >= bottom) {
        return;
    }
    for (long long y = top; y < bottom; ++y) {
        QRgb* row = Row(y);
        std::fill(row + left, row + right, colour);
    }
}

void PixelCanvas::Plot(long long x, long long y, QRgb colour, int penWidth) {
    if (penWidth <= 1) {
        if (x >= 0 && x < width_ && y >= 0 && y < height_) {
            Row(y)[x] = colour;
        }
        return;
    }
    const long long half = (penWidth - 1) / 2;
    FillRect(x - half, y - half, x - half + penWidth, y - half + penWidth, colour);
}

void PixelCanvas::Line(long long x1, long long y1, long long x2, long long y2, QRgb colour,
                       int penWidth) {
    x1 = Limit(x1);
    y1 = Limit(y1);
    x2 = Limit(x2);
    y2 = Limit(y2);
    penWidth = std::clamp(penWidth, 1, 1024);
    const long long dx = x2 - x1;
    const long long dy = y2 - y1;
    const long long adx = std::llabs(dx);
    const long long ady = std::llabs(dy);
    if (adx == 0 && ady == 0) {
        return;
    }
    const long long margin = penWidth;
    // Walk the major axis one pixel per step, the last (end) pixel excluded, and only over the
    // steps whose major coordinate can touch the image.
    const bool xMajor = adx >= ady;
    const long long steps = xMajor ? adx : ady;
    const long long start = xMajor ? x1 : y1;
    const long long sign = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const long long extent = xMajor ? width_ : height_;
    long long first = 0;
    long long last = steps - 1;
    if (sign > 0) {
        first = std::max(first, -margin - start);
        last = std::min(last, extent - 1 + margin - start);
    } else {
        first = std::max(first, start - (extent - 1 + margin));
        last = std::min(last, start + margin);
    }
    for (long long i = first; i <= last; ++i) {
        const long long major = start + sign * i;
        const long long minor = xMajor ? y1 + RoundDiv(i * dy, adx) : x1 + RoundDiv(i * dx, ady);
        if (xMajor) {
            Plot(major, minor, colour, penWidth);
        } else {
            Plot(minor, major, colour, penWidth);
        }
    }
}

void PixelCanvas::MoveColumns(long long sourceLeft, long long sourceRight, long long destLeft,
                              long long top, long long bottom) {
    // Clip the source so that both it and the destination lie inside the image.
    long long shift = destLeft - sourceLeft;
    long long left = std::max({sourceLeft, 0LL, -shift});
    long long right = std::min({sourceRight, width_, width_ - shift});
    top = std::max(top, 0LL);
    bottom = std::min(bottom, height_);
    if (left >= right || top >= bottom) {
        return;
    }
    const size_t bytes = static_cast<size_t>(right - left) * sizeof(QRgb);
    for (long long y = top; y < bottom; ++y) {
        QRgb* row = Row(y);
        std::memmove(row + left + shift, row + left, bytes);
    }
}

}  // namespace vx
