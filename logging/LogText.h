#pragma once
// The text of a log file: header, record and closing lines, and the date and time texts they
// carry. Dates and times come from the user's regional formats, which only the GUI can read, so
// they are supplied through LogTimeFormatter.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// Every line of a log file ends with CR LF, whatever platform writes it, so files read the same
// wherever they are opened.
inline constexpr std::string_view kLogLineEnd = "\r\n";

struct LocalDateTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The local (wall-clock) date and time of a point in time.
LocalDateTime ToLocalDateTime(std::chrono::system_clock::time_point when);

// The log writer formats on its own thread, so each writer works on a copy of its own (Clone):
// an implementation need only be safe to use from one thread at a time.
class LogTimeFormatter {
public:
    virtual ~LogTimeFormatter() = default;
    virtual std::unique_ptr<LogTimeFormatter> Clone() const = 0;
    // A date alone in the short date format.
    virtual std::string DateText(const LocalDateTime& when) const = 0;
    // A time alone in the long time format.
    virtual std::string TimeText(const LocalDateTime& when) const = 0;
};

// Year-month-day and 24-hour time: used where no regional formats are available.
class PlainTimeFormatter : public LogTimeFormatter {
public:
    std::unique_ptr<LogTimeFormatter> Clone() const override;
    std::string DateText(const LocalDateTime& when) const override;
    std::string TimeText(const LocalDateTime& when) const override;
};

// Date, blank and time; the blank and the time are left out at exactly midnight.
std::string DateTimeText(const LogTimeFormatter& formatter, const LocalDateTime& when);

struct LogHeader {
    std::string caption;                   // the main window's caption
    std::vector<std::string> description;  // the log dialog's description, one entry a line
    std::string connectionName;            // as the user typed it
    std::string outputFormatName;
};

// The six header lines, description included, each ended by CR LF.
std::string LogHeaderText(const LogHeader& header, const LogTimeFormatter& formatter,
                          const LocalDateTime& opened);

struct RecordOptions {
    bool appendRecordCount = false;
    bool appendTimeStamp = false;
};

// One record line ended by CR LF: the message as processed, then ",<number>" and
// ",<date> <time>" as chosen.
std::string LogRecordText(std::string_view message, const RecordOptions& options, int recordNumber,
                          const LogTimeFormatter& formatter, const LocalDateTime& received);
// The same line appended to text, with the time stamp ("<date> <time>") already made.
void AppendLogRecord(std::string& text, std::string_view message, const RecordOptions& options,
                     int recordNumber, std::string_view stamp);

std::string LogClosingText(const LogTimeFormatter& formatter, const LocalDateTime& closed);

// Splits a multi-line text into its lines: LF or CR LF end a line, a final line end adds no
// empty line, and an empty text has no lines.
std::vector<std::string> SplitTextLines(std::string_view text);

// The error shown when a log file cannot be created or written.
std::string CannotCreateFileText(std::string_view fileName);
// The disk refused to keep what was written (a failed sync): those records go to a new file.
std::string CannotSaveFileText(std::string_view fileName);
// The open file was deleted or moved away by someone else.
std::string LogFileVanishedText(std::string_view fileName);
// The chosen folder stayed unwritable: records go to a file in the program's state folder.
std::string LogFallbackText(std::string_view fallbackFile, std::string_view folder);
// Nothing could be written anywhere and the memory set aside for waiting records is full.
std::string LogRecordsLostText(std::string_view connectionName);

}  // namespace vx
