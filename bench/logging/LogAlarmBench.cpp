// Costs on the user-interface thread per accepted message: the log record (formatted, written,
// synced once a second) and the alarm tests.

#include "alarm/AlarmCheck.h"
#include "logging/ConnectionLog.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class BenchEnvironment : public vx::LogEnvironment {
public:
    std::string LogCaption() const override { return "Ventrix"; }
    std::vector<std::string> LogDescription() const override { return {"Benchmark mast"}; }
    vx::RecordOptions LogRecordOptions() const override { return {true, true}; }
    const vx::LogTimeFormatter& LogFormatter() const override { return formatter_; }
    void ReportLogError(const std::string&) override { ++errors; }
    int errors = 0;

private:
    vx::PlainTimeFormatter formatter_;
};

std::filesystem::path ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vx-logbench-XXXXXX").string();
    return mkdtemp(pattern.data());
}

constexpr const char* kMessage =
    "Q,+001.23,-004.56,+000.12,M,00,\x03"
    "2B";

void BM_LogMessageToDisk(benchmark::State& state) {
    const auto folder = ScratchFolder();
    BenchEnvironment environment;
    vx::ConnectionLog log(environment);
    log.SetConnectionName("Bench");
    log.SetOutputFormatName("VARN_UVW");
    log.StartLogging((folder / "Varn Log.txt").string());
    for (auto _ : state) {
        log.LogMessage(kMessage);
    }
    log.StopLogging();
    state.counters["syncs"] = log.SyncCount();
    state.counters["bytes"] =
        static_cast<double>(std::filesystem::file_size(folder / "Varn Log [Bench]-0.txt"));
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LogMessageToDisk)->MinTime(2.0);

// A folder that is missing: every record is kept in memory and retried.
void BM_LogMessageWhileFolderMissing(benchmark::State& state) {
    const auto folder = ScratchFolder();
    BenchEnvironment environment;
    vx::ConnectionLog log(environment);
    log.SetConnectionName("Bench");
    log.StartLogging((folder / "missing/Varn Log.txt").string());
    for (auto _ : state) {
        log.LogMessage(kMessage);
    }
    std::filesystem::create_directory(folder / "missing");
    log.StopLogging();
    state.counters["written"] = log.HasUnwrittenRecords() ? 0 : 1;
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LogMessageWhileFolderMissing)->Iterations(200000);

class NullSink : public vx::AlarmSink {
public:
    void RaiseSpeedAlarm(const std::string&) override { ++raised; }
    void RaiseDirectionAlarm(const std::string&) override { ++raised; }
    int raised = 0;
};

void BM_CheckAlarms(benchmark::State& state) {
    vx::AlarmSettings settings;
    settings.SpeedAlarmOn = true;
    settings.TriggerAbove = true;
    settings.SpeedThreshold = 50;
    settings.DirectionAlarmOn = true;
    settings.DirectionFrom = 350;
    settings.DirectionTo = 10;
    vx::ConnectionAlarms alarms;
    alarms.SetAlarmSettings(settings);
    NullSink sink;
    const std::string name = "Anemometer 1";
    double direction = 0;
    for (auto _ : state) {
        direction = direction >= 340 ? 20 : direction + 1;
        alarms.CheckAlarms(name, 12.5, direction, sink);
        benchmark::DoNotOptimize(sink.raised);
    }
}
BENCHMARK(BM_CheckAlarms);

}  // namespace

BENCHMARK_MAIN();
