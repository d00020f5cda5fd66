#pragma once
// JPEG pictures are decoded by libjpeg's decompression interface, never by a toolkit plugin, so
// a damaged picture is reported as an error instead of ending the program.

#include <QByteArray>
#include <QImage>

#include <stdexcept>
#include <string>

namespace vx {

// A picture that cannot be shown: missing, damaged, truncated, too large or of a kind we do not
// decode. what() says which and why in words a user can act on.
class PictureError : public std::runtime_error {
public:
    explicit PictureError(const std::string& message) : std::runtime_error(message) {}
};

// Declared sizes beyond these are refused before any pixel memory is taken: a few hundred bytes
// of header can claim a picture of gigabytes.
inline constexpr int kMaxJpegSide = 8192;
inline constexpr long long kMaxJpegPixels = 16LL * 1024 * 1024;

// Decodes a whole JPEG file held in memory into a Format_RGB32 image. Grayscale and colour
// pictures are accepted; CMYK is not. Throws PictureError (the reason only, without a name).
QImage DecodeJpeg(const QByteArray& data);

}  // namespace vx
