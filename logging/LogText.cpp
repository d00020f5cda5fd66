#include "logging/LogText.h"

#include <charconv>
#include <ctime>
#include <iterator>

namespace vx {
namespace {

std::string TwoDigits(int value) {
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

}  // namespace

LocalDateTime ToLocalDateTime(std::chrono::system_clock::time_point when) {
    const auto seconds = std::chrono::time_point_cast<std::chrono::seconds>(when);
    auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(when - seconds).count();
    std::time_t stamp = std::chrono::system_clock::to_time_t(seconds);
    if (millis < 0) {  // times before 1970 round toward the earlier second
        millis += 1000;
        stamp -= 1;
    }
    std::tm parts{};
    localtime_r(&stamp, &parts);
    return LocalDateTime{parts.tm_year + 1900,    parts.tm_mon + 1, parts.tm_mday,
                         parts.tm_hour,           parts.tm_min,     parts.tm_sec,
                         static_cast<int>(millis)};
}

std::unique_ptr<LogTimeFormatter> PlainTimeFormatter::Clone() const {
    return std::make_unique<PlainTimeFormatter>(*this);
}

std::string PlainTimeFormatter::DateText(const LocalDateTime& when) const {
    return std::to_string(when.year) + "-" + TwoDigits(when.month) + "-" + TwoDigits(when.day);
}

std::string PlainTimeFormatter::TimeText(const LocalDateTime& when) const {
    return TwoDigits(when.hour) + ":" + TwoDigits(when.minute) + ":" + TwoDigits(when.second);
}

std::string DateTimeText(const LogTimeFormatter& formatter, const LocalDateTime& when) {
    std::string text = formatter.DateText(when);
    if (when.hour != 0 || when.minute != 0 || when.second != 0) {
        text += ' ';
        text += formatter.TimeText(when);
    }
    return text;
}

std::string LogHeaderText(const LogHeader& header, const LogTimeFormatter& formatter,
                          const LocalDateTime& opened) {
    std::string text = header.caption + " Log File ";
    text += kLogLineEnd;
    for (const std::string& line : header.description) {
        text += line;
        text += kLogLineEnd;
    }
    text += "Name: " + header.connectionName;
    text += kLogLineEnd;
    text += "Output Format: " + header.outputFormatName;
    text += kLogLineEnd;
    text += "Log file opened: " + DateTimeText(formatter, opened);
    text += kLogLineEnd;
    text += kLogLineEnd;
    return text;
}

std::string LogRecordText(std::string_view message, const RecordOptions& options, int recordNumber,
                          const LogTimeFormatter& formatter, const LocalDateTime& received) {
    std::string stamp;
    if (options.appendTimeStamp) {
        stamp = formatter.DateText(received) + ' ' + formatter.TimeText(received);
    }
    std::string text;
    AppendLogRecord(text, message, options, recordNumber, stamp);
    return text;
}

void AppendLogRecord(std::string& text, std::string_view message, const RecordOptions& options,
                     int recordNumber, std::string_view stamp) {
    text += message;
    if (options.appendRecordCount) {
        char digits[16];
        const auto end = std::to_chars(std::begin(digits), std::end(digits), recordNumber).ptr;
        text += ',';
        text.append(digits, end);
    }
    if (options.appendTimeStamp) {
        text += ',';
        text += stamp;
    }
    text += kLogLineEnd;
}

std::string LogClosingText(const LogTimeFormatter& formatter, const LocalDateTime& closed) {
    std::string text = "Log file closed: " + DateTimeText(formatter, closed);
    text += kLogLineEnd;
    return text;
}

std::vector<std::string> SplitTextLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string CannotCreateFileText(std::string_view fileName) {
    return "Cannot create file " + std::string(fileName);
}

std::string CannotSaveFileText(std::string_view fileName) {
    return "Cannot save file " + std::string(fileName) +
           " to disk: its last records are written again into a new file";
}

std::string LogFileVanishedText(std::string_view fileName) {
    return "Log file " + std::string(fileName) +
           " was deleted or moved: logging goes on in a new file";
}

std::string LogFallbackText(std::string_view fallbackFile, std::string_view folder) {
    return "Log records go to " + std::string(fallbackFile) + " until " + std::string(folder) +
           " can be written again";
}

std::string LogRecordsLostText(std::string_view connectionName) {
    return "Log records of " + std::string(connectionName) +
           " are being lost: no log file can be written";
}

}  // namespace vx
