#pragma once
// The dates and times a log writer puts into its files. Records arrive many times a second, so
// the local time and its texts are worked out once per second and reused.

#include "logging/LogText.h"

#include <chrono>
#include <ctime>
#include <memory>
#include <string>

namespace vx {

class LogStamps {
public:
    using WallTime = std::chrono::system_clock::time_point;

    explicit LogStamps(std::unique_ptr<LogTimeFormatter> formatter);

    // "<date> <time>" as a record carries it.
    const std::string& RecordStamp(WallTime when);
    std::string HeaderText(const LogHeader& header, WallTime opened);
    std::string ClosingText(WallTime closed);

private:
    std::unique_ptr<LogTimeFormatter> formatter_;
    std::time_t stampSecond_ = -1;
    std::string stamp_;
};

}  // namespace vx
