#include "serial/UiThread.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <memory>

namespace vx {
namespace {

std::atomic<UiThread*>& Installed() {
    static std::atomic<UiThread*> ui{nullptr};
    return ui;
}

std::mutex& DefaultMutex() {
    static std::mutex m;
    return m;
}

std::unique_ptr<TaskQueueUiThread>& DefaultUi() {
    static std::unique_ptr<TaskQueueUiThread> ui;
    return ui;
}

std::mutex& DisplayMutex() {
    static std::mutex m;
    return m;
}

ErrorDisplay& Display() {
    static ErrorDisplay display;
    return display;
}

void ShowNow(const std::string& message) {
    ErrorDisplay display;
    {
        std::lock_guard lock(DisplayMutex());
        display = Display();
    }
    if (display) {
        display(message);
    } else {
        std::fprintf(stderr, "ventrix: %s\n", message.c_str());
    }
}

}  // namespace

ErrorDisplay SetErrorDisplay(ErrorDisplay display) {
    std::lock_guard lock(DisplayMutex());
    ErrorDisplay previous = std::move(Display());
    Display() = std::move(display);
    return previous;
}

void DisplayError(const std::string& message) {
    UiThread& ui = GetUiThread();
    if (ui.IsUiThread()) {
        ShowNow(message);
    } else {
        ui.PostToUi([message] { ShowNow(message); });
    }
}

void RunShowingErrors(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        DisplayError(e.what());
    } catch (...) {
        DisplayError("Unknown exception");
    }
}

UiThread& GetUiThread() {
    if (UiThread* ui = Installed().load()) {
        return *ui;
    }
    std::lock_guard lock(DefaultMutex());
    if (!DefaultUi()) {
        DefaultUi() = std::make_unique<TaskQueueUiThread>();
    }
    return *DefaultUi();
}

UiThread* SetUiThread(UiThread* ui) {
    return Installed().exchange(ui);
}

TaskQueueUiThread::TaskQueueUiThread() : owner_(std::this_thread::get_id()) {}

TaskQueueUiThread::~TaskQueueUiThread() {
    // The tasks are released outside the lock: one may hold the last reference to a dispatcher,
    // whose destruction joins a thread that may be waking this queue at that moment.
    std::deque<Task> tasks;
    {
        std::lock_guard lock(mutex_);
        tasks.swap(tasks_);
    }
    // Release any thread still waiting in RunSync; its task never runs.
    for (auto& task : tasks) {
        if (task.done) {
            task.done();
        }
    }
}

bool TaskQueueUiThread::IsUiThread() const {
    return std::this_thread::get_id() == owner_;
}

void TaskQueueUiThread::RunSync(std::function<void()> fn) {
    if (IsUiThread()) {
        fn();
        return;
    }
    struct Handshake {
        std::mutex m;
        std::condition_variable cv;
        bool finished = false;
    };
    auto handshake = std::make_shared<Handshake>();
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(Task{Clock::now(), std::move(fn), [handshake] {
                                  std::lock_guard l(handshake->m);
                                  handshake->finished = true;
                                  handshake->cv.notify_all();
                              }});
        ++wakeCount_;
    }
    wake_.notify_all();
    std::unique_lock l(handshake->m);
    handshake->cv.wait(l, [&] { return handshake->finished; });
}

void TaskQueueUiThread::PostToUi(std::function<void()> fn, int delayMs) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(Task{Clock::now() + std::chrono::milliseconds(delayMs > 0 ? delayMs : 0),
                              std::move(fn), nullptr});
        ++wakeCount_;
    }
    wake_.notify_all();
}

void TaskQueueUiThread::Wake() {
    {
        std::lock_guard lock(mutex_);
        ++wakeCount_;
    }
    wake_.notify_all();
}

bool TaskQueueUiThread::TakeDueTask(Task& task) {
    auto now = Clock::now();
    for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
        if (it->due <= now) {
            task = std::move(*it);
            tasks_.erase(it);
            return true;
        }
    }
    return false;
}

TaskQueueUiThread::Clock::time_point TaskQueueUiThread::NextDue() const {
    auto next = Clock::time_point::max();
    for (const auto& task : tasks_) {
        next = std::min(next, task.due);
    }
    return next;
}

int TaskQueueUiThread::ProcessPending() {
    int count = 0;
    for (;;) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            if (!TakeDueTask(task)) {
                return count;
            }
        }
        // A throwing task must still release the thread that waits for it.
        struct Finish {
            std::function<void()>& done;
            ~Finish() {
                if (done) {
                    done();
                }
            }
        } finish{task.done};
        ++count;
        task.fn();
    }
}

bool TaskQueueUiThread::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    auto deadline = timeoutMs < 0 ? Clock::time_point::max()
                                  : Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        unsigned seen = 0;
        {
            std::lock_guard lock(mutex_);
            seen = wakeCount_;
        }
        ProcessPending();
        if (done()) {
            return true;
        }
        std::unique_lock lock(mutex_);
        auto until = std::min(deadline, NextDue());
        if (Clock::now() >= deadline) {
            lock.unlock();
            return done();
        }
        // The bounded sleep covers callers that change state without calling Wake().
        auto cap = Clock::now() + std::chrono::milliseconds(50);
        wake_.wait_until(lock, std::min(until, cap), [&] { return wakeCount_ != seen; });
    }
}

}  // namespace vx
