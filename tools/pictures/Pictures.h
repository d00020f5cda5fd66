#pragma once
// The pictures stored with the program, drawn from scratch.

#include <QImage>

namespace vx::pictures {

enum class RoseKind { Plain, Nsew, Ship };

// 600 by 600, 256 colours (indexed), black background.
QImage DrawRose(RoseKind kind);
// 799 by 573: clouds over the sea.
QImage DrawSeascape();
// 262 by 580: blue-to-white gradient with the logo.
QImage DrawBanner();

}  // namespace vx::pictures
