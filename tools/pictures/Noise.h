#pragma once
// Smooth gradient noise and its fractal sum, deterministic so that the pictures come out the
// same on every run.

namespace vx::pictures {

class Noise {
public:
    explicit Noise(unsigned seed);
    // About -1..1, smooth, period 256.
    double At(double x, double y) const;
    // Sum of octaves, each at twice the frequency and `gain` times the amplitude; about -1..1.
    double Fractal(double x, double y, int octaves, double gain = 0.5) const;

private:
    int permutation_[512];
};

}  // namespace vx::pictures
