#pragma once
// A small seeded generator of our own: the standard distributions are not required to give the
// same numbers on every library, and a seed must reproduce the same messages everywhere.

#include <cmath>
#include <cstdint>

namespace vx::sim {

class SimRandom {
public:
    explicit SimRandom(std::uint64_t seed) : state_(seed) {}

    // splitmix64: every seed, zero included, gives a full-period stream.
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1).
    double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

    // Uniform integer in [0, bound); bound must be above 0.
    std::uint64_t Below(std::uint64_t bound) { return Next() % bound; }

    bool Chance(double probability) { return probability > 0 && Uniform() < probability; }

    // Standard normal deviate (Box-Muller; the second value is dropped to keep the stream simple).
    double Gaussian() {
        double u1 = Uniform();
        if (u1 < 1e-300) {
            u1 = 1e-300;
        }
        const double u2 = Uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    std::uint64_t state_;
};

// Independent streams from one user seed, so that turning on a fault does not change the wind.
inline std::uint64_t StreamSeed(std::uint64_t seed, std::uint64_t stream) {
    SimRandom mix(seed ^ (stream * 0xD1B54A32D192ED03ull));
    return mix.Next();
}

}  // namespace vx::sim
