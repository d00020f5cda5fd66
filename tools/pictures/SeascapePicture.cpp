#include "tools/pictures/Noise.h"
#include "tools/pictures/Pictures.h"

#include <algorithm>
#include <cmath>

namespace vx::pictures {
namespace {

constexpr int kWidth = 799;
constexpr int kHeight = 573;
constexpr double kHorizon = 372;  // row of the horizon
constexpr double kFocal = 420;    // pixels: the camera's focal length
constexpr double kSunX = 575;     // the sun hides behind the clouds, upper right
constexpr double kSunY = 150;

struct Rgb {
    double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Scale(Rgb a, double f) {
    return {a.r * f, a.g * f, a.b * f};
}

Rgb Add(Rgb a, Rgb b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}

double Smooth(double edge0, double edge1, double x) {
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

QRgb ToPixel(Rgb c) {
    const auto channel = [](double v) {
        return static_cast<int>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5);
    };
    return qRgb(channel(c.r), channel(c.g), channel(c.b));
}

class Seascape {
public:
    Seascape() : cloudNoise_(7), detailNoise_(11), waveNoise_(23), swellNoise_(31) {}

    Rgb Sky(double x, double y) const {
        const double height = std::clamp((kHorizon - y) / kHorizon, 0.0, 1.0);
        Rgb sky = Mix(Rgb{0.80, 0.86, 0.92}, Rgb{0.18, 0.40, 0.72}, std::pow(height, 0.7));
        // Warm light around the hidden sun.
        const double d = std::hypot(x - kSunX, (y - kSunY) * 1.3);
        sky = Add(sky, Scale(Rgb{0.45, 0.38, 0.25}, std::exp(-d / 120.0) * 0.55));
        return sky;
    }

    // Clouds on a plane above the sea, seen in perspective: large overhead, small and thin
    // near the horizon.
    Rgb Clouds(double x, double y, Rgb sky) const {
        const double above = kHorizon - y;
        if (above <= 1) {
            return sky;
        }
        const double distance = kFocal / above;
        const double u = (x - kWidth / 2.0) / kFocal * distance;
        const double v = distance;
        const double density = CloudDensity(u, v);
        if (density <= 0) {
            return sky;
        }
        // Lit from the sun's side: thinner towards the sun means brighter.
        const double towardSun = CloudDensity(u + 0.05, v + 0.12);
        const double light = std::clamp(0.78 + (density - towardSun) * 1.8, 0.45, 1.05);
        Rgb cloud = Mix(Rgb{0.50, 0.55, 0.64}, Rgb{1.0, 0.99, 0.96}, light);
        const double glow = std::exp(-std::hypot(x - kSunX, (y - kSunY) * 1.3) / 90.0);
        cloud = Add(cloud, Scale(Rgb{0.35, 0.28, 0.12}, glow * (1 - density)));
        // Far clouds melt into the haze over the horizon.
        const double haze = Smooth(0.0, 40.0, above) * (1 - Smooth(5.0, 18.0, distance) * 0.6);
        return Mix(sky, cloud, std::clamp(density * haze, 0.0, 1.0));
    }

    Rgb Sea(double x, double y, Rgb horizonSky) const {
        const double below = y - kHorizon;
        const double distance = kFocal / std::max(below, 0.5);
        const double u = (x - kWidth / 2.0) / kFocal * distance;
        const double v = distance;
        // Long swell and short wind waves, stretched across the view.
        const double swell = swellNoise_.Fractal(u * 0.35, v * 1.1, 3);
        const double waves = waveNoise_.Fractal(u * 1.6, v * 5.0, 4, 0.55);
        const double slope = swell * 0.5 + waves * 0.5;
        const double nearness = Smooth(0.0, kHeight - kHorizon, below);
        Rgb deep = Mix(Rgb{0.16, 0.32, 0.46}, Rgb{0.03, 0.13, 0.27}, nearness);
        // The sea mirrors the pale sky near the horizon (grazing view), less close by.
        const double mirror = 0.65 * std::pow(1 - nearness, 3.0) + 0.08;
        Rgb sea = Mix(deep, horizonSky, std::clamp(mirror + slope * 0.12, 0.0, 1.0));
        sea = Scale(sea, 1.0 + slope * 0.22 * (0.3 + nearness));
        // Glints: wave faces turned to the sun sparkle in a band below it.
        const double column = std::exp(-std::pow((x - kSunX) / (60 + below * 1.3), 2.0));
        const double sparkle = Smooth(0.35, 0.75, waves) * column * (0.25 + 0.75 * (1 - nearness));
        sea = Add(sea, Scale(Rgb{1.0, 0.95, 0.82}, sparkle * 0.9));
        // White horses here and there on the nearer crests.
        const double foam = Smooth(0.78, 0.95, swell * 0.6 + waves * 0.6) * nearness;
        return Mix(sea, Rgb{0.86, 0.90, 0.93}, foam * 0.7);
    }

private:
    double CloudDensity(double u, double v) const {
        const double base = cloudNoise_.Fractal(u * 0.55, v * 0.30, 6, 0.52);
        const double detail = detailNoise_.Fractal(u * 2.2, v * 1.4, 3);
        const double value = base + detail * 0.18;
        return Smooth(-0.12, 0.42, value);
    }

    Noise cloudNoise_;
    Noise detailNoise_;
    Noise waveNoise_;
    Noise swellNoise_;
};

}  // namespace

QImage DrawSeascape() {
    const Seascape scene;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    // Two samples per pixel on each axis: smooth edges on the horizon and the wave crests.
    constexpr int kSamples = 2;
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            Rgb sum{0, 0, 0};
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double px = x + (sx + 0.5) / kSamples;
                    const double py = y + (sy + 0.5) / kSamples;
                    Rgb colour;
                    if (py < kHorizon) {
                        colour = scene.Clouds(px, py, scene.Sky(px, py));
                    } else {
                        colour = scene.Sea(px, py, scene.Sky(px, kHorizon - 2));
                    }
                    sum = Add(sum, colour);
                }
            }
            row[x] = ToPixel(Scale(sum, 1.0 / (kSamples * kSamples)));
        }
    }
    return image;
}

}  // namespace vx::pictures
