#pragma once
// The hand-over from the user-interface thread to an output's worker: a fixed ring under a lock,
// with an eventfd the worker polls together with its sockets. Pushing never waits and never
// allocates: a worker that falls behind (a name look-up, a stalled broker) loses its oldest
// items, which are counted, instead of the queue growing or the caller slowing down.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vx {

// An eventfd: Signal from any thread, the worker polls Fd() and calls Clear.
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    int Fd() const { return fd_; }
    void Signal();
    void Clear();

private:
    int fd_ = -1;
};

template <class T>
class HandOver {
public:
    explicit HandOver(std::size_t capacity) : ring_(capacity) {}

    // Adds an item; when the ring is full the oldest one gives way. Wakes the worker only when
    // it has nothing to do yet, so a busy worker costs no system call.
    void Push(const T& item) {
        bool wasEmpty = false;
        {
            std::lock_guard lock(mutex_);
            wasEmpty = count_ == 0;
            if (count_ == ring_.size()) {
                head_ = (head_ + 1) % ring_.size();
                --count_;
                ++dropped_;
            }
            ring_[(head_ + count_) % ring_.size()] = item;
            ++count_;
        }
        if (wasEmpty) {
            wake_.Signal();
        }
    }

    // Moves every waiting item into `out` (cleared first), oldest first.
    void TakeAll(std::vector<T>& out) {
        out.clear();
        wake_.Clear();
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < count_; ++i) {
            out.push_back(ring_[(head_ + i) % ring_.size()]);
        }
        head_ = 0;
        count_ = 0;
    }

    // Items given up because the worker fell behind.
    std::uint64_t Dropped() const {
        std::lock_guard lock(mutex_);
        return dropped_;
    }

    WakeEvent& Wake() { return wake_; }

private:
    mutable std::mutex mutex_;
    std::vector<T> ring_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    std::uint64_t dropped_ = 0;
    WakeEvent wake_;
};

}  // namespace vx
