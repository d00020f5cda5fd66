#include "serial/Comms.h"

#include <utility>

namespace vx {

LineParity ParityFromLetter(char letter) {
    switch (letter) {
        case 'O':
            return LineParity::Odd;
        case 'E':
            return LineParity::Even;
        default:
            return LineParity::None;
    }
}

TcommsForm::TcommsForm(DeviceFactory factory) : factory_(std::move(factory)) {}

TcommsForm::~TcommsForm() {
    ClosePort();
}

bool TcommsForm::OpenPort(int portNumber, int baud, char parity) {
    if (!ClosePort()) {
        return false;
    }
    portNumber_ = portNumber;
    baud_ = baud;
    parity_ = parity;
    return port_init();
}

bool TcommsForm::port_init() {
    const std::string path = PortDevicePath(portNumber_);
    if (path.empty() || baud_ <= 0) {
        return false;
    }
    if (!device_) {
        device_ = factory_();
    }
    readFailed_ = false;
    if (device_->Open(path) != kSysOk) {
        return false;
    }
    // Start from the device's own settings and change only what the instrument needs: 8 data
    // bits, 1 stop bit, the chosen parity. Opening already put the line in raw mode without
    // flow control of any kind.
    LineSettings settings;
    if (device_->GetLineSettings(settings) != kSysOk) {
        return false;
    }
    settings.baud = static_cast<std::uint32_t>(baud_);
    settings.dataBits = 8;
    settings.stopBits = 1;
    settings.parity = ParityFromLetter(parity_);
    if (device_->SetLineSettings(settings) != kSysOk) {
        return false;
    }
    // Neither line is driven during the search. A device without modem lines (a
    // pseudo-terminal) accepts this and does nothing.
    device_->SetDtr(false);
    device_->SetRts(false);
    return true;
}

bool TcommsForm::ClosePort() {
    if (device_ && device_->IsOpen()) {
        device_->Close();
    }
    return !IsOpen();
}

void TcommsForm::SendChar(char c) {
    if (!IsOpen()) {
        return;
    }
    device_->Write(&c, 1);
}

bool TcommsForm::ReadPrintable(char& c) {
    if (!IsOpen()) {
        return false;
    }
    unsigned char byte = 0;
    const long count = device_->ReadTimed(&byte, 1, kReadTimeoutMs);
    if (count < 0) {
        // A failing read fails at once, every time: stop waiting on it.
        readFailed_ = true;
    }
    if (count != 1) {
        return false;
    }
    if (byte < 0x20 || byte > 0x7F) {
        return false;
    }
    c = static_cast<char>(byte);
    return true;
}

bool TcommsForm::IsOpen() const {
    return device_ && device_->IsOpen();
}

bool TcommsForm::CanRead() const {
    return IsOpen() && !readFailed_ && !device_->Vanished();
}

}  // namespace vx
