#include "serial/Serdisp.h"

#include "serial/Serexcept.h"
#include "serial/UiThread.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>

namespace vx {
namespace {

std::mutex& PortListMutex() {
    static std::mutex m;
    return m;
}

std::vector<TSerBaseDispatcher*>& PortList() {
    static std::vector<TSerBaseDispatcher*> list;
    return list;
}

constexpr int kAckTimeoutMs = 3000;
constexpr int kFlushAckTimeoutMs = 5000;
constexpr int kDispatchPollMs = 50;
constexpr int kModemPollMs = 250;
constexpr int kIdlePollMs = 1000;

}  // namespace

void LockPortList() {
    PortListMutex().lock();
}
void UnlockPortList() {
    PortListMutex().unlock();
}

int PortListSize() {
    std::lock_guard lock(PortListMutex());
    return static_cast<int>(PortList().size());
}

TTriggerType TriggerTypeOf(unsigned msg) {
    switch (msg) {
        case kTriggerAvail:
            return ttAvail;
        case kTriggerData:
            return ttData;
        case kTriggerTimer:
            return ttTimer;
        case kTriggerStatus:
            return ttStatus;
        default:
            return ttNone;
    }
}

// ---- Life ----

TSerBaseDispatcher::TSerBaseDispatcher() : ui_(GetUiThread()), handOver_(ui_) {
    std::lock_guard lock(PortListMutex());
    auto& list = PortList();
    auto slot = std::find(list.begin(), list.end(), nullptr);
    if (slot != list.end()) {
        *slot = this;
        handle_ = static_cast<int>(slot - list.begin());
    } else {
        list.push_back(this);
        handle_ = static_cast<int>(list.size() - 1);
    }
}

TSerBaseDispatcher::~TSerBaseDispatcher() {
    DonePort();
    WaitForThreadsToEnd([this] { return running_ == 0; });
    for (std::thread* t : {&eventThread_, &dispatchThread_, &outputThread_}) {
        if (t->joinable()) {
            t->join();
        }
    }
    std::lock_guard lock(PortListMutex());
    auto& list = PortList();
    if (handle_ >= 0 && handle_ < static_cast<int>(list.size())) {
        list[static_cast<std::size_t>(handle_)] = nullptr;
    }
    while (!list.empty() && list.back() == nullptr) {
        list.pop_back();
    }
}

int TSerBaseDispatcher::InitPort(const TPortConfig& config) {
    if (deviceOpen_) {
        return -kSysAccessDenied;
    }
    int code = OpenDevice(config.comNumber, device_, devicePath_);
    if (code != 0) {
        device_.reset();
        return -code;
    }
    deviceOpen_ = true;
    if ((code = device_->SetQueueSizes(config.inSize, config.outSize)) != 0) {
        CloseDevice();
        return -code;
    }
    {
        std::lock_guard in(inputLock_);
        inRing_.Allocate(kInBufferSize);
        extractedTotal_ = notifiedTotal_ = 0;
    }
    {
        std::lock_guard out(outputLock_);
        outRing_.Allocate(std::max(1u, config.outSize));
    }
    {
        std::lock_guard lock(mainLock_);
        LineSettings current;
        if ((code = device_->GetLineSettings(current)) != 0) {
            CloseDevice();
            return -code;
        }
        line_ = current;
        stopCode_ = current.stopBits >= 2 ? (current.dataBits == 5 ? 1 : 2) : 0;
        dtr_ = config.dtr;
        rts_ = config.rts;
        dtrFlow_ = config.dtrFlow;
        rtsFlow_ = config.rtsFlow;
        ApplyDtr();
        ApplyRts();
        triggers_.Reset();
        device_->GetModemStatus(modemStatus_);
        lastBaudWritten_ = 115200;
        lineWrites_ = 0;
    }
    code = SetLine(config.baud, config.parity, config.dataBits, config.stopBits);
    if (code != 0) {
        CloseDevice();
        return code;
    }
    try {
        StartDispatcher();
    } catch (const std::system_error&) {
        CloseDevice();
        FreeRings();
        return -kSysNoMoreThreads;
    }
    return 0;
}

bool TSerBaseDispatcher::IsOpen() const {
    return deviceOpen_;
}

void TSerBaseDispatcher::CloseDevice() {
    if (device_) {
        device_->Close();
    }
    deviceOpen_ = false;
}

void TSerBaseDispatcher::DonePort() {
    if (!deviceOpen_) {
        return;
    }
    {
        // No delivery starts from now on.
        std::lock_guard lock(mainLock_);
        kill_ = true;
    }
    // Abandon pending output: the output thread gives up its write and acknowledges.
    device_->CancelWaits();
    {
        std::lock_guard lock(outSignalMutex_);
        flushRequest_ = true;
    }
    outSignal_.notify_all();
    deviceEvent_.Set();
    if (started_) {
        auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kFlushAckTimeoutMs);
        while (!outputThreadDone_ && !flushAck_.Wait(10) &&
               std::chrono::steady_clock::now() < deadline) {
        }
    }
    {
        std::lock_guard out(outputLock_);
        outRing_.Clear();
    }
    device_->Purge(false, true);
    FlushInBuffer();
    bool deferred = false;
    {
        // A delivery under way (perhaps the one this close runs inside) keeps the threads and
        // the device; the dispatch thread closes them when it returns.
        std::lock_guard lock(mainLock_);
        deferred = handlers_.Delivering();
        if (deferred) {
            deletePending_ = true;
        }
    }
    deviceEvent_.Set();
    if (!deferred) {
        StopThreads(false);
        CloseDevice();
        FreeRings();
    }
}

