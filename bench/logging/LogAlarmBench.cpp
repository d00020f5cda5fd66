// Costs on the user-interface thread per accepted message: handing the log record to the
// connection's log writer (which formats, writes and syncs it on its own thread) and the alarm
// tests; and how many records a second the writer puts on disk.

#include "alarm/AlarmCheck.h"
#include "logging/ConnectionLog.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

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
// A batch that fits the memory set aside for waiting records, so none is refused whatever the
// writer's pace.
constexpr int kBatch = 100000;

vx::LogWriterSettings SettingsWithSync(vx::LogSyncFunction sync) {
    vx::LogWriterSettings settings;
    if (sync) {
        settings.sync = std::move(sync);
    }
    return settings;
}

// What LogMessage costs the user-interface thread: arg 0 with the real sync, arg 1 with every
// sync taking 500 ms (a slow USB stick or network share).
void BM_LogMessageHandOver(benchmark::State& state) {
    const auto folder = ScratchFolder();
    BenchEnvironment environment;
    vx::LogSyncFunction slowSync;
    if (state.range(0) == 1) {
        slowSync = [](int fd) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            return ::fdatasync(fd);
        };
    }
    vx::ConnectionLog log(environment, vx::SystemLogClock(), SettingsWithSync(slowSync));
    log.SetConnectionName("Bench");
    log.SetOutputFormatName("VARN_UVW");
    log.StartLogging((folder / "Varn Log.txt").string());
    for (auto _ : state) {
        log.LogMessage(kMessage);
    }
    log.StopLogging();
    log.WaitUntilWritten(std::chrono::minutes(2));
    state.counters["lost"] = static_cast<double>(log.LostRecords());
    state.counters["syncs"] = log.SyncCount();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LogMessageHandOver)->Arg(0)->Arg(1)->Iterations(kBatch)->Repetitions(3);

// The same at an instrument's pace: bursts of 100 records (a second at 100 Hz) with pauses in
// which the writer catches up, as in use; the time is per burst, per_record the cost of one.
void BM_LogMessageHandOverPaced(benchmark::State& state) {
    constexpr int kBurst = 100;
    const auto folder = ScratchFolder();
    BenchEnvironment environment;
    vx::ConnectionLog log(environment);
    log.SetConnectionName("Bench");
    log.SetOutputFormatName("VARN_UVW");
    log.StartLogging((folder / "Varn Log.txt").string());
    for (auto _ : state) {
        for (int i = 0; i < kBurst; ++i) {
            log.LogMessage(kMessage);
        }
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        state.ResumeTiming();
    }
    log.StopLogging();
    log.WaitUntilWritten(std::chrono::minutes(2));
    state.counters["per_record"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBurst,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["lost"] = static_cast<double>(log.LostRecords());
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LogMessageHandOverPaced)->Iterations(200)->UseRealTime();

// Records a second from the first hand-over until all are durable in the closed file.
void BM_RecordsToDisk(benchmark::State& state) {
    const auto folder = ScratchFolder();
    BenchEnvironment environment;
    for (auto _ : state) {
        vx::ConnectionLog log(environment);
        log.SetConnectionName("Bench");
        log.SetOutputFormatName("VARN_UVW");
        const auto began = std::chrono::steady_clock::now();
        log.StartLogging((folder / "Varn Log.txt").string());
        for (int i = 0; i < kBatch; ++i) {
            log.LogMessage(kMessage);
        }
        log.StopLogging();
        log.WaitUntilWritten(std::chrono::minutes(2));
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
        state.counters["lost"] = static_cast<double>(log.LostRecords());
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_RecordsToDisk)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// A folder that is missing: every record waits in memory.
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
    state.counters["written"] = log.WaitUntilWritten(std::chrono::minutes(2)) ? 1 : 0;
    state.counters["lost"] = static_cast<double>(log.LostRecords());
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LogMessageWhileFolderMissing)->Iterations(kBatch);

class NullSink : public vx::AlarmSink {
public:
    void RaiseSpeedAlarm(const std::string&) override { ++raised; }
    void RaiseDirectionAlarm(const std::string&) override { ++raised; }
    void RaiseNoDataAlarm(const std::string&) override { ++raised; }
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
