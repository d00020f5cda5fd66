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
// side by side, transparent corners: the application icon, a windsock on the rose.
QImage DrawIcon(int side);

// The sizes of the hicolor icon theme that desktops look up.
inline constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

}  // namespace vx::pictures
