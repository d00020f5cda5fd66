#pragma once
// The logging state of one connection and the operations the main window and the connection's
// message handling call: start, stop, segment requests and one record per accepted message.
// The files themselves belong to the connection's LogWriter, on its own thread: nothing here
// waits for a disk.

#include "logging/LogText.h"
#include "logging/LogWriter.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// What a connection's log reads from the rest of the program. The log dialog provides it.
class LogEnvironment {
public:
    virtual ~LogEnvironment() = default;
    virtual std::string LogCaption() const = 0;  // the main window's caption
    // The description at this moment; read whenever a file begins.
    virtual std::vector<std::string> LogDescription() const = 0;
    // Record number and time stamp switches; read when logging starts.
    virtual RecordOptions LogRecordOptions() const = 0;
    virtual const LogTimeFormatter& LogFormatter() const = 0;
    // Trouble with the log files ("Cannot create file <name>" and the like), told once per
    // episode; called on the user-interface thread from Tick, never inside message handling.
    virtual void ReportLogError(const std::string& message) = 0;
};

class LogClock {
public:
    virtual ~LogClock() = default;
    virtual std::chrono::system_clock::time_point WallNow() const = 0;
};
const LogClock& SystemLogClock();

class ConnectionLog {
public:
    explicit ConnectionLog(LogEnvironment& environment, const LogClock& clock = SystemLogClock(),
                           LogWriterSettings settings = {});
    ~ConnectionLog();
    ConnectionLog(const ConnectionLog&) = delete;
    ConnectionLog& operator=(const ConnectionLog&) = delete;

    // The connection's identity as the next file's header and name will show it. The
    // connection tells its log whenever they change, so a segment that begins later carries
    // the name and format of that moment.
    void SetConnectionName(std::string name) { connectionName_ = std::move(name); }
    void SetOutputFormatName(std::string name) { outputFormatName_ = std::move(name); }

    void StartLogging(const std::string& base);
    // Ends the current file (if one is open) and begins a new one with its header.
    void BeginLogFile();
    // Ends the current file: its closing line follows the last record.
    void WriteLogFile();
    void StopLogging();
    void RequestNewLogFile() { newLogFileRequested_ = true; }

    // One accepted message, as the connection processed it.
    void LogMessage(std::string_view message);

    // Called several times a second on the user-interface thread (LogFlushTimer): passes on
    // what the writer has to tell.
    void Tick();

    bool Logging() const { return logging_; }
    bool NewLogFileRequested() const { return newLogFileRequested_; }
    int RecordCount() const { return recordCount_; }
    const std::string& LogFileBase() const { return logFileBase_; }
    bool AppendRecordCount() const { return options_.appendRecordCount; }
    bool AppendTimeStamp() const { return options_.appendTimeStamp; }
    // Records (or header and closing lines) handed over but not yet durable on disk.
    bool HasUnwrittenRecords() const;
    // Name of the file records go to now, empty when not logging.
    std::string CurrentLogFileName() const;
    int SyncCount() const;
    long LostRecords() const;
    std::size_t WaitingBytes() const;
    // For tests and benchmarks: waits until everything handed over is durable.
    bool WaitUntilWritten(std::chrono::milliseconds timeout);

private:
    LogWriter& Writer();
    void EndCurrentFile();
    void AddNewFile();

    LogEnvironment& environment_;
    const LogClock& clock_;
    LogWriterSettings settings_;
    std::unique_ptr<LogWriter> writer_;  // made at the first Start
    std::string connectionName_;
    std::string outputFormatName_;

    bool logging_ = false;
    bool fileOpen_ = false;
    bool newRun_ = false;
    std::string logFileBase_;
    RecordOptions options_;
    bool newLogFileRequested_ = false;
    int recordCount_ = 0;
};

}  // namespace vx
