#pragma once
// A worker thread whose stop never keeps the caller waiting long. A worker can sit in a name
// look-up that the system gives no way to cancel (seconds, when a name server is away); the
// user-interface thread must not wait for that when an output is switched off or the program
// ends. So Stop waits a while and then lets the thread end on its own: the body must own (share)
// everything it touches.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace vx {

class OutputThread {
public:
    OutputThread() = default;
    ~OutputThread() { Stop(std::chrono::milliseconds(0)); }
    OutputThread(const OutputThread&) = delete;
    OutputThread& operator=(const OutputThread&) = delete;

    void Start(std::function<void()> body);

    // Waits up to `patience` for the body to return (the caller has asked it to); true when it
    // did. A body still running is detached and finishes by itself.
    bool Stop(std::chrono::milliseconds patience);

    bool Running() const { return thread_.joinable(); }

private:
    struct Finish {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };

    std::thread thread_;
    std::shared_ptr<Finish> finish_;
};

}  // namespace vx
