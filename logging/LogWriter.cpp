#include "logging/LogWriter.h"

#include "logging/LogSegment.h"
#include "logging/LogStamps.h"

#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace vx {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A writer that is destroyed waits this long for its thread to finish what it can; a thread
// stuck in the kernel (a dead network share) is left behind rather than hang the program.
constexpr std::chrono::seconds kStopGrace{5};
// Records handed over wake the thread early only in bulk: waking it for each record would cost
// the handing thread a system call per record.
constexpr std::size_t kWakeBytes = 256 * 1024;
// Buffers that grew for a backlog are given back once it is gone.
constexpr std::size_t kKeptBufferBytes = 1024 * 1024;

std::mutex& SyncHookMutex() {
    static std::mutex mutex;
    return mutex;
}

LogSyncFunction& SyncHook() {
    static LogSyncFunction hook;
    return hook;
}

enum class LogItemKind { kBegin, kRecord, kEnd };

struct LogItem {
    LogItemKind kind;
    std::size_t length;  // of a record's text
    LogWallTime when;
};

// What the handing thread has given and the writer's thread has not yet taken. Record texts
// stand one after another in one string, so handing a record over rarely allocates.
struct LogBatch {
    std::vector<LogItem> items;
    std::string text;
    std::deque<LogFileStart> starts;

    bool Empty() const { return items.empty(); }
    void Clear() {
        items.clear();
        text.clear();
        starts.clear();
        if (text.capacity() > kKeptBufferBytes) {
            std::string().swap(text);
            std::vector<LogItem>().swap(items);
        }
    }
};

// The writer's thread's own state: the segments in the order they began.
class LogWorker : public LogReports {
public:
    LogWorker(std::unique_ptr<LogTimeFormatter> formatter, LogWriterSettings settings)
        : settings_(std::move(settings)), stamps_(std::move(formatter)) {}

    void Tell(std::string text) override { reports_.push_back(std::move(text)); }

    void Apply(LogBatch& batch) {
        std::size_t offset = 0;
        for (const LogItem& item : batch.items) {
            switch (item.kind) {
                case LogItemKind::kBegin:
                    Begin(std::move(batch.starts.front()));
                    batch.starts.pop_front();
                    break;
                case LogItemKind::kRecord:
                    if (LogSegment* segment = Current()) {
                        segment->Add(LogRecord{batch.text.substr(offset, item.length), item.when});
                    }
                    offset += item.length;
                    break;
                case LogItemKind::kEnd:
                    if (LogSegment* segment = Current()) {
                        segment->End(item.when);
                    }
                    break;
            }
        }
    }

    void Pump() {
        const auto now = SteadyClock::now();
        for (auto& segment : segments_) {
            segment->Pump(now);
        }
        while (!segments_.empty() && segments_.front()->Done()) {
            finishedSyncs_ += segments_.front()->SyncCount();
            segments_.pop_front();
        }
    }

    // The writer goes: every file ends now, and whatever can be finished is.
    void Finish() {
        if (LogSegment* segment = Current()) {
            segment->End(std::chrono::system_clock::now());
        }
        for (int pass = 0; pass < 3 && !segments_.empty(); ++pass) {
            Pump();
        }
    }

    bool Busy() const { return !segments_.empty(); }

    bool Durable() const {
        for (const auto& segment : segments_) {
            if (!segment->Durable()) {
                return false;
            }
        }
        return true;
    }

    void Publish(LogWriterStatus& status, std::vector<std::string>& reports) {
        status.waitingBytes = 0;
        status.syncCount = finishedSyncs_;
        for (const auto& segment : segments_) {
            status.waitingBytes += segment->HeldBytes();
            status.syncCount += segment->SyncCount();
        }
        if (!segments_.empty()) {
            status.currentFile = segments_.back()->FileName();
        }
        for (std::string& report : reports_) {
            reports.push_back(std::move(report));
        }
        reports_.clear();
    }

private:
    LogSegment* Current() {
        if (segments_.empty() || segments_.back()->Ended()) {
            return nullptr;
        }
        return segments_.back().get();
    }

    void Begin(LogFileStart start) {
        if (LogSegment* current = Current()) {
            current->End(start.opened);
        }
        const bool newRun = start.newRun;
        auto segment = std::make_unique<LogSegment>(std::move(start), settings_, stamps_, *this);
        if (!newRun && !segments_.empty()) {
            const LogSegment& previous = *segments_.back();
            if (previous.Troubled() && previous.PrimaryFolder() == segment->PrimaryFolder()) {
                segment->InheritTrouble(previous);
            }
        }
        segments_.push_back(std::move(segment));
    }

    const LogWriterSettings settings_;
    LogStamps stamps_;
    std::deque<std::unique_ptr<LogSegment>> segments_;
    std::vector<std::string> reports_;
    int finishedSyncs_ = 0;
};

// What the handing thread and the writer's thread share. A thread left behind at the end keeps
// it alive.
struct LogShared {
    LogShared(std::unique_ptr<LogTimeFormatter> formatter, LogWriterSettings settings)
        : pollInterval(settings.timings.pollInterval),
          maxWaitingBytes(settings.maxWaitingBytes),
          worker(std::move(formatter), std::move(settings)) {}

    const std::chrono::milliseconds pollInterval;
    const std::size_t maxWaitingBytes;

    std::mutex mutex;
    std::condition_variable wake;      // to the writer's thread
    std::condition_variable progress;  // from it
    LogBatch staged;
    std::size_t stagedBytes = 0;
    bool wakeRequested = false;
    bool stopping = false;
    bool exited = false;
    bool busy = false;    // the thread holds files that are not finished
    bool durable = true;  // everything it was given is durable on disk
    LogWriterStatus status;
    std::vector<std::string> reports;
    std::string connectionName;
    bool lossTold = false;
    long lostSeen = 0;

