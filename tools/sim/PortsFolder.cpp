#include "tools/sim/PortsFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vx::sim {

namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

// mkdir -p; folders we create are private (0700), because another user's link in a shared,
// sticky folder would not be followed anyway (protected symlinks).
bool MakeFolders(const std::string& path, std::string& error) {
    std::string partial;
    std::size_t at = 0;
    while (at != std::string::npos) {
        at = path.find('/', at + 1);
        partial = path.substr(0, at);
        if (partial.empty() || mkdir(partial.c_str(), 0700) == 0 || errno == EEXIST) {
            continue;
        }
        error = "cannot create folder " + partial + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = path + " is not a folder";
        return false;
    }
    return true;
}

std::string ReadLink(const std::string& path) {
    char target[4096];
    const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    return length < 0 ? std::string() : std::string(target, static_cast<std::size_t>(length));
}

}  // namespace

std::string PortsFolderPath() {
    if (const char* folder = std::getenv("VENTRIX_PORTS_DIR"); folder != nullptr && *folder) {
        return folder;
    }
    return HomeFolder() + "/.config/ventrix/ports";
}

PortLink::~PortLink() {
    Release();
}

bool PortLink::TryLink(const std::string& path, const std::string& device, bool& inUse,
                       std::string& error) {
    inUse = false;
    if (symlink(device.c_str(), path.c_str()) == 0) {
        return true;
    }
    if (errno != EEXIST) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat linkInfo {};
    struct stat targetInfo {};
    const bool isLink = lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode);
    const bool dangling = isLink && stat(path.c_str(), &targetInfo) != 0 && errno == ENOENT;
    if (!dangling) {
        inUse = true;
        return false;
    }
    // A link left behind by a simulator that was killed: its device is gone.
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
        error = "cannot replace " + path + ": " + std::strerror(errno);
        return false;
    }
    if (symlink(device.c_str(), path.c_str()) == 0) {
        return true;
    }
    inUse = errno == EEXIST;  // another simulator was quicker
    if (!inUse) {
        error = "cannot create " + path + ": " + std::strerror(errno);
    }
    return false;
}

bool PortLink::Claim(const std::string& folder, const std::string& device, int port,
                     std::string& error) {
    if (!MakeFolders(folder, error)) {
        return false;
    }
    const int first = port > 0 ? port : kFirstAutoPort;
    const int last = port > 0 ? port : kLastPort;
    for (int n = first; n <= last; ++n) {
        const std::string path = folder + "/COM" + std::to_string(n);
        bool inUse = false;
        if (TryLink(path, device, inUse, error)) {
            port_ = n;
            path_ = path;
            device_ = device;
            return true;
        }
        if (!inUse) {
            return false;
        }
    }
    error = port > 0 ? "COM" + std::to_string(port) + " is in use in " + folder
                     : "no free COM number from " + std::to_string(kFirstAutoPort) + " to " +
                           std::to_string(kLastPort) + " in " + folder;
    return false;
}

void PortLink::Release() {
    if (!path_.empty() && ReadLink(path_) == device_) {
        unlink(path_.c_str());
    }
    path_.clear();
}

}  // namespace vx::sim
