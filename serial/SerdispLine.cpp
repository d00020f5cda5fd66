// The dispatcher's line: the line settings and the modem lines of its open device. The device
// copy is guarded by the main lock, like the triggers; no thread of the dispatcher is involved.

#include "serial/Serdisp.h"

#include "serial/Serexcept.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace vx {

void TSerBaseDispatcher::WaitOutputDrained() {
    for (int i = 0; i < 5000 && OutBuffUsed() > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::uint32_t baud = 0;
    int bits = 0;
    {
        std::lock_guard lock(mainLock_);
        baud = lastBaudWritten_ == 0 ? 115200 : lastBaudWritten_;
        bits = line_.dataBits + 2 + (line_.parity != LineParity::None ? 1 : 0) +
               (stopCode_ != 0 ? 1 : 0);
    }
    // Time for 18 characters in units of 0.1 us, so the last ones leave the UART before the
    // line changes.
    std::int64_t t = static_cast<std::int64_t>(10000000 / baud) * bits * 18;
    if (t < 10000) {
        t *= 2;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds((t + 9999) / 10000));
}

int TSerBaseDispatcher::SetLine(std::uint32_t baud, int parity, int dataBits, int stopBits) {
    LineSettings want;
    int stopCode = 0;
    {
        std::lock_guard lock(mainLock_);
        if (!deviceOpen_) {
            return ecNotOpen;
        }
        if (stopBits == 3) {
            stopBits = stopCode_ == 0 ? 1 : 2;
        } else if (stopBits <= 0) {
            stopBits = 1;
        } else if (stopBits > 2) {
            stopBits = 2;
        }
        want.baud = baud == 0 ? line_.baud : baud;
        want.parity =
            parity == 5 ? line_.parity : static_cast<LineParity>(std::clamp(parity, 0, 4));
        want.dataBits = dataBits == 9 ? line_.dataBits : dataBits;
        stopCode = want.dataBits == 5 ? 1 : (stopBits == 1 ? 0 : 2);
        want.stopBits = stopCode == 0 ? 1 : 2;
        if (want.baud == line_.baud && want.parity == line_.parity &&
            want.dataBits == line_.dataBits && stopCode == stopCode_) {
            return 0;
        }
    }
    WaitOutputDrained();
    std::lock_guard lock(mainLock_);
    if (!deviceOpen_) {
        return ecNotOpen;
    }
    int code = device_->SetLineSettings(want);
    if (code != 0) {
        return -code;
    }
    line_ = want;
    stopCode_ = stopCode;
    lastBaudWritten_ = want.baud;
    ++lineWrites_;
    ApplyDtr();
    ApplyRts();
    return 0;
}

LineSettings TSerBaseDispatcher::CurrentLine() const {
    std::lock_guard lock(mainLock_);
    return line_;
}

int TSerBaseDispatcher::ApplyDtr() {
    if (dtrFlow_ || !deviceOpen_) {
        return 0;
    }
    return -device_->SetDtr(dtr_);
}

int TSerBaseDispatcher::ApplyRts() {
    if (rtsFlow_ || !deviceOpen_) {
        return 0;
    }
    return -device_->SetRts(rts_);
}

int TSerBaseDispatcher::SetDTR(bool on) {
    std::lock_guard lock(mainLock_);
    dtr_ = on;
    return ApplyDtr();
}

int TSerBaseDispatcher::SetRTS(bool on) {
    std::lock_guard lock(mainLock_);
    rts_ = on;
    return ApplyRts();
}

void TSerBaseDispatcher::SetHWFlow(bool dtrFlow, bool rtsFlow) {
    std::lock_guard lock(mainLock_);
    dtrFlow_ = dtrFlow;
    rtsFlow_ = rtsFlow;
}

std::uint32_t TSerBaseDispatcher::ModemStatus() {
    std::lock_guard lock(mainLock_);
    if (deviceOpen_) {
        device_->GetModemStatus(modemStatus_);
    }
    return modemStatus_;
}

int TSerBaseDispatcher::LineWrites() const {
    std::lock_guard lock(mainLock_);
    return lineWrites_;
}

}  // namespace vx
