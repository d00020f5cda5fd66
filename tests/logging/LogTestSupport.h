#pragma once
// Shared pieces of the log tests: an environment that records reports, a clock the test moves,
// and a sync double.

#include "logging/ConnectionLog.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vx::test {

class RecordingEnvironment : public LogEnvironment {
public:
    std::string LogCaption() const override { return "Ventrix"; }
    std::vector<std::string> LogDescription() const override { return description; }
    RecordOptions LogRecordOptions() const override { return options; }
    const LogTimeFormatter& LogFormatter() const override { return formatter; }
    void ReportLogError(const std::string& message) override { errors.push_back(message); }

    std::vector<std::string> description;
    RecordOptions options;
    PlainTimeFormatter formatter;
    std::vector<std::string> errors;
};

// The wall clock the connection reads when a file begins or ends and when a record arrives.
class ManualClock : public LogClock {
public:
    std::chrono::system_clock::time_point WallNow() const override { return wall; }
    void Advance(std::chrono::milliseconds step) { wall += step; }

    std::chrono::system_clock::time_point wall;
};

// Stands in for fdatasync, which cannot be made to fail or to take its time on a healthy disk:
// it counts calls, fails the ones chosen and may wait before doing the real sync. Used on the
// writers' threads.
class SyncDouble {
public:
    LogSyncFunction Function() {
        return [this](int fd) {
            const int call = ++calls_;
            if (delay_.count() > 0) {
                std::this_thread::sleep_for(delay_);
            }
            if (call == failCall_) {
                return -1;
            }
            return ::fdatasync(fd);
        };
    }
    void FailCall(int call) { failCall_ = call; }
    void Delay(std::chrono::milliseconds delay) { delay_ = delay; }
    int Calls() const { return calls_; }

private:
    std::atomic<int> calls_{0};
    std::atomic<int> failCall_{0};
    std::chrono::milliseconds delay_{0};
};

// Reports reach the environment only through Tick, as on the user-interface thread.
inline bool EventuallyReported(ConnectionLog& log, const RecordingEnvironment& environment,
                               std::size_t count) {
    return WaitUntil([&] {
        log.Tick();
        return environment.errors.size() >= count;
    });
}

inline constexpr std::chrono::seconds kWriteDeadline{20};

// Wall-clock times in the tests are written in UTC.
inline std::chrono::system_clock::time_point UtcTime(int year, int month, int day, int hour,
                                                     int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    return std::chrono::system_clock::from_time_t(timegm(&parts));
}

inline void UseUtc() {
    setenv("TZ", "UTC", 1);
    tzset();
}

inline std::vector<std::string> FileNamesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    if (!std::filesystem::is_directory(folder)) {
        return names;
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace vx::test
