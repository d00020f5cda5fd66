#include "logging/LogStamps.h"

namespace vx {

LogStamps::LogStamps(std::unique_ptr<LogTimeFormatter> formatter)
    : formatter_(std::move(formatter)) {}

const std::string& LogStamps::RecordStamp(WallTime when) {
    const std::time_t second =
        std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(when));
    if (second != stampSecond_) {
        const LocalDateTime local = ToLocalDateTime(when);
        stamp_ = formatter_->DateText(local) + ' ' + formatter_->TimeText(local);
        stampSecond_ = second;
    }
    return stamp_;
}

std::string LogStamps::HeaderText(const LogHeader& header, WallTime opened) {
    return LogHeaderText(header, *formatter_, ToLocalDateTime(opened));
}

std::string LogStamps::ClosingText(WallTime closed) {
    return LogClosingText(*formatter_, ToLocalDateTime(closed));
}

}  // namespace vx
