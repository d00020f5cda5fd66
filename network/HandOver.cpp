#include "network/HandOver.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace vx {

WakeEvent::WakeEvent() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (fd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
}

WakeEvent::~WakeEvent() {
    close(fd_);
}

void WakeEvent::Signal() {
    const std::uint64_t one = 1;
    // A full counter (never in practice) already wakes the worker: nothing to do on failure.
    [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

void WakeEvent::Clear() {
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t got = read(fd_, &value, sizeof value);
}

}  // namespace vx
