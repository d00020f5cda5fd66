#pragma once
// The user-interface thread as the serial link needs it: a synchronous hand-over from a
// dispatcher thread, posted work, and waits that keep handling the thread's events (a dispatcher
// thread may itself be waiting for the user-interface thread to run a delivery).
//
// The program installs the Qt implementation (serial/QtUiThread.h); Qt-free programs and tests
// use TaskQueueUiThread and pump it from their main thread.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vx {

class UiThread {
public:
    virtual ~UiThread() = default;

    virtual bool IsUiThread() const = 0;
    // Runs fn on the user-interface thread and returns when it has run. Called on that thread it
    // runs fn directly: a blocking hand-over from a thread to itself would never return.
    virtual void RunSync(std::function<void()> fn) = 0;
    // Queues fn to run on the user-interface thread after delayMs.
    virtual void PostToUi(std::function<void()> fn, int delayMs = 0) = 0;
    // On the user-interface thread: handles its events until done() is true or timeoutMs passed
    // (negative: without limit). Returns done(). Other threads call Wake() after changing what
    // done() reads so the wait looks again at once.
    virtual bool WaitUntil(const std::function<bool()>& done, int timeoutMs) = 0;
    virtual void Wake() = 0;
};

// The user-interface thread of the process. When none was installed, the first call creates a
// TaskQueueUiThread owned by the calling thread.
UiThread& GetUiThread();
// Installs the implementation (not owned); nullptr goes back to the default. Returns the previous.
UiThread* SetUiThread(UiThread* ui);

// The application's standard display of errors that no handler caught (the Qt side installs the
// error box; the default writes to standard error). DisplayError may be called on any thread; the
// display itself runs on the user-interface thread.
using ErrorDisplay = std::function<void(const std::string& message)>;
ErrorDisplay SetErrorDisplay(ErrorDisplay display);
void DisplayError(const std::string& message);
// Runs fn and shows what it throws in the standard display instead of letting it escape.
void RunShowingErrors(const std::function<void()>& fn);

// A plain task queue served by the thread that created it: tasks run inside WaitUntil and
// ProcessPending. For programs and tests without Qt.
class TaskQueueUiThread : public UiThread {
public:
    TaskQueueUiThread();
    ~TaskQueueUiThread() override;

    bool IsUiThread() const override;
    void RunSync(std::function<void()> fn) override;
    void PostToUi(std::function<void()> fn, int delayMs = 0) override;
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs) override;
    void Wake() override;

    // Runs the tasks that are due now; returns how many ran.
    int ProcessPending();

private:
    using Clock = std::chrono::steady_clock;
    struct Task {
        Clock::time_point due;
        std::function<void()> fn;
        std::function<void()> done;  // set for RunSync tasks: tells the waiting thread
    };
    bool TakeDueTask(Task& task);
    Clock::time_point NextDue() const;

    std::thread::id owner_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    unsigned wakeCount_ = 0;
};

}  // namespace vx