    LogWorker worker;  // the writer's thread only
};

void RunWriter(const std::shared_ptr<LogShared>& shared) {
    LogBatch batch;
    for (;;) {
        bool stopping = false;
        {
            std::unique_lock lock(shared->mutex);
            const auto due = [&] { return shared->stopping || shared->wakeRequested; };
            if (!shared->busy && shared->staged.Empty()) {
                shared->wake.wait(lock, [&] { return due() || !shared->staged.Empty(); });
            } else {
                shared->wake.wait_for(lock, shared->pollInterval, due);
            }
            shared->wakeRequested = false;
            std::swap(batch, shared->staged);
            // The records taken stay counted until the next report of what the segments hold.
            shared->status.waitingBytes += shared->stagedBytes;
            shared->stagedBytes = 0;
            if (!batch.Empty()) {
                shared->busy = true;
                shared->durable = false;
            }
            stopping = shared->stopping;
        }
        shared->worker.Apply(batch);
        batch.Clear();
        if (stopping) {
            shared->worker.Finish();
        } else {
            shared->worker.Pump();
        }
        {
            std::lock_guard lock(shared->mutex);
            shared->worker.Publish(shared->status, shared->reports);
            shared->busy = shared->worker.Busy();
            shared->durable = shared->worker.Durable();
            if (stopping) {
                shared->exited = true;
            }
        }
        shared->progress.notify_all();
        if (stopping) {
            return;
        }
    }
}

class ThreadedLogWriter final : public LogWriter {
public:
    ThreadedLogWriter(std::unique_ptr<LogTimeFormatter> formatter, LogWriterSettings settings)
        : shared_(std::make_shared<LogShared>(std::move(formatter), std::move(settings))) {
        thread_ = std::thread([shared = shared_] { RunWriter(shared); });
    }

    ~ThreadedLogWriter() override {
        std::unique_lock lock(shared_->mutex);
        shared_->stopping = true;
        shared_->wake.notify_one();
        const bool exited =
            shared_->progress.wait_for(lock, kStopGrace, [this] { return shared_->exited; });
        lock.unlock();
        if (exited) {
            thread_.join();
        } else {
            thread_.detach();
        }
    }

    void BeginFile(LogFileStart start) override {
        {
            std::lock_guard lock(shared_->mutex);
            if (start.newRun) {
                shared_->lossTold = false;
            }
            shared_->connectionName = start.header.connectionName;
            shared_->staged.starts.push_back(std::move(start));
            shared_->staged.items.push_back({LogItemKind::kBegin, 0, {}});
            shared_->wakeRequested = true;
        }
        shared_->wake.notify_one();
    }

    bool AddRecord(std::string_view message, LogWallTime received) override {
        const std::size_t cost = LogRecordCost(message.size());
        bool wake = false;
        {
            std::lock_guard lock(shared_->mutex);
            if (shared_->stagedBytes + shared_->status.waitingBytes + cost >
                shared_->maxWaitingBytes) {
                ++shared_->status.lostRecords;
                return false;
            }
            shared_->staged.items.push_back({LogItemKind::kRecord, message.size(), received});
            shared_->staged.text.append(message);
            shared_->stagedBytes += cost;
            wake = shared_->stagedBytes >= kWakeBytes && !shared_->wakeRequested;
            shared_->wakeRequested = shared_->wakeRequested || wake;
        }
        if (wake) {
            shared_->wake.notify_one();
        }
        return true;
    }

    void EndFile(LogWallTime closed) override {
        {
            std::lock_guard lock(shared_->mutex);
            shared_->staged.items.push_back({LogItemKind::kEnd, 0, closed});
            shared_->wakeRequested = true;
        }
        shared_->wake.notify_one();
    }

    LogWriterStatus Status() const override {
        std::lock_guard lock(shared_->mutex);
        LogWriterStatus status = shared_->status;
        status.unwritten = !shared_->durable || !shared_->staged.Empty();
        status.waitingBytes += shared_->stagedBytes;
        return status;
    }

    std::vector<std::string> TakeReports() override {
        std::lock_guard lock(shared_->mutex);
        std::vector<std::string> reports;
        reports.swap(shared_->reports);
        if (shared_->status.lostRecords > shared_->lostSeen && !shared_->lossTold) {
            // Told here rather than by the writer's thread: that thread may be the one stuck.
            shared_->lossTold = true;
            reports.push_back(LogRecordsLostText(shared_->connectionName));
        }
        shared_->lostSeen = shared_->status.lostRecords;
        return reports;
    }

    bool WaitUntilWritten(std::chrono::milliseconds timeout) override {
        std::unique_lock lock(shared_->mutex);
        shared_->wakeRequested = true;
        shared_->wake.notify_one();
        return shared_->progress.wait_for(
            lock, timeout, [this] { return shared_->durable && shared_->staged.Empty(); });
    }

private:
    std::shared_ptr<LogShared> shared_;
    std::thread thread_;
};

}  // namespace

LogWriterSettings::LogWriterSettings() : fallbackFolder(DefaultLogFallbackFolder()) {
    std::lock_guard lock(SyncHookMutex());
    sync = SyncHook() ? SyncHook() : LogSyncFunction(::fdatasync);
}

std::unique_ptr<LogWriter> MakeLogWriter(std::unique_ptr<LogTimeFormatter> formatter,
                                         LogWriterSettings settings) {
    return std::make_unique<ThreadedLogWriter>(std::move(formatter), std::move(settings));
}

LogSyncFunction SetLogSyncHook(LogSyncFunction sync) {
    std::lock_guard lock(SyncHookMutex());
    return std::exchange(SyncHook(), std::move(sync));
}

}  // namespace vx
