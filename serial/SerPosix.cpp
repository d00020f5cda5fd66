#include "serial/SerPosix.h"

namespace vx {

TSerPosixDispatcher::~TSerPosixDispatcher() = default;

int TSerPosixDispatcher::OpenDevice(int comNumber, std::unique_ptr<SerialDevice>& device,
                                    std::string& path) {
    path = PortDevicePath(comNumber);
    if (path.empty()) {
        return kSysFileNotFound;
    }
    device = CreateSerialDevice();
    return device->Open(path);
}

std::unique_ptr<TSerBaseDispatcher> CreateDispatcher() {
    return std::make_unique<TSerPosixDispatcher>();
}

}  // namespace vx
