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

// The tick clock runs from 0 to 0xFFFFFFFF / 55 and then starts again at 0.
constexpr std::uint32_t kTickPeriod = 0xFFFFFFFFu / 55 + 1;

constexpr int kMaxTriggerHandle = 32760;
constexpr int kMaxReusedHandle = 4096;
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

std::uint32_t MsClock() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

std::uint32_t TickClock() {
    return MsClock() / 55;
}

bool TimerExpired(std::uint32_t start, std::uint32_t interval, std::uint32_t now) {
    // Elapsed ticks counted modulo the clock's period, so a timer started just before the
    // millisecond clock wraps still fires on time.
    std::uint32_t elapsed = now >= start ? now - start : now + (kTickPeriod - start);
    return elapsed > interval;
}

// ---- Signal ----

void TSerBaseDispatcher::Signal::Set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    cv_.notify_one();
}

bool TSerBaseDispatcher::Signal::Wait(int timeoutMs) {
    std::unique_lock lock(mutex_);
    if (timeoutMs < 0) {
        cv_.wait(lock, [&] { return set_; });
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return set_; })) {
        return false;
    }
    set_ = false;
    return true;
}

void TSerBaseDispatcher::Signal::Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
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
        inBuf_.assign(kInBufferSize, 0);
        inHead_ = inTail_ = 0;
        inFull_ = false;
        extractedTotal_ = notifiedTotal_ = 0;
    }
    {
        std::lock_guard out(outputLock_);
        outBuf_.assign(std::max(1u, config.outSize), 0);
        outHead_ = outTail_ = 0;
        outFull_ = false;
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
        timers_.clear();
        lengthTrigger_ = 0;
        nextHandle_ = 8;
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
        outHead_ = outTail_ = 0;
        outFull_ = false;
    }
    device_->Purge(false, true);
    FlushInBuffer();
    bool deferred = false;
    {
        // A delivery under way (perhaps the one this close runs inside) keeps the threads and
        // the device; the dispatch thread closes them when it returns.
        std::lock_guard lock(mainLock_);
        deferred = eventBusy_;
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
        inBuf_.clear();
        inBuf_.shrink_to_fit();
        inHead_ = inTail_ = 0;
        inFull_ = false;
    }
    std::lock_guard out(outputLock_);
    outBuf_.clear();
    outBuf_.shrink_to_fit();
    outHead_ = outTail_ = 0;
    outFull_ = false;
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
        const std::uint8_t* block = nullptr;
        int length = 0;
        {
            std::lock_guard out(outputLock_);
            int size = static_cast<int>(outBuf_.size());
            if (size == 0 || (outHead_ == outTail_ && !outFull_)) {
                return;
            }
            length = (outHead_ > outTail_) ? outHead_ - outTail_ : size - outTail_;
            block = outBuf_.data() + outTail_;
        }
        long written = device_->Write(block, static_cast<std::size_t>(length));
        bool abandon = FlushRequested();
        {
            std::lock_guard out(outputLock_);
            int size = static_cast<int>(outBuf_.size());
            if (size == 0) {
                return;
            }
            // A failed write, or a device that vanished, drops the block.
            int advance = (written < 0 || device_->Vanished()) ? length : static_cast<int>(written);
            outTail_ = (outTail_ + advance) % size;
            if (advance > 0) {
                outFull_ = false;
            }
        }
        if (abandon) {
            return;
        }
    }
}

// ---- Input ----

int TSerBaseDispatcher::UnreadLocked() const {
    if (inBuf_.empty()) {
        return 0;
    }
    if (inFull_) {
        return kInBufferSize;
    }
    return (inHead_ - inTail_ + kInBufferSize) % kInBufferSize;
}

