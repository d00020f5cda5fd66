#include "tools/sim/FaultInjector.h"

namespace vx::sim {

namespace {

constexpr std::uint64_t kMaxNoiseBytes = 24;
constexpr double kStrayFramingChance = 0.08;

}  // namespace

std::string Faults::Describe() const {
    std::string text;
    auto add = [&text](const char* name) {
        if (!text.empty()) {
            text += '+';
        }
        text += name;
    };
    if (badChecksum) {
        add("bad-checksum");
    }
    if (lostCr) {
        add("no-cr");
    }
    if (lostStart) {
        add("no-start");
    }
    return text.empty() ? "ok" : text;
}

FaultInjector::FaultInjector(const FaultSettings& settings, std::uint64_t seed)
    : settings_(settings), random_(seed) {}

bool FaultInjector::Strikes(const FaultRule& rule, std::uint64_t sequence) {
    // The draw is made whether or not the rule is on, so one fault's setting does not shift
    // the choices of the others.
    const bool byChance = random_.Uniform() < rule.probability;
    const bool byCount = rule.every > 0 && sequence % rule.every == 0;
    return byChance || byCount;
}

Faults FaultInjector::Decide(std::uint64_t sequence) {
    Faults faults;
    faults.badChecksum = Strikes(settings_.badChecksum, sequence);
    faults.lostCr = Strikes(settings_.lostCr, sequence);
    faults.lostStart = Strikes(settings_.lostStart, sequence);
    faults.noiseBefore = Strikes(settings_.noise, sequence);
    return faults;
}

void FaultInjector::Apply(const Faults& faults, Message& message) {
    if (faults.badChecksum) {
        message.checksum ^= static_cast<std::uint8_t>(1 + random_.Below(255));
    }
    if (faults.lostCr) {
        message.withCr = false;
    }
    if (faults.lostStart) {
        message.withStart = false;
    }
}

std::string FaultInjector::NoiseBurst() {
    static const char kFraming[] = {'\x02', '$', '\r'};
    const std::uint64_t length = 1 + random_.Below(kMaxNoiseBytes);
    std::string burst;
    for (std::uint64_t i = 0; i < length; ++i) {
        if (random_.Chance(kStrayFramingChance)) {
            burst += kFraming[random_.Below(sizeof kFraming)];
        } else {
            burst += static_cast<char>(random_.Below(256));
        }
    }
    return burst;
}

}  // namespace vx::sim
