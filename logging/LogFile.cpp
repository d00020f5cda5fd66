#include "logging/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <utility>

namespace vx {

LogFile::~LogFile() {
    Close();
}

LogFile::LogFile(LogFile&& other) noexcept
    : name_(std::move(other.name_)),
      folder_(std::move(other.folder_)),
      fd_(std::exchange(other.fd_, -1)),
      folderSynced_(other.folderSynced_) {}

LogFile& LogFile::operator=(LogFile&& other) noexcept {
    if (this != &other) {
        Close();
        name_ = std::move(other.name_);
        folder_ = std::move(other.folder_);
        fd_ = std::exchange(other.fd_, -1);
        folderSynced_ = other.folderSynced_;
    }
    return *this;
}

bool LogFile::Create(const LogFileNamePattern& pattern) {
    Close();
    folderSynced_ = false;
    folder_ = pattern.Folder().empty() ? "." : pattern.Folder();
    // O_EXCL makes taking a number atomic: another connection or program that creates the
    // same name first makes us move on to the next number instead of overwriting its file.
    for (int number = 0;; ++number) {
        name_ = pattern.Candidate(number);
        const int fd =
            ::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            fd_ = fd;
            return true;
        }
        if (errno != EEXIST || number == kLastLogFileNumber) {
            return false;
        }
    }
}

bool LogFile::Write(std::string_view text) {
    while (!text.empty()) {
        const ssize_t count = ::write(fd_, text.data(), text.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text.remove_prefix(static_cast<size_t>(count));
    }
    return true;
}

bool LogFile::Sync(const LogSyncFunction& sync) {
    // A failed sync is never retried on the same file: Linux reports success on the retry after
    // it has dropped the pages that failed, so the caller writes those records again elsewhere.
    if (sync(fd_) != 0) {
        return false;
    }
    if (!folderSynced_) {
        // A file that survives a crash must also be found: sync the folder's entry for it once.
        const int dirFd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
        folderSynced_ = true;
    }
    return true;
}

bool LogFile::StillInPlace() const {
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd_, &opened) != 0 || opened.st_nlink == 0) {
        return false;
    }
    if (::stat(name_.c_str(), &named) != 0) {
        return false;
    }
    return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

bool LogFile::StillLinked() const {
    struct stat opened {};
    return ::fstat(fd_, &opened) == 0 && opened.st_nlink > 0;
}

void LogFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void LogFile::Discard() {
    if (fd_ >= 0 && StillInPlace()) {
        ::unlink(name_.c_str());
    }
    Close();
}

}  // namespace vx
