#pragma once
// The ports folder in which the program looks up COM numbers: an entry "COMn" is a symbolic link
// to the device behind port n.

#include <string>

namespace vx::sim {

inline constexpr int kFirstAutoPort = 11;
inline constexpr int kLastPort = 50;

// $VENTRIX_PORTS_DIR when set, else ~/.config/ventrix/ports.
std::string PortsFolderPath();

class PortLink {
public:
    PortLink() = default;
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    // Links COMn in `folder` (created with mode 0700 when missing) to `device`. With port 0 the
    // first free number from 11 up is taken. An entry whose device is gone is replaced; a live
    // one is never touched. Returns false with a reason in `error`.
    bool Claim(const std::string& folder, const std::string& device, int port, std::string& error);

    // Removes the link, but only while it still points to our device.
    void Release();

    int Port() const { return port_; }
    const std::string& Path() const { return path_; }

private:
    bool TryLink(const std::string& path, const std::string& device, bool& inUse,
                 std::string& error);

    int port_ = 0;
    std::string path_;
    std::string device_;
};

}  // namespace vx::sim
