#pragma once
// What the pages and the digital strip of a connection window share: how a value becomes a
// whole number on screen, the speed text, and the grey of values that are no longer current.

#include <QColor>
#include <QFont>
#include <QString>

namespace vx {

// Whole numbers drawn or shown are truncated toward zero. A reading far outside any scale (a
// garbled field of 1e300) is held within the range of an int first, where it still lies off
// the chart, instead of overflowing the conversion.
int TruncateShown(double value);

// A speed already in the unit shown: "12.34 m/s".
QString ShownSpeedText(double shown, const QString& unitText);

// The small labels at the edges of the digital panels and of the chart's axes.
QFont EdgeLabelFont();

// The size of the main values of the windsock page and the digital panels.
inline constexpr int kMainValuePixels = 16;

// Old values stay readable in this grey, so the last wind seen is still there to read.
inline const QColor kStaleColour(140, 140, 140);

}  // namespace vx
