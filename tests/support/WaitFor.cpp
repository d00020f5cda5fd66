#include "tests/support/WaitFor.h"

#include <thread>

namespace vx::test {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return condition();
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

}  // namespace vx::test
