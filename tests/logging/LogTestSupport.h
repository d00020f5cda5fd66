#pragma once
// Shared pieces of the log tests: an environment that records reports, a clock the test moves,
// and a scratch folder that is removed afterwards.

#include "logging/ConnectionLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
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

class ManualClock : public LogClock {
public:
    std::chrono::system_clock::time_point WallNow() const override { return wall; }
    std::chrono::steady_clock::time_point SteadyNow() const override { return steady; }
    void Advance(std::chrono::milliseconds step) {
        wall += step;
        steady += step;
    }

    std::chrono::system_clock::time_point wall;
    std::chrono::steady_clock::time_point steady;
};

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

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vx-logtest-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline std::vector<std::string> FileNamesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace vx::test
