#pragma once
// TColor: a 24-bit RGB colour, or a reference to one of the system's colours (the button face)
// that is looked up in the widget's palette when drawing, so it follows the desktop theme.

#include <QColor>
#include <QPalette>

#include <cstdint>

namespace vx {

enum class SystemColor : std::uint8_t { ButtonFace, Window, WindowText };

class TColor {
public:
    constexpr TColor() = default;
    static constexpr TColor Rgb(int red, int green, int blue) {
        TColor colour;
        colour.rgb_ = (static_cast<std::uint32_t>(red & 0xff) << 16) |
                      (static_cast<std::uint32_t>(green & 0xff) << 8) |
                      static_cast<std::uint32_t>(blue & 0xff);
        return colour;
    }
    static constexpr TColor System(SystemColor which) {
        TColor colour;
        colour.isSystem_ = true;
        colour.rgb_ = static_cast<std::uint32_t>(which);
        return colour;
    }

    constexpr bool IsSystem() const { return isSystem_; }
    // 0xRRGGBB for an RGB colour.
    constexpr std::uint32_t Value() const { return rgb_; }
    constexpr SystemColor SystemIndex() const { return static_cast<SystemColor>(rgb_); }

    // The colour as drawn: opaque, with system colours taken from the palette.
    QRgb Resolve(const QPalette& palette) const {
        if (!isSystem_) {
            return 0xff000000u | rgb_;
        }
        switch (SystemIndex()) {
            case SystemColor::ButtonFace:
                return palette.color(QPalette::Button).rgb();
            case SystemColor::Window:
                return palette.color(QPalette::Window).rgb();
            case SystemColor::WindowText:
                return palette.color(QPalette::WindowText).rgb();
        }
        return 0xff000000u;
    }

    friend constexpr bool operator==(TColor, TColor) = default;

private:
    bool isSystem_ = false;
    std::uint32_t rgb_ = 0;
};

inline constexpr TColor kBlack = TColor::Rgb(0, 0, 0);
inline constexpr TColor kWhite = TColor::Rgb(255, 255, 255);
inline constexpr TColor kRed = TColor::Rgb(255, 0, 0);
inline constexpr TColor kGreen = TColor::Rgb(0, 128, 0);
inline constexpr TColor kBlue = TColor::Rgb(0, 0, 255);
inline constexpr TColor kYellow = TColor::Rgb(255, 255, 0);
inline constexpr TColor kButtonFace = TColor::System(SystemColor::ButtonFace);

}  // namespace vx
