#pragma once
// A private ports folder: VENTRIX_PORTS_DIR names it while it lives, so a test sees only the
// devices it links there as COMn, never the machine's own serial ports.

#include "tests/support/TempFolder.h"

#include <string>

namespace vx::test {

class PortsFolder {
public:
    enum class Numbers {
        // A number without a link falls back to the built-in device table (/dev/ttyS0, ...).
        Unlinked,
        // Every COM number is linked to a device that does not exist, so the machine's own
        // ports never show up; a simulator or Link() replaces such a link.
        Absent,
    };

    explicit PortsFolder(Numbers numbers = Numbers::Unlinked);
    PortsFolder(const PortsFolder&) = delete;
    PortsFolder& operator=(const PortsFolder&) = delete;

    const std::string& Path() const { return folder_.Path(); }
    // Links COM<comNumber> to a device path (which need not exist); throws when it cannot.
    void Link(int comNumber, const std::string& device) const;
    // Removes the COMn entry.
    void Unlink(int comNumber) const;
    std::string EntryPath(int comNumber) const;

private:
    TempFolder folder_;
    ScopedEnv env_;
};

}  // namespace vx::test
