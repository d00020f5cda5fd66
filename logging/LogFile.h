#pragma once
// One log file on disk, as the log writer's thread sees it: created at the first free number of
// its name pattern, appended to, synced and checked that it is still where it was created.
// Used on one thread only.

#include "logging/LogFileName.h"

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace vx {

// Makes what was written to a file durable: fdatasync, unless a test puts a double in its place.
using LogSyncFunction = std::function<int(int fd)>;

class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    LogFile(LogFile&& other) noexcept;
    LogFile& operator=(LogFile&& other) noexcept;

    // Creates the first name of the pattern that is not taken. On failure Name() is the name
    // that could not be created.
    bool Create(const LogFileNamePattern& pattern);
    bool Write(std::string_view text);
    // Syncs the data written so far (and, the first time, the folder entry that finds it).
    bool Sync(const LogSyncFunction& sync);
    // False once the open file was deleted, or moved or replaced under its name.
    bool StillInPlace() const;
    // The open file still has a name somewhere (it was moved, not deleted).
    bool StillLinked() const;
    void Close();
    // Closes the file and removes it from its folder when it is still the one there.
    void Discard();

    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Name() const { return name_; }

private:
    std::string name_;
    std::string folder_;
    int fd_ = -1;
    bool folderSynced_ = false;
};

}  // namespace vx
