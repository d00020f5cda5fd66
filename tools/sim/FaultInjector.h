#pragma once
// Line faults on purpose: a wrong checksum, a lost CR, a lost start character, and bursts of
// random bytes between messages. Each fault strikes with a probability, on every Nth message,
// or both; the choices come from their own seeded stream, so they replay with the seed.

#include <cstdint>
#include <string>

#include "tools/sim/MessageBuilder.h"
#include "tools/sim/SimRandom.h"

namespace vx::sim {

struct FaultRule {
    double probability = 0;   // 0 to 1
    std::uint64_t every = 0;  // every Nth message (sequence numbers N, 2N, ...); 0: never

    bool Active() const { return probability > 0 || every > 0; }
};

struct FaultSettings {
    FaultRule badChecksum;
    FaultRule lostCr;
    FaultRule lostStart;
    FaultRule noise;  // a burst of random bytes just before the message
};

struct Faults {
    bool badChecksum = false;
    bool lostCr = false;
    bool lostStart = false;
    bool noiseBefore = false;

    bool Any() const { return badChecksum || lostCr || lostStart; }
    // "bad-checksum", "no-cr", "no-start" joined by "+", or "ok".
    std::string Describe() const;
};

class FaultInjector {
public:
    FaultInjector(const FaultSettings& settings, std::uint64_t seed);

    Faults Decide(std::uint64_t sequence);
    void Apply(const Faults& faults, Message& message);
    // 1 to 24 random bytes; now and then a stray STX, "$" or CR among them.
    std::string NoiseBurst();

private:
    bool Strikes(const FaultRule& rule, std::uint64_t sequence);

    FaultSettings settings_;
    SimRandom random_;
};

}  // namespace vx::sim
