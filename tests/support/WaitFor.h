#pragma once
// Waiting for something another thread or process brings about: poll with a generous deadline
// instead of sleeping a fixed time, so a loaded machine is slower but never wrong.

#include <chrono>
#include <functional>

namespace vx::test {

using namespace std::chrono_literals;

// Long enough for a busy two-core machine; a passing test never waits that long.
inline constexpr std::chrono::milliseconds kDeadline = 20s;

// Calls `condition` until it holds or the deadline passes; returns its last answer. Handles no
// events: for a Qt test's own thread use WaitFor in QtWait.h.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = kDeadline);

}  // namespace vx::test
