#pragma once
// The raw port of the baud-rate search. The search does not go through TSerComPort and its
// dispatcher threads: it opens the device itself, one rate at a time, writes single bytes and
// reads one byte at a time with a short time-out, all on the calling thread. One device at a
// time for the whole program.

#include "platform/SerialDevice.h"

#include <functional>
#include <memory>

namespace vx {

class TcommsForm {
public:
    using DeviceFactory = std::function<std::unique_ptr<SerialDevice>()>;

    // A read gives up after about this long when nothing arrives (10 ms between bytes plus
    // 10 ms per byte plus 10 ms), so the listening loop around it stays responsive.
    static constexpr int kReadTimeoutMs = 20;

    explicit TcommsForm(DeviceFactory factory = CreateSerialDevice);
    ~TcommsForm();
    TcommsForm(const TcommsForm&) = delete;
    TcommsForm& operator=(const TcommsForm&) = delete;

    // Closes what is open, remembers the three values and opens COM<portNumber> configured for
    // them. A device that opened but could not be configured stays open until ClosePort.
    bool OpenPort(int portNumber, int baud, char parity);
    bool port_init();
    // True when no device is open afterwards.
    bool ClosePort();

    // One byte per write; nothing happens without an open device.
    void SendChar(char c);
    // Reads at most one byte. Only 0x20..0x7F count; control characters and bytes above 0x7F are
    // consumed and ignored.
    bool ReadPrintable(char& c);

    bool IsOpen() const;
    // Whether a read can wait for a byte at all: false without a device or after it vanished, in
    // which case a read returns at once and the caller must wait some other way.
    bool CanRead() const;

    int PortNumber() const { return portNumber_; }
    int Baud() const { return baud_; }
    char Parity() const { return parity_; }

private:
    DeviceFactory factory_;
    std::unique_ptr<SerialDevice> device_;
    int portNumber_ = 0;
    int baud_ = 0;
    char parity_ = 'N';
    bool readFailed_ = false;
};

// The line parity a parity letter stands for: O odd, E even, anything else none.
LineParity ParityFromLetter(char letter);

}  // namespace vx