void TSerBaseDispatcher::FreeRings() {
    {
        std::lock_guard in(inputLock_);
        inRing_.Free();
    }
    std::lock_guard out(outputLock_);
    outRing_.Free();
}

// ---- Threads ----

void TSerBaseDispatcher::StartDispatcher() {
    {
        std::lock_guard lock(mainLock_);
        if (started_) {
            throw ESerException("Dispatcher already started");
        }
        started_ = true;
        kill_ = false;
        deletePending_ = false;
        lostNoticed_ = false;
    }
    device_->ResetCancel();
    {
        std::lock_guard lock(outSignalMutex_);
        flushRequest_ = outAvailable_ = false;
    }
    ack_.Reset();
    deviceEvent_.Reset();
    flushAck_.Reset();
    try {
        StartThread(eventThread_, eventThreadDone_, [this] { EventThread(); });
        StartThread(dispatchThread_, dispatchThreadDone_, [this] { DispatchThread(); });
        StartThread(outputThread_, outputThreadDone_, [this] { OutputThread(); });
    } catch (const std::system_error&) {
        // The system would not give us a thread (its thread or memory limit): the ones already
        // running stop again, so nothing waits for a thread that never began.
        StopThreads(false);
        started_ = false;
        throw;
    }
}

void TSerBaseDispatcher::StartThread(std::thread& thread, std::atomic<bool>& doneFlag,
                                     std::function<void()> body) {
    doneFlag = false;
    ++running_;
    try {
        thread = std::thread(std::move(body));
    } catch (...) {
        --running_;
        doneFlag = true;
        throw;
    }
    ack_.Wait(kAckTimeoutMs);
}

void TSerBaseDispatcher::StopDispatcher() {
    if (!started_) {
        return;
    }
    StopThreads(false);
}

