#include "serial/AutoResetEvent.h"

#include <chrono>

namespace vx {

void AutoResetEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    cv_.notify_one();
}

bool AutoResetEvent::Wait(int timeoutMs) {
    std::unique_lock lock(mutex_);
    if (timeoutMs < 0) {
        cv_.wait(lock, [&] { return set_; });
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return set_; })) {
        return false;
    }
    set_ = false;
    return true;
}

void AutoResetEvent::Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
}

}  // namespace vx
