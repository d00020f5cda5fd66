#pragma once
// A pseudo-terminal has no modem lines, so the DTR line the alarm raises cannot be watched on
// one: this test double wraps the real POSIX device, claims modem lines, and records every open,
// close and DTR change the serial link makes on one device path.

#include "platform/SerialDevice.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vx {

// What happened to the devices on one path, in order: "open", "close", "dtr on", "dtr off".
// The serial link may call from its own threads, hence the lock.
class LineRecord {
public:
    explicit LineRecord(const std::string& path) : path_(Resolved(path)) {}
    // Ports are opened through their link in the ports folder.
    void Add(const std::string& path, const char* what) {
        if (Resolved(path) == path_) {
            std::lock_guard lock(lock_);
            events_.push_back(what);
        }
    }
    std::vector<std::string> Events() const {
        std::lock_guard lock(lock_);
        return events_;
    }
    void Clear() {
        std::lock_guard lock(lock_);
        events_.clear();
    }

private:
    static std::filesystem::path Resolved(const std::string& path) {
        std::error_code ignored;
        return std::filesystem::weakly_canonical(path, ignored);
    }

    std::filesystem::path path_;
    mutable std::mutex lock_;
    std::vector<std::string> events_;
};

class DtrRecordingDevice : public SerialDevice {
public:
    explicit DtrRecordingDevice(LineRecord& record)
        : inner_(CreatePosixSerialDevice()), record_(record) {}
    ~DtrRecordingDevice() override { Close(); }

    int Open(const std::string& path) override {
        const int code = inner_->Open(path);
        if (code == 0) {
            record_.Add(path, "open");
        }
        return code;
    }
    void Close() override {
        if (inner_->IsOpen()) {
            record_.Add(inner_->Path(), "close");
        }
        inner_->Close();
    }
    bool IsOpen() const override { return inner_->IsOpen(); }
    int SetQueueSizes(unsigned in, unsigned out) override { return inner_->SetQueueSizes(in, out); }
    int GetLineSettings(LineSettings& settings) override {
        return inner_->GetLineSettings(settings);
    }
    int SetLineSettings(const LineSettings& settings) override {
        return inner_->SetLineSettings(settings);
    }
    unsigned WaitEvent(int timeoutMs, bool forData) override {
        return inner_->WaitEvent(timeoutMs, forData);
    }
    void CancelWaits() override { inner_->CancelWaits(); }
    void ResetCancel() override { inner_->ResetCancel(); }
    bool Vanished() const override { return inner_->Vanished(); }
    long Read(void* buffer, std::size_t size) override { return inner_->Read(buffer, size); }
    long ReadTimed(void* buffer, std::size_t size, int timeoutMs) override {
        return inner_->ReadTimed(buffer, size, timeoutMs);
    }
    long Write(const void* data, std::size_t size) override { return inner_->Write(data, size); }
    int Purge(bool input, bool output) override { return inner_->Purge(input, output); }
    bool HasModemLines() const override { return true; }
    int SetDtr(bool on) override {
        record_.Add(inner_->Path(), on ? "dtr on" : "dtr off");
        return inner_->SetDtr(on);
    }
    int SetRts(bool on) override { return inner_->SetRts(on); }
    int GetModemStatus(std::uint32_t& bits) override { return inner_->GetModemStatus(bits); }
    int QueueCounts(unsigned& in, unsigned& out) override { return inner_->QueueCounts(in, out); }
    const std::string& Path() const override { return inner_->Path(); }

private:
    std::unique_ptr<SerialDevice> inner_;
    LineRecord& record_;
};

}  // namespace vx
