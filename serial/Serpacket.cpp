#include "serial/Serpacket.h"

#include "serial/Serexcept.h"

#include <atomic>

namespace vx {
namespace {

std::uint64_t NextFramerId() {
    static std::atomic<std::uint64_t> next{1};
    return next++;
}

}  // namespace

TSerDataPacket::TSerDataPacket() : id_(NextFramerId()) {}

TSerDataPacket::~TSerDataPacket() {
    SetComPort(nullptr);
}

TSerDataPacket::Lock TSerDataPacket::LockManager() const {
    return manager_ ? manager_->LockState() : Lock();
}

bool TSerDataPacket::GetEnabled() const {
    auto lock = LockManager();
    return enabled_;
}

TPacketMode TSerDataPacket::GetMode() const {
    auto lock = LockManager();
    return matcher_.Mode();
}

std::string TSerDataPacket::GetCollectedString() const {
    auto lock = LockManager();
    return packetReady_ && collected_ ? *collected_ : std::string();
}

void TSerDataPacket::SetEnabled(bool on) {
    auto lock = LockManager();
    SetEnabledLocked(on);
}

void TSerDataPacket::SetEnabledLocked(bool on) {
    if (on == enabled_) {
        // Its own packet handler turning it off: AutoEnable must not turn it back on.
        if (!on && packetReady_) {
            stayOff_ = true;
        }
        return;
    }
    if (packetReady_) {
        stayOff_ = !on;
    }
    if (on) {
        Arm();
    } else {
        Disarm();
    }
    enabled_ = on;
}

void TSerDataPacket::SetStartCond(TPacketStartCond cond) {
    auto lock = LockManager();
    matcher_.Rules().startCond = cond;
}

void TSerDataPacket::SetStartString(const std::string& s) {
    auto lock = LockManager();
    matcher_.Rules().startString = s;
}

void TSerDataPacket::SetEndString(const std::string& s) {
    auto lock = LockManager();
    const bool wasEnabled = enabled_;
    if (wasEnabled) {
        Disarm();
    }
    PacketRules& rules = matcher_.Rules();
    rules.endString = s;
    // An end string only means something with the end-string condition; setting one on a
    // framer that has no end condition yet asks for it.
    if (!s.empty() && rules.endCond == 0) {
        rules.endCond = ecString;
    }
    if (wasEnabled) {
        Arm();
    }
}

void TSerDataPacket::SetEndCond(TPacketEndSet cond) {
    auto lock = LockManager();
    const bool wasEnabled = enabled_;
    if (wasEnabled) {
        Disarm();
    }
    matcher_.Rules().endCond = cond;
    if (wasEnabled) {
        Arm();
    }
}

void TSerDataPacket::SetIgnoreCase(bool on) {
    auto lock = LockManager();
    matcher_.Rules().ignoreCase = on;
}

void TSerDataPacket::SetPacketSize(std::int32_t size) {
    auto lock = LockManager();
    matcher_.Rules().packetSize = size;
}

void TSerDataPacket::SetIncludeStrings(bool on) {
    auto lock = LockManager();
    matcher_.Rules().includeStrings = on;
}

void TSerDataPacket::EndLoading() {
    auto lock = LockManager();
    loading_ = false;
    if (enablePending_ && enabled_) {
        enablePending_ = false;
        Arm();
    }
}

void TSerDataPacket::SetComPort(TSerCustomComPort* port) {
    if (port == port_ && (port ? manager_ != nullptr : manager_ == nullptr)) {
        return;
    }
    if (manager_) {
        auto keep = manager_->shared_from_this();
        keep->Detach(this);
    }
    port_ = port;
    if (port) {
        TSerDataPacketManagerList::Instance().FindOrCreate(port)->Attach(this);
    }
}

void TSerDataPacket::Arm() {
    if (loading_) {
        enablePending_ = true;
        return;
    }
    if (!manager_ || !manager_->Receiving()) {
        // Armed when the port opens.
        matcher_.ResetPositions();
        return;
    }
    if (manager_->Delivering()) {
        enablePending_ = true;
        return;
    }
    if (const int code = matcher_.Arm(); code != 0) {
        RaiseSerError(code);
    }
    enablePending_ = false;
    timedOut_ = false;
}

void TSerDataPacket::Disarm() {
    if (matcher_.Mode() == dpIdle && !enablePending_) {
        return;
    }
    enablePending_ = false;
    if (manager_) {
        manager_->ReleaseCapture(this);
    }
    matcher_.Stop();
}

void TSerDataPacket::AttachTo(TSerDataPacketManager* manager) {
    manager_ = manager;
    matcher_.Stop();
}

void TSerDataPacket::LoseManager(bool portGone) {
    matcher_.Stop();
    enablePending_ = false;
    packetReady_ = false;
    collected_ = nullptr;
    stayOff_ = false;
    manager_ = nullptr;
    if (portGone) {
        port_ = nullptr;
    }
}

void TSerDataPacket::ArmIfEnabled() {
    if (!enabled_) {
        return;
    }
    try {
        Arm();
    } catch (...) {
        enabled_ = false;
        throw;
    }
}

void TSerDataPacket::RestartMatch() {
    if (enabled_ && matcher_.Mode() != dpIdle) {
        Disarm();
        Arm();
    }
}

void TSerDataPacket::StartDelivery(const std::string* packet) {
    enabled_ = false;
    collected_ = packet;
    packetReady_ = true;
}

void TSerDataPacket::EndDelivery() {
    packetReady_ = false;
    collected_ = nullptr;
    if (autoEnable_ && !stayOff_) {
        SetEnabledLocked(true);
    }
    stayOff_ = false;
}

void TSerDataPacket::TimeOut() {
    Disarm();
    enabled_ = false;
    timedOut_ = true;
}

}  // namespace vx
