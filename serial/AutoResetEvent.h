#pragma once
// An event that lets one waiter through per Set and then closes again: how the dispatcher's
// threads acknowledge their start and the output thread its flush, and how a hang-up wakes the
// dispatch thread.

#include <condition_variable>
#include <mutex>

namespace vx {

class AutoResetEvent {
public:
    void Set();
    // False when `timeoutMs` passed first; negative waits without limit.
    bool Wait(int timeoutMs);
    void Reset();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool set_ = false;
};

}  // namespace vx
