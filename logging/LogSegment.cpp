#include "logging/LogSegment.h"

#include <sys/stat.h>
#include <cerrno>
#include <iterator>

namespace vx {
namespace {

// Big batches go out in pieces, so a backlog does not need a second copy of itself in memory.
constexpr std::size_t kWriteChunkBytes = 256 * 1024;

// The state folder holds nobody else's business: private to the user, as the XDG rules ask.
bool MakePrivateFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

}  // namespace

LogSegment::LogSegment(LogFileStart start, const LogWriterSettings& settings, LogStamps& stamps,
                       LogReports& reports)
    : start_(std::move(start)),
      settings_(settings),
      stamps_(stamps),
      reports_(reports),
      pattern_(start_.base, start_.connectionName),
      fallbackPattern_(pattern_.InFolder(settings.fallbackFolder)),
      headerText_(stamps.HeaderText(start_.header, start_.opened)) {}

void LogSegment::Add(LogRecord record) {
    heldBytes_ += LogRecordCost(record.message.size());
    pending_.push_back(std::move(record));
}

void LogSegment::InheritTrouble(const LogSegment& previous) {
    failingSince_ = previous.failingSince_;
    told_ = previous.told_;
}

void LogSegment::End(LogWallTime closed) {
    ended_ = true;
    closedAt_ = closed;
}

bool LogSegment::Durable() const {
    if (done_) {
        return true;
    }
    return !ended_ && file_.IsOpen() && headerWritten_ && pending_.empty() &&
           unconfirmed_.empty() && !unconfirmedWrites_;
}

void LogSegment::Pump(SteadyTime now) {
    if (done_) {
        return;
    }
    if (!file_.IsOpen() && !OpenFile(now)) {
        return;
    }
    if (fallback_ && !ended_ && now >= nextReturn_) {
        ReturnToFolder(now);
    }
    if (!WritePending()) {
        Fail(LogFailure::kWrite, now);
        return;
    }
    if (ended_ && !closingWritten_) {
        if (!WriteClosing(closedAt_)) {
            Fail(LogFailure::kWrite, now);
            return;
        }
    }
    const bool syncDue = dirty_ && (ended_ || now - lastSync_ >= settings_.timings.syncInterval);
    if ((syncDue || now - lastCheck_ >= settings_.timings.placeCheckInterval) &&
        !SyncAndCheck(now)) {
        return;
    }
    if (ended_ && closingWritten_ && !unconfirmedWrites_) {
        file_.Close();
        done_ = true;
    }
}

bool LogSegment::OpenFile(SteadyTime now) {
    if (now < nextAttempt_) {
        return false;
    }
    // The chosen folder comes first, also while the records go to the fallback folder.
    if (file_.Create(pattern_)) {
        fallback_ = false;
        StartFile(now);
        return true;
    }
    if (!failingSince_) {
        failingSince_ = now;
    }
    if (!fallback_) {
        TellFailure(LogFailure::kCreate, file_.Name());
    }
    if (now - *failingSince_ < settings_.timings.fallbackAfter) {
        nextAttempt_ = now + settings_.timings.retryInterval;
        return false;
    }
    return OpenFallbackFile(now);
}

bool LogSegment::OpenFallbackFile(SteadyTime now) {
    fallback_ = true;
    if (!MakePrivateFolders(settings_.fallbackFolder) || !file_.Create(fallbackPattern_)) {
        if (!told_.fallbackFailure) {
            told_.fallbackFailure = true;
            reports_.Tell(CannotCreateFileText(fallbackPattern_.Candidate(0)));
        }
        nextAttempt_ = now + settings_.timings.retryInterval;
        return false;
    }
    StartFile(now);
    nextReturn_ = now + settings_.timings.returnInterval;
    if (!told_.fallback) {
        told_.fallback = true;
        reports_.Tell(LogFallbackText(file_.Name(), pattern_.Folder()));
    }
    return true;
}

void LogSegment::StartFile(SteadyTime now) {
    headerWritten_ = false;
    closingWritten_ = false;
    dirty_ = false;
    unconfirmedWrites_ = false;
    confirmedOnce_ = false;
    fileRecords_ = 0;
    // A new file is synced at once: its header and folder entry then survive a crash.
    lastSync_ = now - settings_.timings.syncInterval;
    lastCheck_ = now;
}

bool LogSegment::WritePending() {
    if (headerWritten_ && pending_.empty()) {
        return true;
    }
    std::string buffer;
    if (!headerWritten_) {
        buffer = headerText_;
    }
    const RecordOptions& options = start_.options;
    while (!pending_.empty()) {
        LogRecord& record = pending_.front();
        const std::string_view stamp = options.appendTimeStamp
                                           ? std::string_view(stamps_.RecordStamp(record.received))
                                           : std::string_view();
        AppendLogRecord(buffer, record.message, options, ++fileRecords_, stamp);
        unconfirmed_.push_back(std::move(record));
        pending_.pop_front();
        if (buffer.size() >= kWriteChunkBytes) {
            dirty_ = unconfirmedWrites_ = true;
            if (!file_.Write(buffer)) {
                return false;
            }
            headerWritten_ = true;
            buffer.clear();
        }
    }
    dirty_ = unconfirmedWrites_ = true;
    if (!buffer.empty() && !file_.Write(buffer)) {
        return false;
    }
    headerWritten_ = true;
    return true;
}

bool LogSegment::WriteClosing(LogWallTime closed) {
    dirty_ = unconfirmedWrites_ = true;
    if (!file_.Write(stamps_.ClosingText(closed))) {
        return false;
    }
    closingWritten_ = true;
    return true;
}

bool LogSegment::SyncAndCheck(SteadyTime now) {
    if (dirty_) {
        if (!file_.Sync(settings_.sync)) {
            Fail(LogFailure::kSync, now);
            return false;
        }
        dirty_ = false;
        lastSync_ = now;
        ++syncCount_;
    }
    lastCheck_ = now;
    // A file deleted or moved away still takes writes and syncs without complaint: only its
    // place in the folder tells.
    if (!file_.StillInPlace()) {
        // Moved away, the file keeps what was written to it once that is synced; deleted, its
        // records since the last check are written again into the new file.
        if (file_.StillLinked() && (!dirty_ || file_.Sync(settings_.sync))) {
            dirty_ = false;
            Confirm();
        }
        Fail(LogFailure::kVanished, now);
        return false;
    }
    Confirm();
    return true;
}

void LogSegment::Confirm() {
    for (const LogRecord& record : unconfirmed_) {
        heldBytes_ -= LogRecordCost(record.message.size());
    }
    unconfirmed_.clear();
    unconfirmedWrites_ = false;
    confirmedOnce_ = true;
    if (!fallback_) {
        failingSince_.reset();
        told_ = LogTold{};
    }
}

void LogSegment::ReturnToFolder(SteadyTime now) {
    nextReturn_ = now + settings_.timings.returnInterval;
    LogFile chosen;
    if (!chosen.Create(pattern_)) {
        return;
    }
    // The fallback file ends complete; whatever could not be made durable there, and what
    // waits, continues in the chosen folder.
    const bool finished = WritePending() && WriteClosing(std::chrono::system_clock::now()) &&
                          file_.Sync(settings_.sync) && file_.StillInPlace();
    if (finished) {
        ++syncCount_;
        Confirm();
        file_.Close();
    } else {
        if (confirmedOnce_) {
            file_.Close();
        } else {
            file_.Discard();
        }
        RequeueUnconfirmed();
    }
    file_ = std::move(chosen);
    fallback_ = false;
    StartFile(now);
}

void LogSegment::Fail(LogFailure failure, SteadyTime now) {
    const std::string name = file_.Name();
    // A file that never held a durable record is of no use to anyone: its content is written
    // again in the next file. One that did keeps what it holds.
    if (failure == LogFailure::kVanished || confirmedOnce_) {
        file_.Close();
    } else {
        file_.Discard();
    }
    RequeueUnconfirmed();
    closingWritten_ = false;
    dirty_ = false;
    unconfirmedWrites_ = false;
    if (!failingSince_) {
        failingSince_ = now;
    }
    nextAttempt_ = now + settings_.timings.retryInterval;
    TellFailure(failure, name);
}

void LogSegment::TellFailure(LogFailure failure, const std::string& fileName) {
    if (told_.failure) {
        return;
    }
    told_.failure = true;
    switch (failure) {
        case LogFailure::kCreate:
        case LogFailure::kWrite:
            reports_.Tell(CannotCreateFileText(fileName));
            break;
        case LogFailure::kSync:
            reports_.Tell(CannotSaveFileText(fileName));
            break;
        case LogFailure::kVanished:
            reports_.Tell(LogFileVanishedText(fileName));
            break;
    }
}

void LogSegment::RequeueUnconfirmed() {
    pending_.insert(pending_.begin(), std::make_move_iterator(unconfirmed_.begin()),
                    std::make_move_iterator(unconfirmed_.end()));
    unconfirmed_.clear();
}

}  // namespace vx
