#pragma once
// The wind state of one connection, without any window: the selected format's parse state, the
// current sample, the counters, the minimum and maximum values, the extended direction, the gust
// and the averages. The connection window drives it step by step (so it can interleave its views
// in the order a message feeds them); tools use HandlePacket.

#include "connection/MessageParser.h"
#include "connection/WindSample.h"
#include "connection/WindStats.h"
#include "connection/WindViewSink.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

struct PacketResult {
    bool accepted = false;  // framing and checksum right
    bool valid = false;     // parsed into an in-range sample
};

class WindConnection {
public:
    explicit WindConnection(WindViewSink* sink = nullptr);

    // The observer for the averaging views; null for none. Not owned.
    void SetViewSink(WindViewSink* sink) { sink_ = sink; }

    // The parse part of ApplyFormat: name, letters, letter count, polar, field positions.
    void ApplyFormat(std::string_view formatName, std::string_view formatLetters);
    const ParseState& Format() const { return format_; }
    // Decided afresh from the format name for every message.
    bool IsNmea() const;

    // --- One delivered packet, in the steps of the message handler ---
    // Counts the packet; when CheckMessage accepts it, counts a good message and returns the
    // message without its leading and trailing control characters and spaces (a view into
    // `packet`); otherwise nothing.
    std::optional<std::string_view> Accept(std::string_view packet);
    // Parses an accepted, trimmed message into the sample; true when the sample is valid (then
    // minimum, maximum and extended direction are updated). Valid means a known units letter,
    // speeds within 100 m/s and a direction from 0 up to 360. Too few fields leave the sample
    // as it was; out-of-range values are kept in it but reach no statistic.
    bool ParseMessage(std::string_view message);
    // Gust and averages from the current sample; call for valid samples only. Tells the sink
    // how the "Building Average" box stands.
    void UpdateAverages();
    // Accept, then ParseMessage and, when valid, UpdateAverages: the whole path without views.
    PacketResult HandlePacket(std::string_view packet);

    // --- Counters (saturate at the largest 32-bit value instead of overflowing) ---
    std::int32_t Packets() const { return packets_; }
    void ResetPackets() { packets_ = 0; }
    std::int32_t GoodMessages() const { return goodMessages_; }
    void ResetGoodMessages() { goodMessages_ = 0; }
    // Accepted messages since the last ResetRateMessages: what the output rate is measured by
    // (strings that fail the checksum are noise on the line, not the instrument's rate).
    std::int32_t RateMessages() const { return rateMessages_; }
    void ResetRateMessages() { rateMessages_ = 0; }

    // --- Settings ---
    // Output rate in Hz (0 until detected); sizes the gust and averaging windows.
    void SetOutputRate(double hz) { stats_.SetOutputRate(hz); }
    double OutputRate() const { return stats_.OutputRate(); }
    int GustWindow() const { return stats_.GustWindow(); }

    // Display unit 0..4; other numbers keep the present unit. Until the first call the factor is
    // 0 and the unit text empty.
    void SetUnits(int unit);
    double DisplayFactor() const { return displayFactor_; }
    const std::string& UnitText() const { return unitText_; }

    // 0 (off), 2 or 10 minutes; other numbers keep the period. Always empties the rings.
    void SetAveraging(int minutes);
    int AveragingPeriod() const { return stats_.AveragingPeriod(); }  // seconds
    bool AveragingOn() const { return stats_.AveragingPeriod() > 0; }
    void ResetAverages() { stats_.ResetAverages(); }
    // Speeds to their sentinels; directions to the last valid sample's (unset before one).
    void ClearMaxMin();

    // --- State ---
    const WindSample& Sample() const { return sample_; }
    const MinMax& Extremes() const { return extremes_; }
    double ExtendedDirectionValue() const { return extendedDirection_.extended; }
    double Gust() const { return stats_.Gust(); }
    const WindAverages& Averages() const { return stats_.Averages(); }
    const WindStatistics& Statistics() const { return stats_; }

private:
    std::string_view Field(int position) const;
    void ComputeSample();

    WindViewSink* sink_ = nullptr;
    ParseState format_;
    std::vector<std::string_view> slots_;
    std::int32_t packets_ = 0;
    std::int32_t goodMessages_ = 0;
    std::int32_t rateMessages_ = 0;
    double displayFactor_ = 0;
    std::string unitText_;
    WindSample sample_;
    MinMax extremes_;
    ExtendedDirection extendedDirection_;
    std::optional<double> lastValidDirection_;
    WindStatistics stats_;
};

}  // namespace vx
