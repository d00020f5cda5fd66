#pragma once
// Waiting on the user-interface thread of a Qt test: events are handled meanwhile, so timers
// fire, deliveries from the serial threads arrive and windows paint.

#include <functional>

namespace vx::test {

// Handles events until pred() holds or timeoutMs passed; returns pred().
bool WaitFor(const std::function<bool()>& pred, int timeoutMs);
// Handles events for a while (for checks that something does NOT happen).
void Pump(int milliseconds);

}  // namespace vx::test
