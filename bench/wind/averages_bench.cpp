// Cost of one valid sample through the gust and the averages at the largest window (10 minutes
// at 100 Hz, 60 000 records): the running sums against re-summing the whole window per sample.

#include "connection/OutputRate.h"
#include "connection/WindConnection.h"
#include "connection/WindMath.h"
#include "connection/WindStats.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

std::vector<vx::WindSample> MakeSamples(std::size_t count) {
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<vx::WindSample> samples(count);
    for (vx::WindSample& s : samples) {
        s.magnitude = 30 * unit(random);
        s.direction = 360 * unit(random);
        const vx::UV uv = vx::PolarToUV(s.magnitude, s.direction);
        s.u = uv.u;
        s.v = uv.v;
    }
    return samples;
}

// The whole window summed afresh for every sample, as the straightforward version does.
class ResumAverages {
public:
    explicit ResumAverages(int window) : window_(window), ring_(window) {}

    void Update(const vx::WindSample& s, double gust) {
        ring_[index_] = {s.u, s.v, gust, s.magnitude, s.direction};
        if (++index_ == window_) {
            full_ = true;
        }
        const int count = full_ ? window_ : index_;
        double su = 0, sv = 0, sm = 0, ss = 0, sc = 0, hi = -1e30, lo = 1e30;
        for (int i = 0; i < count; ++i) {
            const Record& r = ring_[i];
            const double radians = vx::DegreesToRadians(r.direction);
            su += r.u;
            sv += r.v;
            sm += r.magnitude;
            ss += std::sin(radians);
            sc += std::cos(radians);
            hi = std::max(hi, r.gust);
            lo = std::min(lo, r.gust);
        }
        result_ =
            std::sqrt(su * su + sv * sv) / count + vx::DirectionFromUV(-sc, ss) + sm + hi + lo;
        if (index_ >= window_) {
            index_ = 0;
        }
    }
    double Result() const { return result_; }

    // Fills the window without the per-sample re-sum, to start measuring with a full window.
    void Fill(const std::vector<vx::WindSample>& samples) {
        for (int i = 0; i < window_; ++i) {
            const vx::WindSample& s = samples[i % samples.size()];
            ring_[i] = {s.u, s.v, 1.0, s.magnitude, s.direction};
        }
        full_ = true;
    }

private:
    struct Record {
        double u = 0, v = 0, gust = 0, magnitude = 0, direction = 0;
    };
    int window_;
    std::vector<Record> ring_;
    int index_ = 0;
    bool full_ = false;
    double result_ = 0;
};

constexpr double kRate = 100;
constexpr int kPeriod = 600;

void BM_RunningAverages(benchmark::State& state) {
    const std::vector<vx::WindSample> samples = MakeSamples(1 << 16);
    vx::WindStatistics stats;
    stats.SetOutputRate(kRate);
    stats.SetAveragingPeriod(kPeriod);
    for (int i = 0; i < vx::kAveragingCapacity; ++i) {  // start with a full window
        stats.UpdateAverages(samples[i % samples.size()]);
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(stats.UpdateAverages(samples[i++ & (samples.size() - 1)]));
        benchmark::DoNotOptimize(stats.Averages().vectorSpeed);
    }
    state.counters["window"] = stats.AveragingRing().Count();
}
BENCHMARK(BM_RunningAverages);

void BM_ResumAverages(benchmark::State& state) {
    const std::vector<vx::WindSample> samples = MakeSamples(1 << 16);
    const int window = vx::AveragingWindowFor(kPeriod, kRate);
    ResumAverages resum(window);
    resum.Fill(samples);
    std::size_t i = 0;
    for (auto _ : state) {
        resum.Update(samples[i++ & (samples.size() - 1)], 1.0);
        benchmark::DoNotOptimize(resum.Result());
    }
    state.counters["window"] = window;
}
BENCHMARK(BM_ResumAverages)->Unit(benchmark::kMicrosecond);

// The whole message path of a connection at the largest window: test, parse, statistics.
void BM_HandlePacket(benchmark::State& state) {
    vx::WindConnection connection;
    connection.ApplyFormat("VARN_UV_TWO_AXIS", "IUVN");
    connection.SetUnits(0);
    connection.SetOutputRate(kRate);
    connection.SetAveraging(10);
    std::vector<std::string> packets;
    std::mt19937 random(1);
    for (int k = 0; k < 1024; ++k) {
        char body[64];
        std::snprintf(body, sizeof body, "Q,%+07.2f,%+07.2f,M,00",
                      int(random() % 4000) / 100.0 - 20, int(random() % 4000) / 100.0 - 20);
        unsigned x = 0;
        for (const char* p = body; *p != 0; ++p) {
            x ^= static_cast<unsigned char>(*p);
        }
        char packet[80];
        std::snprintf(packet, sizeof packet, "\x02%s\x03%02X\r", body, x);
        packets.emplace_back(packet);
    }
    for (int k = 0; k < vx::kAveragingCapacity; ++k) {
        connection.HandlePacket(packets[k & 1023]);
    }
    std::size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(connection.HandlePacket(packets[k++ & 1023]));
    }
}
BENCHMARK(BM_HandlePacket);

}  // namespace

BENCHMARK_MAIN();
