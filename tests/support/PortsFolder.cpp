#include "tests/support/PortsFolder.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace vx::test {

namespace {

// The highest COM number the program offers.
constexpr int kHighestComNumber = 50;

}  // namespace

PortsFolder::PortsFolder(Numbers numbers)
    : folder_("vx-ports"), env_("VENTRIX_PORTS_DIR", folder_.Path()) {
    if (numbers == Numbers::Absent) {
        for (int n = 1; n <= kHighestComNumber; ++n) {
            Link(n, folder_ / ("absent/COM" + std::to_string(n)));
        }
    }
}

std::string PortsFolder::EntryPath(int comNumber) const {
    return folder_ / ("COM" + std::to_string(comNumber));
}

void PortsFolder::Link(int comNumber, const std::string& device) const {
    const std::string entry = EntryPath(comNumber);
    ::unlink(entry.c_str());
    if (::symlink(device.c_str(), entry.c_str()) != 0) {
        throw std::runtime_error("cannot link " + entry + ": " + std::strerror(errno));
    }
}

void PortsFolder::Unlink(int comNumber) const {
    ::unlink(EntryPath(comNumber).c_str());
}

}  // namespace vx::test