void TSerBaseDispatcher::ExtractData() {
    std::lock_guard in(inputLock_);
    if (inBuf_.empty() || !deviceOpen_) {
        return;
    }
    if (inFull_) {
        ringFull_ = true;
        return;
    }
    int stretch = inHead_ >= inTail_ ? kInBufferSize - inHead_ : inTail_ - inHead_;
    long got = device_->Read(inBuf_.data() + inHead_, static_cast<std::size_t>(stretch));
    if (got < 0) {
        got = 0;  // a failed read counts as nothing
    }
    long total = got;
    inHead_ = (inHead_ + static_cast<int>(got)) % kInBufferSize;
    if (got == stretch && inHead_ == 0 && inTail_ > 0) {
        long more = device_->Read(inBuf_.data(), static_cast<std::size_t>(inTail_));
        if (more > 0) {
            inHead_ = static_cast<int>(more) % kInBufferSize;
            total += more;
        }
    }
    if (total > 0 && inHead_ == inTail_) {
        inFull_ = true;
    }
    extractedTotal_ += static_cast<std::uint64_t>(total);
    ringFull_ = inFull_;
}

bool TSerBaseDispatcher::CheckReceiveTriggers() {
    unsigned length = 0;
    {
        std::lock_guard lock(mainLock_);
        length = lengthTrigger_;
    }
    int unread = 0;
    {
        std::lock_guard in(inputLock_);
        unread = UnreadLocked();
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
    int skip = dataDelivery_ ? takenByCurrent_ : 0;
    if (size > UnreadLocked() - skip) {
        return ecBufferIsEmpty;
    }
    int start = (inTail_ + skip) % kInBufferSize;
    int first = std::min(size, kInBufferSize - start);
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::memcpy(out, inBuf_.data() + start, static_cast<std::size_t>(first));
    std::memcpy(out + first, inBuf_.data(), static_cast<std::size_t>(size - first));
    if (dataDelivery_) {
        takenByCurrent_ += size;
    } else {
        inTail_ = (inTail_ + size) % kInBufferSize;
        inFull_ = false;
        ringFull_ = false;
    }
    return size;
}

int TSerBaseDispatcher::InBuffUsed() const {
    std::lock_guard in(inputLock_);
    return UnreadLocked() - (dataDelivery_ ? takenByCurrent_ : 0);
}

void TSerBaseDispatcher::FlushInBuffer() {
    if (deviceOpen_) {
        device_->Purge(true, false);
    }
    std::lock_guard in(inputLock_);
    inTail_ = inHead_;
    inFull_ = false;
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
        int capacity = static_cast<int>(outBuf_.size());
        if (capacity == 0 || !deviceOpen_) {
            return ecNotOpen;
        }
        int used = outFull_ ? capacity : (outHead_ - outTail_ + capacity) % capacity;
        if (size > capacity - used) {
            return ecOutputBufferTooSmall;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        for (int i = 0; i < size; ++i) {
            outBuf_[static_cast<std::size_t>(outHead_)] = bytes[i];
            outHead_ = (outHead_ + 1) % capacity;
        }
        if (size > 0 && outHead_ == outTail_) {
            outFull_ = true;
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
    int capacity = static_cast<int>(outBuf_.size());
    if (capacity == 0) {
        return 0;
    }
    return outFull_ ? capacity : (outHead_ - outTail_ + capacity) % capacity;
}

void TSerBaseDispatcher::FlushOutBuffer() {
    {
        std::lock_guard out(outputLock_);
        outHead_ = outTail_ = 0;
        outFull_ = false;
    }
    if (deviceOpen_) {
        device_->Purge(false, true);
    }
}

// ---- Line ----

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

int TSerBaseDispatcher::NextTriggerHandle() {
    if (nextHandle_ <= kMaxTriggerHandle) {
        int handle = nextHandle_;
        nextHandle_ += 8;
        return handle;
    }
    for (int handle = 8; handle <= kMaxReusedHandle; handle += 8) {
        if (!FindTimer(handle)) {
            return handle;
        }
    }
    return 0;
}

TTimerTrigger* TSerBaseDispatcher::FindTimer(int handle) {
    for (auto& timer : timers_) {
        if (timer.handle == handle) {
            return &timer;
        }
    }
    return nullptr;
}

int TSerBaseDispatcher::AddTimerTrigger() {
    std::lock_guard lock(mainLock_);
    int handle = NextTriggerHandle();
    if (handle == 0) {
        return ecNoMoreTriggers;
    }
    timers_.push_back(TTimerTrigger{handle, 0, 0, false});
    return handle;
}

int TSerBaseDispatcher::SetTimerTrigger(int handle, int ticks, bool activate) {
    std::lock_guard lock(mainLock_);
    TTimerTrigger* timer = FindTimer(handle);
    if (!timer) {
        return ecBadTriggerHandle;
    }
    if (activate) {
        if (ticks != 0) {
            timer->interval =
                std::min(static_cast<std::uint32_t>(std::max(ticks, 0)), kMaxTimerTicks);
        }
        timer->start = TickClock();
        timer->active = true;
    } else {
        timer->active = false;
    }
    return 0;
}

int TSerBaseDispatcher::RemoveTrigger(int handle) {
    std::lock_guard lock(mainLock_);
    if (handle == kLengthTriggerHandle) {
        lengthTrigger_ = 0;
        return 0;
    }
    auto it = std::find_if(timers_.begin(), timers_.end(),
                           [&](const TTimerTrigger& t) { return t.handle == handle; });
    if (it == timers_.end()) {
        return ecBadTriggerHandle;
    }
    timers_.erase(it);
    return 0;
}

void TSerBaseDispatcher::ChangeLengthTrigger(unsigned count) {
    std::lock_guard lock(mainLock_);
    lengthTrigger_ = count;
}

TSavedTriggers TSerBaseDispatcher::SaveTriggers() const {
    std::lock_guard lock(mainLock_);
    return TSavedTriggers{lengthTrigger_, timers_, nextHandle_};
}

void TSerBaseDispatcher::RestoreTriggers(const TSavedTriggers& saved) {
    std::lock_guard lock(mainLock_);
    lengthTrigger_ = saved.lengthTrigger;
    timers_ = saved.timers;
    nextHandle_ = std::max(nextHandle_, saved.nextHandle);
}

bool TSerBaseDispatcher::AnyTimerActive() const {
    std::lock_guard lock(mainLock_);
    return std::any_of(timers_.begin(), timers_.end(),
                       [](const TTimerTrigger& t) { return t.active; });
}

bool TSerBaseDispatcher::CheckTimerTriggers() {
    int handle = 0;
    {
        std::lock_guard lock(mainLock_);
        std::uint32_t now = TickClock();
        for (auto& timer : timers_) {
            if (timer.active && TimerExpired(timer.start, timer.interval, now)) {
                timer.active = false;
                handle = timer.handle;
                break;
            }
        }
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
    eventHandlers_.push_back(EventHandler{owner, std::move(handler), false, false});
    handlerService_ = true;
}

void TSerBaseDispatcher::RegisterSyncEventTriggerHandler(const void* owner, TTriggerEvent handler) {
    std::lock_guard lock(mainLock_);
    eventHandlers_.push_back(EventHandler{owner, std::move(handler), true, false});
    handlerService_ = true;
}

void TSerBaseDispatcher::DeregisterEventTriggerHandler(const void* owner) {
    std::lock_guard lock(mainLock_);
    for (auto it = eventHandlers_.begin(); it != eventHandlers_.end(); ++it) {
        if (it->owner == owner && !it->deleted) {
            if (eventBusy_) {
                it->deleted = true;
                handlersDeleted_ = true;
            } else {
                eventHandlers_.erase(it);
            }
            break;
        }
    }
    RecomputeHandlerService();
}

void TSerBaseDispatcher::RegisterProcTriggerHandler(TTriggerProc proc) {
    std::lock_guard lock(mainLock_);
    procHandlers_.push_back(ProcHandler{proc, false});
    handlerService_ = true;
}

void TSerBaseDispatcher::DeregisterProcTriggerHandler(TTriggerProc proc) {
    std::lock_guard lock(mainLock_);
    for (auto it = procHandlers_.begin(); it != procHandlers_.end(); ++it) {
        if (it->proc == proc && !it->deleted) {
            if (eventBusy_) {
                it->deleted = true;
                handlersDeleted_ = true;
            } else {
                procHandlers_.erase(it);
            }
            break;
        }
    }
    RecomputeHandlerService();
}

void TSerBaseDispatcher::RecomputeHandlerService() {
    auto live = [](const auto& h) { return !h.deleted; };
    handlerService_ = std::any_of(eventHandlers_.begin(), eventHandlers_.end(), live) ||
                      std::any_of(procHandlers_.begin(), procHandlers_.end(), live);
}

bool TSerBaseDispatcher::EventBusy() const {
    std::lock_guard lock(mainLock_);
    return eventBusy_;
}

void TSerBaseDispatcher::Sync(const std::function<void()>& fn) {
    handOver_.Run([&fn] { RunShowingErrors(fn); });
}

bool TSerBaseDispatcher::Notify(unsigned msg, unsigned value, unsigned extra) {
    std::size_t eventCount = 0;
    std::size_t procCount = 0;
    {
        std::lock_guard lock(mainLock_);
        if (!handlerService_ || kill_ || deletePending_) {
            return false;
        }
        eventBusy_ = true;
        eventCount = eventHandlers_.size();
        procCount = procHandlers_.size();
    }
    bool data = msg == kTriggerAvail || msg == kTriggerData;
    {
        std::lock_guard in(inputLock_);
        mostTaken_ = 0;
        dataDelivery_ = data;
        flushDuringDelivery_ = false;
    }
    long param = static_cast<long>(handle_) * 65536 + static_cast<long>(extra);
    bool result = true;
    // Handlers registered during the delivery wait for the next one; deleted ones are skipped.
    // The list only grows while the delivery runs, so indexes stay valid.
    auto callOne = [&](auto&& fn, bool sync) {
        {
            std::lock_guard in(inputLock_);
            takenByCurrent_ = 0;
        }
        if (sync) {
            Sync([&] { fn(msg, value, param); });
        } else {
            RunShowingErrors([&] { fn(msg, value, param); });
        }
        std::lock_guard in(inputLock_);
        mostTaken_ = std::max(mostTaken_, takenByCurrent_);
    };
    for (std::size_t i = 0; i < eventCount && result; ++i) {
        TTriggerEvent fn;
        bool sync = false;
        {
            std::lock_guard lock(mainLock_);
            if (eventHandlers_[i].deleted) {
                continue;
            }
            fn = eventHandlers_[i].fn;
            sync = eventHandlers_[i].sync;
        }
        callOne(fn, sync);
        if (deletePending_) {
            result = false;
        }
    }
    for (std::size_t i = 0; i < procCount && result; ++i) {
        TTriggerProc proc = nullptr;
        {
            std::lock_guard lock(mainLock_);
            if (procHandlers_[i].deleted) {
                continue;
            }
            proc = procHandlers_[i].proc;
        }
        callOne(proc, false);
        if (deletePending_) {
            result = false;
        }
    }
    {
        std::lock_guard in(inputLock_);
        if (data && !inBuf_.empty()) {
            inTail_ = (inTail_ + mostTaken_) % kInBufferSize;
            if (mostTaken_ != 0) {
                inFull_ = false;
            }
            if (flushDuringDelivery_) {
                inTail_ = inHead_;
                inFull_ = false;
            }
            if (msg == kTriggerAvail && mostTaken_ != static_cast<int>(value)) {
                result = false;
            }
            ringFull_ = inFull_;
        }
        dataDelivery_ = false;
        takenByCurrent_ = 0;
        flushDuringDelivery_ = false;
    }
    {
        std::lock_guard lock(mainLock_);
        eventBusy_ = false;
        if (handlersDeleted_) {
            std::erase_if(eventHandlers_, [](const EventHandler& h) { return h.deleted; });
            std::erase_if(procHandlers_, [](const ProcHandler& h) { return h.deleted; });
            handlersDeleted_ = false;
        }
        RecomputeHandlerService();
    }
    return result;
}

}  // namespace vx
