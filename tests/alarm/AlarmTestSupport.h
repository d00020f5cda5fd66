#pragma once
// Pseudo-terminals linked into a ports folder of their own (PortLinks): the alarm tests' serial
// ports.

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vx {

// A pseudo-terminal stands in for a serial device; its slave is linked into the ports folder.
class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            slave_ = ptsname(master_);
        }
    }
    ~PseudoTerminal() {
        if (master_ >= 0) {
            close(master_);
        }
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    const std::string& SlavePath() const { return slave_; }

private:
    int master_ = -1;
    std::string slave_;
};

class PortLinks {
public:
    PortLinks() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vx-ports-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
        setenv("VENTRIX_PORTS_DIR", path_.c_str(), 1);
    }
    ~PortLinks() {
        unsetenv("VENTRIX_PORTS_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    PortLinks(const PortLinks&) = delete;
    PortLinks& operator=(const PortLinks&) = delete;
    void Link(int number, const std::string& device) {
        std::filesystem::create_symlink(device, path_ / ("COM" + std::to_string(number)));
    }

private:
    std::filesystem::path path_;
};

}  // namespace vx
