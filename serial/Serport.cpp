#include "serial/Serport.h"

#include "serial/Serexcept.h"
#include "serial/UiThread.h"

#include <algorithm>
#include <atomic>

namespace vx {
namespace {

constexpr int kDeferredCloseRetryMs = 5;

PortSelectionHook& SelectionHook() {
    static PortSelectionHook hook;
    return hook;
}

std::atomic<TPortDestroyedHook>& DestroyedHook() {
    static std::atomic<TPortDestroyedHook> hook{nullptr};
    return hook;
}

// The dispatcher reports system codes; the component names the ones a user meets when opening.
int OpenFailureCode(int code) {
    switch (code) {
        case -kSysAccessDenied:
            return ecAlreadyOpen;
        case -kSysFileNotFound:
        case -kSysPathNotFound:
            return ecBadId;
        case -kSysNoPermission:
            return ecNoPermission;
        default:
            return code;
    }
}

// A dispatcher whose port is gone lives until its threads have ended.
void DestroyWhenStopped(std::shared_ptr<TSerBaseDispatcher> dispatcher) {
    if (dispatcher->RunningThreads() == 0) {
        return;
    }
    GetUiThread().PostToUi([dispatcher] { DestroyWhenStopped(dispatcher); }, kDeferredCloseRetryMs);
}

}  // namespace

std::string ComName(int n) {
    return "COM" + std::to_string(n);
}

bool IsPortAvailable(int n) {
    if (n <= 0) {
        return false;
    }
    std::string path = PortDevicePath(n);
    if (path.empty()) {
        return false;
    }
    const int code = ProbeSerialDevice(path);
    if (code == 0) {
        return true;
    }
    // Held by another program: listed, and opening it says so. Without permission: listed, and
    // opening it tells the user how to get access.
    return code == kSysAccessDenied || code == kSysNoPermission;
}

std::vector<int> AvailablePorts() {
    std::vector<int> ports;
    for (int n = 1; n <= kMaxPortNumber; ++n) {
        if (IsPortAvailable(n)) {
            ports.push_back(n);
        }
    }
    return ports;
}

void SetPortDestroyedHook(TPortDestroyedHook hook) {
    DestroyedHook().store(hook);
}

PortSelectionHook SetPortSelectionHook(PortSelectionHook hook) {
    PortSelectionHook previous = std::move(SelectionHook());
    SelectionHook() = std::move(hook);
    return previous;
}

TSerCustomComPort::TSerCustomComPort() : self_(std::make_shared<TSerCustomComPort*>(this)) {}

TSerCustomComPort::~TSerCustomComPort() {
    RunShowingErrors([this] { CloseBeforeDestruction(); });
    *self_ = nullptr;
    if (TPortDestroyedHook hook = DestroyedHook().load()) {
        hook(this);
    }
    users_.clear();
}

// The owner is going, and the windows the port's deliveries were for may be going with it (the
// main window deletes all its document windows in one go). So nothing more is handed to the
// user-interface thread, and the close finishes without that thread handling its other events:
// one of them could finish this very close, or free what the others are about to use.
void TSerCustomComPort::CloseBeforeDestruction() {
    if (!dispatcher_) {
        return;
    }
    const bool insideOwnDelivery = !dispatcher_->AbandonHandOvers();
    if (state_ == psOpen) {
        ClosePort();
    }
    if (state_ != psShuttingDown || !dispatcher_) {
        return;
    }
    if (insideOwnDelivery) {
        // Destroyed by its own packet handler: the delivery up the stack must return before the
        // dispatcher's threads can end, so they are left to end on their own.
        DestroyWhenStopped(std::shared_ptr<TSerBaseDispatcher>(std::move(dispatcher_)));
    } else {
        dispatcher_->WaitForThreads();
    }
    FinishClose();
}

void TSerCustomComPort::Raise(int code) {
    if (loading_) {
        return;
    }
    std::string path = dispatcher_ ? dispatcher_->DevicePath() : PortDevicePath(comNumber_);
    RaiseSerError(code, path);
}

void TSerCustomComPort::SetComNumber(unsigned n) {
    if (n == comNumber_) {
        return;
    }
    if (state_ == psOpen) {
        ClosePort();
        comNumber_ = n;
        if (state_ == psClosed) {
            OpenPort();
        }
        return;
    }
    comNumber_ = n;
}

void TSerCustomComPort::SetBaud(std::int32_t baud) {
    if (baud == baud_ && !force_) {
        return;
    }
    baud_ = baud;
    if (Live()) {
        ApplyLineSettings();
    }
}

void TSerCustomComPort::SetParity(TParity parity) {
    if (parity == parity_ && !force_) {
        return;
    }
    parity_ = parity;
    if (Live()) {
        ApplyLineSettings();
    }
}

void TSerCustomComPort::SetDataBits(unsigned bits) {
    if (bits == dataBits_ && !force_) {
        return;
    }
    dataBits_ = bits;
    if (Live()) {
        ApplyLineSettings();
    }
}

void TSerCustomComPort::SetStopBits(unsigned bits) {
    if (bits == stopBits_ && !force_) {
        return;
    }
    stopBits_ = bits;
    if (Live()) {
        ApplyLineSettings();
    }
}

void TSerCustomComPort::SetInSize(unsigned size) {
    // Queue sizes are fixed while the port is open; they apply at the next open.
    inSize_ = size;
}

void TSerCustomComPort::SetOutSize(unsigned size) {
    outSize_ = size;
}

void TSerCustomComPort::ApplyLineSettings() {
    Raise(dispatcher_->SetLine(static_cast<std::uint32_t>(std::max(baud_, 0)),
                               static_cast<int>(parity_), static_cast<int>(dataBits_),
                               static_cast<int>(stopBits_)));
}

void TSerCustomComPort::SetHWFlowOptions(THWFlowOptionSet options) {
    if (options == hwFlow_ && !force_) {
        return;
    }
    hwFlow_ = options;
    if (Live()) {
        dispatcher_->SetHWFlow((options & hwfUseDTR) != 0, (options & hwfUseRTS) != 0);
    }
}

void TSerCustomComPort::SetSWFlowOptions(TSWFlowOptions options) {
    swFlow_ = options;
}
void TSerCustomComPort::SetXOnChar(char c) {
    xOnChar_ = c;
}
void TSerCustomComPort::SetXOffChar(char c) {
    xOffChar_ = c;
}

void TSerCustomComPort::SetTriggerLength(unsigned n) {
    if (n == triggerLength_ && !force_) {
        return;
    }
    triggerLength_ = n;
    if (Live()) {
        dispatcher_->ChangeLengthTrigger(n);
    }
}

void TSerCustomComPort::SetDTR(bool on) {
    if (on == dtr_ && !force_) {
        return;
    }
    if (Live()) {
        Raise(dispatcher_->SetDTR(on));
    }
    dtr_ = on;
}

void TSerCustomComPort::SetRTS(bool on) {
    if (on == rts_ && !force_) {
        return;
    }
    if (Live()) {
        Raise(dispatcher_->SetRTS(on));
    }
    rts_ = on;
}

void TSerCustomComPort::SetOpen(bool open) {
    if (loading_) {
        openWhenLoaded_ = open;
        return;
    }
    if (open == open_) {
        return;
    }
    if (open) {
        OpenPort();
    } else {
        ClosePort();
    }
}

void TSerCustomComPort::EndLoading() {
    loading_ = false;
    if (openWhenLoaded_) {
        openWhenLoaded_ = false;
        SetOpen(true);
    }
}

void TSerCustomComPort::ChoosePortNumber() {
    if (!promptForPort_ || !SelectionHook()) {
        Raise(ecNoPortSelected);
        return;
    }
    int chosen = SelectionHook()(AvailablePorts());
    if (chosen <= 0) {
        Raise(ecNoPortSelected);
        return;
    }
    comNumber_ = static_cast<unsigned>(chosen);
}

void TSerCustomComPort::OpenPort() {
    if (open_) {
        return;
    }
    if (comNumber_ == 0) {
        ChoosePortNumber();
        if (comNumber_ == 0) {
            return;
        }
    }
    auto dispatcher = CreateDispatcher();
    const std::uint64_t openCount = ++openCount_;
    std::weak_ptr<TSerCustomComPort*> weak = self_;
    dispatcher->SetLostNotice([weak, openCount] {
        GetUiThread().PostToUi([weak, openCount] {
            auto self = weak.lock();
            if (self && *self) {
                (*self)->DeviceLostNotice(openCount);
            }
        });
    });
    TPortConfig config;
    config.comNumber = static_cast<int>(comNumber_);
    config.inSize = inSize_;
    config.outSize = outSize_;
    config.dtr = dtr_;
    config.rts = rts_;
    config.dtrFlow = (hwFlow_ & hwfUseDTR) != 0;
    config.rtsFlow = (hwFlow_ & hwfUseRTS) != 0;
    config.baud = static_cast<std::uint32_t>(std::max(baud_, 0));
    config.parity = static_cast<int>(parity_);
    config.dataBits = static_cast<int>(dataBits_);
    config.stopBits = static_cast<int>(stopBits_);
    int code = dispatcher->InitPort(config);
    if (code != 0) {
        std::string path = dispatcher->DevicePath();
        dispatcher.reset();
        if (!loading_) {
            RaiseSerError(OpenFailureCode(code),
                          path.empty() ? PortDevicePath(config.comNumber) : path);
        }
        return;
    }
    dispatcher_ = std::move(dispatcher);
    state_ = psOpen;
    try {
        ApplyForcedSettings();
    } catch (...) {
        dispatcher_.reset();
        state_ = psClosed;
        throw;
    }
    open_ = true;
    if (haveSavedTriggers_) {
        dispatcher_->RestoreTriggers(savedTriggers_);
        haveSavedTriggers_ = false;
        dispatcher_->ChangeLengthTrigger(triggerLength_);
    }
    TellUsers(ctOpen);
    if (OnPortOpen) {
        OnPortOpen(this);
    }
}

void TSerCustomComPort::ApplyForcedSettings() {
    struct Force {
        bool& flag;
        explicit Force(bool& f) : flag(f) { flag = true; }
        ~Force() { flag = false; }
    } force(force_);
    SetHWFlowOptions(hwFlow_);
    SetSWFlowOptions(swFlow_);
    SetXOnChar(xOnChar_);
    SetXOffChar(xOffChar_);
    SetTriggerLength(triggerLength_);
    SetDTR(dtr_);
    SetRTS(rts_);
}

void TSerCustomComPort::ClosePort() {
    if (!open_ || state_ != psOpen) {
        return;
    }
    state_ = psShuttingDown;
    TellUsers(ctClosing);
    savedTriggers_ = dispatcher_->SaveTriggers();
    haveSavedTriggers_ = true;
    dispatcher_->DonePort();
    if (dispatcher_->DeletePending()) {
        // The dispatch thread is delivering a notification (perhaps the very one this close
        // runs inside): it finishes the close when the delivery returns.
        ScheduleDeferredClose();
        return;
    }
    FinishClose();
}

void TSerCustomComPort::ScheduleDeferredClose() {
    std::weak_ptr<TSerCustomComPort*> weak = self_;
    GetUiThread().PostToUi(
        [weak] {
            auto self = weak.lock();
            if (self && *self) {
                RunShowingErrors([&] { (*self)->CheckDeferredClose(); });
            }
        },
        kDeferredCloseRetryMs);
}

void TSerCustomComPort::CheckDeferredClose() {
    if (state_ != psShuttingDown || !dispatcher_) {
        return;
    }
    if (dispatcher_->RunningThreads() > 0) {
        ScheduleDeferredClose();
        return;
    }
    FinishClose();
}

void TSerCustomComPort::FinishClose() {
    dispatcher_.reset();
    state_ = psClosed;
    open_ = false;
    TellUsers(ctClosed);
    if (OnPortClose) {
        OnPortClose(this);
    }
}

void TSerCustomComPort::DeviceLostNotice(std::uint64_t openCount) {
    // The notice travelled through the event queue: the port may have been closed, or closed and
    // opened on a new device, since.
    if (openCount != openCount_ || state_ != psOpen || !OnDeviceLost) {
        return;
    }
    RunShowingErrors([this] { OnDeviceLost(this); });
}

void TSerCustomComPort::PutChar(char c) {
    if (state_ == psShuttingDown) {
        return;
    }
    if (!open_) {
        if (!autoOpen_) {
            Raise(ecNotOpen);
            return;
        }
        SetOpen(true);
    }
    Raise(dispatcher_->PutChar(static_cast<std::uint8_t>(c)));
}

void TSerCustomComPort::FlushInBuffer() {
    if (state_ == psShuttingDown) {
        return;
    }
    if (!open_ || !dispatcher_) {
        Raise(ecNotOpen);
        return;
    }
    dispatcher_->FlushInBuffer();
}

void TSerCustomComPort::RegisterUserCallbackEx(TSerCallbackEx callback, void* owner) {
    users_.push_back(UserCallback{callback, owner});
}

void TSerCustomComPort::DeregisterUserCallbackEx(TSerCallbackEx callback, void* owner) {
    std::erase_if(
        users_, [&](const UserCallback& u) { return u.callback == callback && u.owner == owner; });
}

void TSerCustomComPort::TellUsers(TSerCallbackType type) {
    // From the last registered to the first; a user may deregister itself or others meanwhile.
    auto snapshot = users_;
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
        bool stillRegistered =
            std::any_of(users_.begin(), users_.end(), [&](const UserCallback& u) {
                return u.callback == it->callback && u.owner == it->owner;
            });
        if (stillRegistered) {
            it->callback(it->owner, this, type);
        }
    }
}

TSerBaseDispatcher* TSerCustomComPort::GetDispatcher() {
    if (!dispatcher_ && autoOpen_ && !loading_ && state_ == psClosed) {
        SetOpen(true);
    }
    return dispatcher_.get();
}

TSerBaseDispatcher& TSerCustomComPort::ValidDispatcher() {
    TSerBaseDispatcher* dispatcher = GetDispatcher();
    if (!dispatcher) {
        RaiseSerError(ecNotOpen);
    }
    return *dispatcher;
}

std::string TSerCustomComPort::DevicePath() const {
    return dispatcher_ ? dispatcher_->DevicePath() : std::string();
}

}  // namespace vx
