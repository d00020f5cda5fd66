#pragma once
// A dispatcher's triggers: the length trigger (a data notification waits for at least that many
// unread bytes) and the timer triggers, each known by its handle. Handles rise in steps of eight
// from 8 (a handle names its trigger in every notification, and users keep them between opens);
// past 32760 the lowest free one up to 4096 is given again.
//
// Not locked: the dispatcher holds its main lock around every call.

#include <cstdint>
#include <vector>

namespace vx {

// The tick clock: a 32-bit millisecond clock (it wraps after 49.7 days) divided by 55.
std::uint32_t MsClock();
std::uint32_t TickClock();
inline constexpr std::uint32_t kMaxTimerTicks = 39045157;  // half of the tick clock's period
// Whether a timer started at tick `start` for `interval` ticks has expired at tick `now`,
// counting across the wrap of the tick clock.
bool TimerExpired(std::uint32_t start, std::uint32_t interval, std::uint32_t now);

inline constexpr int kLengthTriggerHandle = 1;

struct TTimerTrigger {
    int handle = 0;
    std::uint32_t start = 0;
    std::uint32_t interval = 0;  // ticks
    bool active = false;
};

// What a closing port keeps of its triggers for its next open.
struct TSavedTriggers {
    unsigned lengthTrigger = 0;
    std::vector<TTimerTrigger> timers;
    int nextHandle = 8;
};

class TriggerTable {
public:
    // As at opening: no triggers, handles from 8 again.
    void Reset();

    // A new, inactive timer: its handle, or ecNoMoreTriggers.
    int AddTimer();
    // Starts the timer at tick `now` for `ticks` (0 keeps the interval it had), or stops it;
    // 0 or ecBadTriggerHandle.
    int SetTimer(int handle, int ticks, bool activate, std::uint32_t now);
    // Removes a timer, or clears the length trigger; 0 or ecBadTriggerHandle.
    int Remove(int handle);
    void SetLength(unsigned count) { length_ = count; }
    unsigned Length() const { return length_; }

    bool AnyTimerActive() const;
    // The first active timer that has expired at `now`, made inactive (it fires once); 0 when
    // none has.
    int TakeExpired(std::uint32_t now);

    TSavedTriggers Save() const;
    // What a port kept across a close; handles already given out are not given again.
    void Restore(const TSavedTriggers& saved);

private:
    int NextHandle();
    TTimerTrigger* FindTimer(int handle);

    unsigned length_ = 0;
    std::vector<TTimerTrigger> timers_;
    int nextHandle_ = 8;
};

}  // namespace vx
