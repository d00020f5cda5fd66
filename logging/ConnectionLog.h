#pragma once
// The logging state of one connection and the operations the main window and the connection's
// message handling call: start, stop, segment requests and one record per accepted message.
// Every file is written as it grows; see LogFile.

#include "logging/LogFile.h"
#include "logging/LogText.h"

#include <chrono>
#include <deque>
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
    // A file could not be created or written ("Cannot create file <name>"). Called once per
    // failure episode of a connection, as the last step of the operation that met it.
    virtual void ReportLogError(const std::string& message) = 0;
};

class LogClock {
public:
    virtual ~LogClock() = default;
    virtual std::chrono::system_clock::time_point WallNow() const = 0;
    virtual std::chrono::steady_clock::time_point SteadyNow() const = 0;
};
const LogClock& SystemLogClock();

class ConnectionLog {
public:
    // Records reach the disk at once; syncs are batched to at most one a second per file.
    static constexpr std::chrono::milliseconds kSyncInterval{1000};

    explicit ConnectionLog(LogEnvironment& environment, const LogClock& clock = SystemLogClock());
    ~ConnectionLog();
    ConnectionLog(const ConnectionLog&) = delete;
    ConnectionLog& operator=(const ConnectionLog&) = delete;

    // The connection's identity as the next file's header and name will show it.
    void SetConnectionName(std::string name) { connectionName_ = std::move(name); }
    void SetOutputFormatName(std::string name) { outputFormatName_ = std::move(name); }

    void StartLogging(const std::string& base);
    // Ends the current file (if one is open) and begins a new one with its header.
    void BeginLogFile();
    // Adds the closing line; the file is finished on disk as soon as the disk takes it.
    void WriteLogFile();
    // True when every record reached the disk; otherwise the rest follows on later ticks.
    bool StopLogging();
    void RequestNewLogFile() { newLogFileRequested_ = true; }

    // One accepted message, as the connection processed it.
    void LogMessage(std::string_view message);

    // Called several times a second (LogFlushTimer): retries what waits, and syncs what was
    // written once the last sync is a second old, so a record followed by silence is durable
    // within about a second.
    void Tick();

    bool Logging() const { return logging_; }
    bool NewLogFileRequested() const { return newLogFileRequested_; }
    int RecordCount() const { return recordCount_; }
    const std::string& LogFileBase() const { return logFileBase_; }
    bool AppendRecordCount() const { return options_.appendRecordCount; }
    bool AppendTimeStamp() const { return options_.appendTimeStamp; }
    // Records (or header and closing lines) accepted but not yet in a file.
    bool HasUnwrittenRecords() const;
    // Name of the file records go to now, empty when not logging.
    std::string CurrentLogFileName() const;
    int SyncCount() const { return syncCount_; }

private:
    LogFile* CurrentFile() const;
    LocalDateTime LocalNow() const;
    void EndCurrentFile();
    void AddNewFile();
    bool FlushFiles();
    // The report is the operation's last step: it may show a modal box, during which more
    // messages can arrive and enter this object again.
    void FlushAndReport();

    LogEnvironment& environment_;
    const LogClock& clock_;
    std::string connectionName_;
    std::string outputFormatName_;

    bool logging_ = false;
    std::string logFileBase_;
    RecordOptions options_;
    bool newLogFileRequested_ = false;
    int recordCount_ = 0;

    // Oldest first; files leave when finished on disk. Later files wait for earlier ones so
    // numbers are taken in the order the files began.
    std::deque<std::unique_ptr<LogFile>> files_;
    bool errorReported_ = false;
    std::string failedFileName_;
    int syncCount_ = 0;
};

}  // namespace vx
