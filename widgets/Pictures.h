#pragma once
// The pictures stored with the program, loaded by name.

#include "widgets/JpegImage.h"

#include <QImage>
#include <QString>

namespace vx {

// A rose picture by its resource name: "PLAIN_ROSE", "NSEW_ROSE" or "SHIP_ROSE" (600 by 600),
// returned as Format_RGB32. Throws PictureError for any other name or a missing picture.
QImage LoadRosePicture(const QString& name);

// The clouds over the sea behind the main window's documents (799 by 573).
QImage LoadBackgroundPicture();

// The blue-to-white banner with the logo on the windsock page (262 by 580).
QImage LoadBannerPicture();

// Decodes a JPEG picture from a file or a resource path (":/pictures/clouds.jpg"). Throws
// PictureError naming the picture and the reason.
QImage LoadJpegPicture(const QString& path);

}  // namespace vx
