#pragma once
// One log file as the connection began it (from a Start or a segment boundary to the next), on
// the log writer's thread. Its records normally make one file in the chosen folder; when that
// file fails they continue in further files, each complete with the same header, its own
// record numbers from 1 and a closing line, so nothing that was handed over is lost.

#include "logging/LogFile.h"
#include "logging/LogStamps.h"
#include "logging/LogWriter.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace vx {

enum class LogFailure { kCreate, kWrite, kSync, kVanished };

// Where a segment's reports go: to the user, through the writer.
class LogReports {
public:
    virtual ~LogReports() = default;
    virtual void Tell(std::string text) = 0;
};

// What the user has been told in the current episode of trouble: each kind of trouble once,
// until everything is durable in the chosen folder again.
struct LogTold {
    bool failure = false;
    bool fallback = false;
    bool fallbackFailure = false;
};

struct LogRecord {
    std::string message;
    LogWallTime received;
};

// What a waiting record is counted as against the memory bound: its text plus what holding it
// costs (the record itself and the allocation of its text).
inline std::size_t LogRecordCost(std::size_t messageBytes) {
    return messageBytes + 64;
}

class LogSegment {
public:
    using SteadyTime = std::chrono::steady_clock::time_point;

    LogSegment(LogFileStart start, const LogWriterSettings& settings, LogStamps& stamps,
               LogReports& reports);
    LogSegment(const LogSegment&) = delete;
    LogSegment& operator=(const LogSegment&) = delete;

    void Add(LogRecord record);
    void End(LogWallTime closed);
    // The segment before this one is still in trouble in the same folder: its episode goes on
    // (the 10 s already run, and nothing is told twice).
    void InheritTrouble(const LogSegment& previous);

    // Does whatever is due: create, write, sync, check, change files.
    void Pump(SteadyTime now);

    bool Ended() const { return ended_; }
    // Ended, and everything is durable in closed files.
    bool Done() const { return done_; }
    // Everything handed over so far is durable on disk (the file may still be growing).
    bool Durable() const;
    // A failure since the last time everything was durable in the chosen folder.
    std::optional<SteadyTime> FailingSince() const { return failingSince_; }
    bool Troubled() const { return failingSince_.has_value() || fallback_; }
    const std::string& PrimaryFolder() const { return pattern_.Folder(); }
    const std::string& FileName() const { return file_.Name(); }
    std::size_t HeldBytes() const { return heldBytes_; }
    int SyncCount() const { return syncCount_; }

private:
    bool OpenFile(SteadyTime now);
    bool OpenFallbackFile(SteadyTime now);
    void StartFile(SteadyTime now);
    bool WritePending();
    bool WriteClosing(LogWallTime closed);
    bool SyncAndCheck(SteadyTime now);
    void Confirm();
    void ReturnToFolder(SteadyTime now);
    void Fail(LogFailure failure, SteadyTime now);
    void RequeueUnconfirmed();
    void TellFailure(LogFailure failure, const std::string& fileName);

    LogFileStart start_;
    const LogWriterSettings& settings_;
    LogStamps& stamps_;
    LogReports& reports_;
    LogFileNamePattern pattern_;
    LogFileNamePattern fallbackPattern_;
    std::string headerText_;

    std::deque<LogRecord> pending_;      // not yet in the current file
    std::deque<LogRecord> unconfirmed_;  // in the current file, not yet synced and checked
    std::size_t heldBytes_ = 0;

    LogFile file_;
    bool fallback_ = false;  // the current (or next) file is in the fallback folder
    bool headerWritten_ = false;
    bool closingWritten_ = false;
    bool dirty_ = false;  // written since the last sync
    bool unconfirmedWrites_ = false;
    bool confirmedOnce_ = false;  // the current file holds durable records
    int fileRecords_ = 0;
    int syncCount_ = 0;

    bool ended_ = false;
    LogWallTime closedAt_{};
    bool done_ = false;

    std::optional<SteadyTime> failingSince_;
    LogTold told_;
    SteadyTime nextAttempt_{};
    SteadyTime nextReturn_{};
    SteadyTime lastSync_{};
    SteadyTime lastCheck_{};
};

}  // namespace vx
