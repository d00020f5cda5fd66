#pragma once
// The dispatcher over a POSIX device: the port's number names the device through the ports
// folder or the built-in table (platform/SerialDevice.h).

#include "serial/Serdisp.h"

namespace vx {

class TSerPosixDispatcher : public TSerBaseDispatcher {
public:
    TSerPosixDispatcher() = default;
    ~TSerPosixDispatcher() override;

protected:
    int OpenDevice(int comNumber, std::unique_ptr<SerialDevice>& device,
                   std::string& path) override;
};

}  // namespace vx
