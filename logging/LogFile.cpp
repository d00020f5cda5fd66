#include "logging/LogFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

namespace vx {

LogFile::LogFile(std::string_view base, std::string_view connectionName)
    : pattern_(base, connectionName),
      name_(pattern_.Candidate(0)),
      folder_(SplitLogPath(base).folder) {}

LogFile::~LogFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void LogFile::Append(std::string_view text) {
    pending_.append(text);
}

void LogFile::End() {
    ended_ = true;
}

bool LogFile::Flush(SteadyTime now, std::chrono::milliseconds syncInterval) {
    if (closed_) {
        return true;
    }
    if (fd_ < 0 && !Create()) {
        return false;
    }
    if (!WritePending()) {
        return false;
    }
    const bool syncDue = !everSynced_ || ended_ || now - lastSync_ >= syncInterval;
    if (dirty_ && syncDue && !Sync(now)) {
        return false;
    }
    if (ended_) {
        return Close();
    }
    return true;
}

bool LogFile::Create() {
    // O_EXCL makes taking a number atomic: another connection or program that creates the
    // same name first makes us move on to the next number instead of overwriting its file.
    for (int number = 0;; ++number) {
        name_ = pattern_.Candidate(number);
        const int fd =
            ::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            fd_ = fd;
            dirty_ = true;  // the new directory entry needs syncing too
            return true;
        }
        if (errno != EEXIST || number == kLastLogFileNumber) {
            return false;
        }
    }
}

bool LogFile::WritePending() {
    while (written_ < pending_.size()) {
        const ssize_t count = ::write(fd_, pending_.data() + written_, pending_.size() - written_);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written_ += static_cast<size_t>(count);
        dirty_ = true;
    }
    pending_.clear();
    written_ = 0;
    return true;
}

bool LogFile::Sync(SteadyTime now) {
    if (::fdatasync(fd_) != 0) {
        return false;
    }
    if (!everSynced_) {
        // A file that survives a crash must also be found: sync the folder's entry for it once.
        const std::string folder = folder_.empty() ? "." : folder_;
        const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
    }
    everSynced_ = true;
    dirty_ = false;
    lastSync_ = now;
    ++syncCount_;
    return true;
}

bool LogFile::Close() {
    const int fd = fd_;
    fd_ = -1;
    closed_ = true;
    return ::close(fd) == 0;
}

}  // namespace vx
