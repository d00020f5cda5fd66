#pragma once
// One log file on disk, written as it grows so that a crash loses at most the last second.
// Text waits in memory only while the file cannot be created or written; it goes out in order
// as soon as the disk takes it again.

#include "logging/LogFileName.h"

#include <chrono>
#include <string>
#include <string_view>

namespace vx {

class LogFile {
public:
    using SteadyTime = std::chrono::steady_clock::time_point;

    // The file's name is chosen when it is created (first free number of the pattern).
    LogFile(std::string_view base, std::string_view connectionName);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    void Append(std::string_view text);
    // No more text follows: once everything is written the file is synced and closed.
    void End();

    // Creates the file if it does not exist yet, writes what waits, and syncs when the last
    // sync is at least syncInterval ago (at once when the file has ended). False on failure;
    // what could not be written stays queued for the next try.
    bool Flush(SteadyTime now, std::chrono::milliseconds syncInterval);

    bool Ended() const { return ended_; }
    bool Closed() const { return closed_; }
    bool HasUnwrittenText() const { return pending_.size() > written_; }
    // The file's name once created, else the name the last failed attempt tried.
    const std::string& Name() const { return name_; }
    int SyncCount() const { return syncCount_; }

private:
    bool Create();
    bool WritePending();
    bool Sync(SteadyTime now);
    bool Close();

    LogFileNamePattern pattern_;
    std::string name_;
    std::string folder_;
    int fd_ = -1;
    std::string pending_;
    size_t written_ = 0;  // bytes at the front of pending_ already in the file
    bool ended_ = false;
    bool closed_ = false;
    bool dirty_ = false;  // written but not yet synced
    bool everSynced_ = false;
    SteadyTime lastSync_{};
    int syncCount_ = 0;
};

}  // namespace vx
