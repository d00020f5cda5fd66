#include "serial/TriggerTable.h"

#include "serial/Serexcept.h"

#include <algorithm>
#include <chrono>

namespace vx {
namespace {

// The tick clock runs from 0 to 0xFFFFFFFF / 55 and then starts again at 0.
constexpr std::uint32_t kTickPeriod = 0xFFFFFFFFu / 55 + 1;

constexpr int kFirstHandle = 8;
constexpr int kHandleStep = 8;
constexpr int kMaxTriggerHandle = 32760;
constexpr int kMaxReusedHandle = 4096;

}  // namespace

std::uint32_t MsClock() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

std::uint32_t TickClock() {
    return MsClock() / 55;
}

bool TimerExpired(std::uint32_t start, std::uint32_t interval, std::uint32_t now) {
    // Elapsed ticks counted modulo the clock's period, so a timer started just before the
    // millisecond clock wraps still fires on time.
    std::uint32_t elapsed = now >= start ? now - start : now + (kTickPeriod - start);
    return elapsed > interval;
}

void TriggerTable::Reset() {
    timers_.clear();
    length_ = 0;
    nextHandle_ = kFirstHandle;
}

int TriggerTable::NextHandle() {
    if (nextHandle_ <= kMaxTriggerHandle) {
        int handle = nextHandle_;
        nextHandle_ += kHandleStep;
        return handle;
    }
    for (int handle = kFirstHandle; handle <= kMaxReusedHandle; handle += kHandleStep) {
        if (!FindTimer(handle)) {
            return handle;
        }
    }
    return 0;
}

TTimerTrigger* TriggerTable::FindTimer(int handle) {
    auto it = std::find_if(timers_.begin(), timers_.end(),
                           [&](const TTimerTrigger& t) { return t.handle == handle; });
    return it == timers_.end() ? nullptr : &*it;
}

int TriggerTable::AddTimer() {
    int handle = NextHandle();
    if (handle == 0) {
        return ecNoMoreTriggers;
    }
    timers_.push_back(TTimerTrigger{handle, 0, 0, false});
    return handle;
}

int TriggerTable::SetTimer(int handle, int ticks, bool activate, std::uint32_t now) {
    TTimerTrigger* timer = FindTimer(handle);
    if (!timer) {
        return ecBadTriggerHandle;
    }
    if (activate) {
        if (ticks != 0) {
            timer->interval =
                std::min(static_cast<std::uint32_t>(std::max(ticks, 0)), kMaxTimerTicks);
        }
        timer->start = now;
    }
    timer->active = activate;
    return 0;
}

int TriggerTable::Remove(int handle) {
    if (handle == kLengthTriggerHandle) {
        length_ = 0;
        return 0;
    }
    TTimerTrigger* timer = FindTimer(handle);
    if (!timer) {
        return ecBadTriggerHandle;
    }
    timers_.erase(timers_.begin() + (timer - timers_.data()));
    return 0;
}

bool TriggerTable::AnyTimerActive() const {
    return std::any_of(timers_.begin(), timers_.end(),
                       [](const TTimerTrigger& t) { return t.active; });
}

int TriggerTable::TakeExpired(std::uint32_t now) {
    for (auto& timer : timers_) {
        if (timer.active && TimerExpired(timer.start, timer.interval, now)) {
            timer.active = false;
            return timer.handle;
        }
    }
    return 0;
}

TSavedTriggers TriggerTable::Save() const {
    return TSavedTriggers{length_, timers_, nextHandle_};
}

void TriggerTable::Restore(const TSavedTriggers& saved) {
    length_ = saved.lengthTrigger;
    timers_ = saved.timers;
    nextHandle_ = std::max(nextHandle_, saved.nextHandle);
}

}  // namespace vx