void TSerBaseDispatcher::StopThreads(bool fromDispatchThread) {
    kill_ = true;
    if (device_) {
        device_->CancelWaits();
    }
    {
        std::lock_guard lock(outSignalMutex_);
        flushRequest_ = true;
    }
    outSignal_.notify_all();
    deviceEvent_.Set();
    if (fromDispatchThread) {
        // Neither of these threads waits for the user-interface thread.
        for (std::thread* t : {&outputThread_, &eventThread_}) {
            if (t->joinable()) {
                t->join();
            }
        }
        return;
    }
    WaitForThreadsToEnd([this] { return running_ == 0; });
    for (std::thread* t : {&outputThread_, &eventThread_, &dispatchThread_}) {
        if (t->joinable()) {
            t->join();
        }
    }
}

void TSerBaseDispatcher::WaitForThreadsToEnd(const std::function<bool()>& done) {
    if (done()) {
        return;
    }
    // A dispatcher thread may itself wait for the user-interface thread to run a delivery, so
    // that thread keeps handling its events while it waits, unless no delivery can reach it any
    // more.
    if (ui_.IsUiThread() && !handOver_.CalledOff()) {
        ui_.WaitUntil(done, -1);
        return;
    }
    while (!done()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void TSerBaseDispatcher::WaitForThreads() {
    WaitForThreadsToEnd([this] { return running_ == 0; });
}

void TSerBaseDispatcher::ThreadEnds(std::atomic<bool>& doneFlag) {
    doneFlag = true;
    if (--running_ == 0) {
        started_ = false;
    }
    ui_.Wake();
}

// The event thread watches the line itself: a hang-up (an unplugged adapter) wakes the dispatch
// thread at once, and the modem lines are read again while nothing happens. Received bytes are
// waited for by the dispatch thread directly, which saves two thread switches per message.
void TSerBaseDispatcher::EventThread() {
    ack_.Set();
    try {
        while (!kill_) {
            const bool modemLines = device_->HasModemLines();
            unsigned events = device_->WaitEvent(modemLines ? kModemPollMs : -1, false);
            if ((events & (kDevEventError | kDevEventCancelled)) || kill_) {
                break;
            }
            if (events & kDevEventHangup) {
                NoticeIfLost();
                deviceEvent_.Set();
            } else if (events == 0 && modemLines) {
                std::uint32_t bits = 0;
                if (device_->GetModemStatus(bits) == 0) {
                    std::lock_guard lock(mainLock_);
                    modemStatus_ = bits;
                }
            }
        }
    } catch (const std::exception& e) {
        DisplayError(e.what());
    }
    ack_.Set();
    ThreadEnds(eventThreadDone_);
}

bool TSerBaseDispatcher::WaitForInput() {
    if (ringFull_) {
        // Bytes wait in the driver until the ring has room; polling the device now would
        // report them again at once.
        deviceEvent_.Wait(kDispatchPollMs);
        return true;
    }
    // The wait reports bytes reliably (level-triggered), so the periodic wake only serves the
    // timer triggers: every 50 ms while one runs, else once a second. A timer is started on this
    // thread (the framer's time-out) or is seen within that second.
    unsigned events = device_->WaitEvent(AnyTimerActive() ? kDispatchPollMs : kIdlePollMs, true);
    if (events & kDevEventError) {
        deviceEvent_.Wait(kDispatchPollMs);  // never retry a failing wait at once
    }
    // The wait reports readable bytes reliably, so a quiet time-out needs no read.
    return events != 0;
}

void TSerBaseDispatcher::DispatchThread() {
    dispatchThreadId_ = std::this_thread::get_id();
    ack_.Set();
    try {
        while (!kill_ && !deletePending_) {
            const bool input = WaitForInput();
            if (kill_ && !deletePending_) {
                break;
            }
            if (input) {
                ExtractData();
            }
            NoticeIfLost();
            while (!deletePending_ && CheckReceiveTriggers()) {
            }
            if (!deletePending_ && !kill_) {
                while (!deletePending_ && CheckTimerTriggers()) {
                }
            }
        }
    } catch (const std::exception& e) {
        DisplayError(e.what());
    }
    if (deletePending_) {
        FinishDeferredClose();
    }
    ThreadEnds(dispatchThreadDone_);
}

void TSerBaseDispatcher::FinishDeferredClose() {
    StopThreads(true);
    CloseDevice();
    FreeRings();
}

void TSerBaseDispatcher::OutputThread() {
    ack_.Set();
    try {
        for (;;) {
            {
                std::unique_lock lock(outSignalMutex_);
                outSignal_.wait(lock, [&] { return outAvailable_ || flushRequest_ || kill_; });
                if (flushRequest_) {
                    flushRequest_ = false;
                    lock.unlock();
                    flushAck_.Set();
                    if (kill_ || deletePending_) {
                        break;
                    }
                    continue;
                }
                outAvailable_ = false;
            }
            if (kill_ || deletePending_) {
                break;
            }
            SendQueuedOutput();
        }
    } catch (const std::exception& e) {
        DisplayError(e.what());
    }
    flushAck_.Set();
    ThreadEnds(outputThreadDone_);
}

bool TSerBaseDispatcher::FlushRequested() {
    std::lock_guard lock(outSignalMutex_);
    return flushRequest_ || kill_;
}

void TSerBaseDispatcher::SendQueuedOutput() {
    for (;;) {
        std::span<const std::uint8_t> block;
        {
            std::lock_guard out(outputLock_);
            block = outRing_.ReadableStretch();
        }
        if (block.empty()) {
            return;
        }
        // Written without the lock: PutBlock fills other parts of the ring meanwhile.
        long written = device_->Write(block.data(), block.size());
        bool abandon = FlushRequested();
        {
            std::lock_guard out(outputLock_);
            // A failed write, or a device that vanished, drops the block.
            outRing_.Skip((written < 0 || device_->Vanished()) ? block.size()
                                                               : static_cast<std::size_t>(written));
        }
        if (abandon) {
            return;
        }
    }
}

// ---- Input ----

void TSerBaseDispatcher::ExtractData() {
    std::lock_guard in(inputLock_);
    if (inRing_.Capacity() == 0 || !deviceOpen_) {
        return;
    }
    std::size_t total = 0;
    // The free room may lie in two pieces (behind the head and before the tail): the second is
    // read only when the first was filled.
    for (int piece = 0; piece < 2 && !inRing_.Full(); ++piece) {
        std::span<std::uint8_t> stretch = inRing_.WritableStretch();
        long got = device_->Read(stretch.data(), stretch.size());
        if (got <= 0) {
            break;  // a failed read counts as nothing
        }
        inRing_.CommitWrite(static_cast<std::size_t>(got));
        total += static_cast<std::size_t>(got);
        if (static_cast<std::size_t>(got) < stretch.size()) {
            break;
        }
    }
    extractedTotal_ += total;
    ringFull_ = inRing_.Full();
}

bool TSerBaseDispatcher::CheckReceiveTriggers() {
    unsigned length = 0;
    {
        std::lock_guard lock(mainLock_);
        length = triggers_.Length();
    }
    int unread = 0;
    {
        std::lock_guard in(inputLock_);
        unread = static_cast<int>(inRing_.Used());
        if (length == 0 || extractedTotal_ == notifiedTotal_ || unread < static_cast<int>(length)) {
            return false;
        }
        notifiedTotal_ = extractedTotal_;
    }
    return Notify(kTriggerAvail, static_cast<unsigned>(unread), 0);
}

int TSerBaseDispatcher::GetBlock(void* buffer, int size) {
    std::lock_guard in(inputLock_);
    if (size <= 0) {
        return 0;
    }
    // Every handler of a delivery is offered the same bytes; the ring gives up the most any of
    // them took when the delivery ends.
    const std::size_t skip = dataDelivery_ ? static_cast<std::size_t>(takenByCurrent_) : 0;
    if (!inRing_.Peek(skip, buffer, static_cast<std::size_t>(size))) {
        return ecBufferIsEmpty;
    }
    if (dataDelivery_) {
        takenByCurrent_ += size;
    } else {
        inRing_.Skip(static_cast<std::size_t>(size));
        ringFull_ = false;
    }
    return size;
}

int TSerBaseDispatcher::InBuffUsed() const {
    std::lock_guard in(inputLock_);
    return static_cast<int>(inRing_.Used()) - (dataDelivery_ ? takenByCurrent_ : 0);
}

void TSerBaseDispatcher::FlushInBuffer() {
    if (deviceOpen_) {
        device_->Purge(true, false);
    }
    std::lock_guard in(inputLock_);
    inRing_.Clear();
    ringFull_ = false;
    if (dataDelivery_) {
        flushDuringDelivery_ = true;
    }
}

// ---- Output ----

int TSerBaseDispatcher::PutChar(std::uint8_t c) {
    return PutBlock(&c, 1);
}

int TSerBaseDispatcher::PutBlock(const void* data, int size) {
    {
        std::lock_guard out(outputLock_);
        if (outRing_.Capacity() == 0 || !deviceOpen_) {
            return ecNotOpen;
        }
        if (size > 0 && !outRing_.Put(data, static_cast<std::size_t>(size))) {
            return ecOutputBufferTooSmall;
        }
    }
    {
        std::lock_guard lock(outSignalMutex_);
        outAvailable_ = true;
    }
    outSignal_.notify_all();
    return 0;
}

int TSerBaseDispatcher::OutBuffUsed() const {
    std::lock_guard out(outputLock_);
    return static_cast<int>(outRing_.Used());
}

void TSerBaseDispatcher::FlushOutBuffer() {
    {
        std::lock_guard out(outputLock_);
        outRing_.Clear();
    }
    if (deviceOpen_) {
        device_->Purge(false, true);
    }
}

bool TSerBaseDispatcher::DeviceLost() const {
    return device_ && device_->Vanished();
}

void TSerBaseDispatcher::NoticeIfLost() {
    if (!device_ || !device_->Vanished() || kill_ || lostNoticed_.exchange(true)) {
        return;
    }
    if (lostNotice_) {
        lostNotice_();
    }
}

bool TSerBaseDispatcher::HasModemLines() const {
    return device_ && device_->HasModemLines();
}

// ---- Triggers ----

int TSerBaseDispatcher::AddTimerTrigger() {
    std::lock_guard lock(mainLock_);
    return triggers_.AddTimer();
}

int TSerBaseDispatcher::SetTimerTrigger(int handle, int ticks, bool activate) {
    std::lock_guard lock(mainLock_);
    return triggers_.SetTimer(handle, ticks, activate, TickClock());
}

int TSerBaseDispatcher::RemoveTrigger(int handle) {
    std::lock_guard lock(mainLock_);
    return triggers_.Remove(handle);
}

void TSerBaseDispatcher::ChangeLengthTrigger(unsigned count) {
    std::lock_guard lock(mainLock_);
    triggers_.SetLength(count);
}

TSavedTriggers TSerBaseDispatcher::SaveTriggers() const {
    std::lock_guard lock(mainLock_);
    return triggers_.Save();
}

void TSerBaseDispatcher::RestoreTriggers(const TSavedTriggers& saved) {
    std::lock_guard lock(mainLock_);
    triggers_.Restore(saved);
}

bool TSerBaseDispatcher::AnyTimerActive() const {
    std::lock_guard lock(mainLock_);
    return triggers_.AnyTimerActive();
}

bool TSerBaseDispatcher::CheckTimerTriggers() {
    int handle = 0;
    {
        std::lock_guard lock(mainLock_);
        handle = triggers_.TakeExpired(TickClock());
    }
    if (handle == 0) {
        return false;
    }
    Notify(kTriggerTimer, static_cast<unsigned>(handle), 0);
    return true;
}

// ---- Handlers ----

void TSerBaseDispatcher::RegisterEventTriggerHandler(const void* owner, TTriggerEvent handler) {
    std::lock_guard lock(mainLock_);
    handlers_.AddEvent(owner, std::move(handler), false);
}

void TSerBaseDispatcher::RegisterSyncEventTriggerHandler(const void* owner, TTriggerEvent handler) {
    std::lock_guard lock(mainLock_);
    handlers_.AddEvent(owner, std::move(handler), true);
}

void TSerBaseDispatcher::DeregisterEventTriggerHandler(const void* owner) {
    TTriggerEvent removed;  // let go after the lock (see TriggerHandlerList)
    std::lock_guard lock(mainLock_);
    removed = handlers_.RemoveEvent(owner);
}

void TSerBaseDispatcher::RegisterProcTriggerHandler(TTriggerProc proc) {
    std::lock_guard lock(mainLock_);
    handlers_.AddProc(proc);
}

void TSerBaseDispatcher::DeregisterProcTriggerHandler(TTriggerProc proc) {
    std::lock_guard lock(mainLock_);
    handlers_.RemoveProc(proc);
}

bool TSerBaseDispatcher::EventBusy() const {
    std::lock_guard lock(mainLock_);
    return handlers_.Delivering();
}

void TSerBaseDispatcher::Sync(const std::function<void()>& fn) {
    handOver_.Run([&fn] { RunShowingErrors(fn); });
}

bool TSerBaseDispatcher::Notify(unsigned msg, unsigned value, unsigned extra) {
    std::size_t positions = 0;
    {
        std::lock_guard lock(mainLock_);
        if (!handlers_.AnyLive() || kill_ || deletePending_) {
            return false;
        }
        positions = handlers_.BeginDelivery();
    }
    const bool data = msg == kTriggerAvail || msg == kTriggerData;
    {
        std::lock_guard in(inputLock_);
        mostTaken_ = 0;
        dataDelivery_ = data;
        flushDuringDelivery_ = false;
    }
    const long param = static_cast<long>(handle_) * 65536 + static_cast<long>(extra);
    bool result = true;
    for (std::size_t i = 0; i < positions && result; ++i) {
        TriggerHandlerList::Call call;
        {
            std::lock_guard lock(mainLock_);
            if (!handlers_.At(i, call)) {
                continue;
            }
        }
        CallHandler(call, msg, value, param);
        if (deletePending_) {
            result = false;
        }
    }
    if (!SettleInput(data, msg, value)) {
        result = false;
    }
    std::vector<TTriggerEvent> removed;  // let go after the lock (see TriggerHandlerList)
    std::lock_guard lock(mainLock_);
    removed = handlers_.EndDelivery();
    return result;
}

void TSerBaseDispatcher::CallHandler(const TriggerHandlerList::Call& call, unsigned msg,
                                     unsigned value, long param) {
    {
        std::lock_guard in(inputLock_);
        takenByCurrent_ = 0;
    }
    if (call.proc) {
        RunShowingErrors([&] { call.proc(msg, value, param); });
    } else if (call.sync) {
        Sync([&] { call.event(msg, value, param); });
    } else {
        RunShowingErrors([&] { call.event(msg, value, param); });
    }
    std::lock_guard in(inputLock_);
    mostTaken_ = std::max(mostTaken_, takenByCurrent_);
}

bool TSerBaseDispatcher::SettleInput(bool data, unsigned msg, unsigned value) {
    std::lock_guard in(inputLock_);
    bool allTaken = true;
    if (data && inRing_.Capacity() != 0) {
        inRing_.Skip(static_cast<std::size_t>(mostTaken_));
        if (flushDuringDelivery_) {
            inRing_.Clear();
        }
        if (msg == kTriggerAvail && mostTaken_ != static_cast<int>(value)) {
            allTaken = false;
        }
        ringFull_ = inRing_.Full();
    }
    dataDelivery_ = false;
    takenByCurrent_ = 0;
    flushDuringDelivery_ = false;
    return allTaken;
}

}  // namespace vx
