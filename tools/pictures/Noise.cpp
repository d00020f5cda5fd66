#include "tools/pictures/Noise.h"

#include <cmath>
#include <numeric>
#include <random>

namespace vx::pictures {
namespace {

double Fade(double t) {
    return t * t * t * (t * (t * 6 - 15) + 10);
}

double Gradient(int hash, double x, double y) {
    switch (hash & 7) {
        case 0:
            return x + y;
        case 1:
            return x - y;
        case 2:
            return -x + y;
        case 3:
            return -x - y;
        case 4:
            return x;
        case 5:
            return -x;
        case 6:
            return y;
        default:
            return -y;
    }
}

double Mix(double a, double b, double t) {
    return a + (b - a) * t;
}

}  // namespace

Noise::Noise(unsigned seed) {
    std::iota(permutation_, permutation_ + 256, 0);
    std::mt19937 random(seed);
    for (int i = 255; i > 0; --i) {
        std::uniform_int_distribution<int> pick(0, i);
        std::swap(permutation_[i], permutation_[pick(random)]);
    }
    for (int i = 0; i < 256; ++i) {
        permutation_[256 + i] = permutation_[i];
    }
}

double Noise::At(double x, double y) const {
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const int xi = static_cast<int>(fx) & 255;
    const int yi = static_cast<int>(fy) & 255;
    x -= fx;
    y -= fy;
    const double u = Fade(x);
    const double v = Fade(y);
    const int a = permutation_[xi] + yi;
    const int b = permutation_[xi + 1] + yi;
    return Mix(Mix(Gradient(permutation_[a], x, y), Gradient(permutation_[b], x - 1, y), u),
               Mix(Gradient(permutation_[a + 1], x, y - 1),
                   Gradient(permutation_[b + 1], x - 1, y - 1), u),
               v);
}

double Noise::Fractal(double x, double y, int octaves, double gain) const {
    double sum = 0;
    double amplitude = 1;
    double norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * At(x, y);
        norm += amplitude;
        amplitude *= gain;
        // Rotate and shift each octave a little so that the lattice does not show.
        const double rx = 1.6 * x + 1.2 * y + 17.3;
        const double ry = -1.2 * x + 1.6 * y + 5.1;
        x = rx;
        y = ry;
    }
    return sum / norm * 1.6;
}

}  // namespace vx::pictures
