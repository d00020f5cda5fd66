#include "connection/WindConnection.h"

#include "connection/OutputFormats.h"
#include "connection/WindMath.h"
#include "connection/WindUnits.h"

#include <cmath>
#include <limits>

namespace vx {

namespace {

// The counters run for the life of a connection; at 100 Hz a 32-bit count would overflow after
// eight months, so they stop at the top instead.
void Increment(std::int32_t& counter) {
    if (counter < std::numeric_limits<std::int32_t>::max()) {
        ++counter;
    }
}

constexpr double kSpeedLimit = 100;  // m/s; faster readings are instrument faults

}  // namespace

WindConnection::WindConnection(WindViewSink* sink) : sink_(sink) {}

void WindConnection::ApplyFormat(std::string_view formatName, std::string_view formatLetters) {
    format_.Apply(formatName, formatLetters);
}

bool WindConnection::IsNmea() const {
    return IsNmeaFormat(format_.formatName);
}

std::optional<std::string_view> WindConnection::Accept(std::string_view packet) {
    Increment(packets_);
    if (!CheckMessage(packet, IsNmea())) {
        return std::nullopt;
    }
    Increment(goodMessages_);
    Increment(rateMessages_);
    return TrimControl(packet);
}

std::string_view WindConnection::Field(int position) const {
    // A position left over from an earlier, longer format can lie past this message's slots:
    // such a field reads as empty.
    if (position < 0 || static_cast<std::size_t>(position) >= slots_.size()) {
        return {};
    }
    return slots_[static_cast<std::size_t>(position)];
}

bool WindConnection::ParseMessage(std::string_view message) {
    const int slotCount = SplitFields(message, format_.letterCount, slots_);
    if (slotCount < format_.letterCount) {
        return false;
    }
    const std::string_view units = Field(format_.positionN);
    sample_.inputFactor = InputFactorFromUnits(units, sample_.inputFactor);
    ComputeSample();
    // A garbled units field would leave the speeds in the previous message's unit (or at 0
    // before the first known letter): such a sample says nothing reliable about the wind.
    sample_.valid = HasUnitsLetter(units) && std::abs(sample_.magnitude) <= kSpeedLimit &&
                    std::abs(sample_.u) <= kSpeedLimit && std::abs(sample_.v) <= kSpeedLimit &&
                    sample_.direction >= 0 && sample_.direction < 360;
    if (sample_.valid) {
        UpdateMinMax(extremes_, sample_);
        extendedDirection_.Update(sample_.direction);
        lastValidDirection_ = sample_.direction;
    }
    return sample_.valid;
}

void WindConnection::ComputeSample() {
    double u = 0;  // in the message's unit until the factor is applied
    double v = 0;
    double magnitude = 0;
    if (format_.polar) {
        magnitude = ReadFieldValue(Field(format_.positionM));
        sample_.direction = ReadFieldValue(Field(format_.positionD));
        const UV uv = PolarToUV(magnitude, sample_.direction);
        u = uv.u;
        v = uv.v;
    } else {
        u = ReadFieldValue(Field(format_.positionU));
        v = ReadFieldValue(Field(format_.positionV));
        magnitude = std::sqrt(u * u + v * v);
        sample_.direction = DirectionFromUV(u, v);
    }
    const double factor = sample_.inputFactor;
    sample_.u = u * factor;
    sample_.shownU = sample_.u * displayFactor_;
    sample_.v = v * factor;
    sample_.shownV = sample_.v * displayFactor_;
    sample_.magnitude = magnitude * factor;
    sample_.shownMagnitude = sample_.magnitude * displayFactor_;
    if (format_.HasW()) {
        sample_.w = ReadFieldValue(Field(format_.positionW)) * factor;
        sample_.shownW = sample_.w * displayFactor_;
    }
}

void WindConnection::UpdateAverages() {
    const AverageProgress progress = stats_.UpdateAverages(sample_);
    if (!progress.stored || sink_ == nullptr) {
        return;
    }
    if (progress.full) {
        sink_->HideBuildingAverage();
    } else {
        sink_->ShowBuildingAverage(progress.position, progress.maximum);
    }
}

PacketResult WindConnection::HandlePacket(std::string_view packet) {
    PacketResult result;
    const std::optional<std::string_view> message = Accept(packet);
    if (!message) {
        return result;
    }
    result.accepted = true;
    result.valid = ParseMessage(*message);
    if (result.valid) {
        UpdateAverages();
    }
    return result;
}

void WindConnection::SetUnits(int unit) {
    if (!IsSpeedUnit(unit)) {
        return;
    }
    displayFactor_ = vx::DisplayFactor(unit);
    unitText_ = std::string(vx::UnitText(unit));
}

void WindConnection::SetAveraging(int minutes) {
    const char* panel = nullptr;
    switch (minutes) {
        case 0:
            stats_.SetAveragingPeriod(0);
            panel = "Average: Off";
            break;
        case 2:
            stats_.SetAveragingPeriod(120);
            panel = "Average: 2 min";
            break;
        case 10:
            stats_.SetAveragingPeriod(600);
            panel = "Average: 10 min";
            break;
        default:
            break;
    }
    if (panel != nullptr && sink_ != nullptr) {
        sink_->ShowAveragePanel(panel);
        if (minutes == 0) {
            sink_->BlankAverageLabels("---");
        }
    }
    stats_.ResetAverages();
}

void WindConnection::ClearMaxMin() {
    // The current sample may be out of range, or never have been set: the extremes start from
    // the last direction that was valid, or from the next one.
    vx::ClearMaxMin(extremes_, lastValidDirection_);
}

}  // namespace vx
