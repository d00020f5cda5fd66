#pragma once
// The log writer of one connection: it owns the connection's log files on a thread of its own,
// so the thread that hands records over never waits for a file to be created, written or
// synced, however slow or broken the disk. Each connection has its own writer: a disk that
// hangs for one connection's folder cannot hold back another connection's records.
//
// What it promises: records reach their file in the order they were handed over; what was
// written is synced within about a second; a file that cannot be created or written, that
// fails to sync, or that is deleted or moved away while open holds back only its own records,
// which go to a new file (the next free number) or, when the chosen folder stays unwritable,
// to a fallback file in the program's state folder until the folder works again. Records wait
// in memory only up to a bound; the user is told each kind of trouble once per episode.

#include "logging/LogFile.h"
#include "logging/LogText.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

using LogWallTime = std::chrono::system_clock::time_point;

// Everything a new file needs, as it stands at the moment the file begins.
struct LogFileStart {
    std::string base;            // the user's log file name: folder and prefix
    std::string connectionName;  // as it goes into the file name
    LogHeader header;
    LogWallTime opened;
    RecordOptions options;
    bool newRun = false;  // the first file after a Start: troubles are told afresh
};

struct LogWriterTimings {
    std::chrono::milliseconds syncInterval{1000};
    // How often an open file is checked to be still where it was created.
    std::chrono::milliseconds placeCheckInterval{1000};
    std::chrono::milliseconds retryInterval{250};
    // How long the chosen folder may fail before records go to the fallback folder.
    std::chrono::milliseconds fallbackAfter{10000};
    // How often, while in the fallback folder, the chosen folder is tried again.
    std::chrono::milliseconds returnInterval{1000};
    // How long handed-over records may wait before the thread takes them.
    std::chrono::milliseconds pollInterval{50};
};

// Memory for records waiting to be made durable, per connection: at 100 messages a second of
// 40 bytes that is well over half an hour of an unwritable disk.
inline constexpr std::size_t kMaxWaitingLogBytes = 15u * 1024u * 1024u;

struct LogWriterSettings {
    LogWriterSettings();
    std::string fallbackFolder;
    std::size_t maxWaitingBytes = kMaxWaitingLogBytes;
    LogWriterTimings timings;
    LogSyncFunction sync;
};

struct LogWriterStatus {
    bool unwritten = false;  // something handed over is not yet durable in a closed file
    std::size_t waitingBytes = 0;
    std::string currentFile;  // the file records go to now (or the one that failed)
    int syncCount = 0;
    long lostRecords = 0;
};

class LogWriter {
public:
    virtual ~LogWriter() = default;

    // Ends the current file, if any, and begins a new one.
    virtual void BeginFile(LogFileStart start) = 0;
    // False when the record was refused: the memory for waiting records is full because
    // nothing can be written anywhere.
    virtual bool AddRecord(std::string_view message, LogWallTime received) = 0;
    virtual void EndFile(LogWallTime closed) = 0;

    virtual LogWriterStatus Status() const = 0;
    // The texts to tell the user since the last call, oldest first.
    virtual std::vector<std::string> TakeReports() = 0;
    // For tests, benchmarks and the end of the program: waits until nothing is unwritten.
    virtual bool WaitUntilWritten(std::chrono::milliseconds timeout) = 0;
};

// The writer formats dates and times with its own formatter, used on its thread only.
std::unique_ptr<LogWriter> MakeLogWriter(std::unique_ptr<LogTimeFormatter> formatter,
                                         LogWriterSettings settings = {});

// The sync that new writers use. Tests put a double in its place to make a sync fail or take
// its time; an empty function restores fdatasync. Returns the previous one.
LogSyncFunction SetLogSyncHook(LogSyncFunction sync);

}  // namespace vx
