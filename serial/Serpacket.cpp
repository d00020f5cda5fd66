#include "serial/Serpacket.h"

#include "serial/Serexcept.h"
#include "serial/UiThread.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace vx {
namespace {

constexpr std::size_t kBufferStep = 8192;

std::uint64_t NextFramerId() {
    static std::atomic<std::uint64_t> next{1};
    return next++;
}

std::uint8_t Upper(std::uint8_t c) {
    return (c >= 'a' && c <= 'z') ? static_cast<std::uint8_t>(c - 'a' + 'A') : c;
}

}  // namespace

// ======================= TSerDataPacket =======================

TSerDataPacket::TSerDataPacket() : id_(NextFramerId()) {}

TSerDataPacket::~TSerDataPacket() {
    SetComPort(nullptr);
}

TSerDataPacket::Lock TSerDataPacket::LockManager() const {
    return manager_ ? Lock(manager_->mutex_) : Lock();
}

bool TSerDataPacket::GetEnabled() const {
    auto lock = LockManager();
    return enabled_;
}

TPacketMode TSerDataPacket::GetMode() const {
    auto lock = LockManager();
    return mode_;
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
    startCond_ = cond;
}

void TSerDataPacket::SetStartString(const std::string& s) {
    auto lock = LockManager();
    startString_ = s;
}

void TSerDataPacket::SetEndString(const std::string& s) {
    auto lock = LockManager();
    bool wasEnabled = enabled_;
    if (wasEnabled) {
        Disarm();
    }
    endString_ = s;
    // An end string only means something with the end-string condition; setting one on a
    // framer that has no end condition yet asks for it.
    if (!s.empty() && endCond_ == 0) {
        endCond_ = ecString;
    }
    if (wasEnabled) {
        Arm();
    }
}

void TSerDataPacket::SetEndCond(TPacketEndSet cond) {
    auto lock = LockManager();
    bool wasEnabled = enabled_;
    if (wasEnabled) {
        Disarm();
    }
    endCond_ = cond;
    if (wasEnabled) {
        Arm();
    }
}

void TSerDataPacket::SetPacketSize(std::int32_t size) {
    auto lock = LockManager();
    packetSize_ = size;
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

TSerDataPacket::Pattern TSerDataPacket::BuildPattern(const std::string& s, bool upper) {
    Pattern pattern;
    for (std::size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<std::uint8_t>(s[i]);
        bool wild = false;
        if (c == '\\' && i + 1 < s.size()) {
            c = static_cast<std::uint8_t>(s[++i]);
        } else if (c == '\\') {
            continue;  // a lone trailing backslash escapes nothing
        } else if (c == '?') {
            wild = true;
        }
        pattern.bytes.push_back(static_cast<char>(upper ? Upper(c) : c));
        pattern.wild.push_back(wild);
    }
    pattern.single = pattern.bytes.size() == 1 && !pattern.wild[0];
    if (pattern.single) {
        auto c = static_cast<std::uint8_t>(pattern.bytes[0]);
        pattern.alt = (upper && c >= 'A' && c <= 'Z') ? static_cast<std::uint8_t>(c + 32) : c;
    }
    return pattern;
}

std::uint8_t TSerDataPacket::Fold(std::uint8_t byte) const {
    return ignoreCase_ ? Upper(byte) : byte;
}

void TSerDataPacket::ResetPositions() {
    startMatch_ = 1;
    beginPos_ = -1;
    endMatch_ = 1;
}

void TSerDataPacket::Arm() {
    if (loading_) {
        enablePending_ = true;
        return;
    }
    if (manager_ && manager_->enabled_) {
        if (manager_->inEvent_) {
            enablePending_ = true;
            return;
        }
        Pattern start, end;
        if (startCond_ == scString) {
            start = BuildPattern(startString_, ignoreCase_);
            if (start.bytes.empty()) {
                RaiseSerError(ecStartStringEmpty);
            }
            if ((endCond_ & ecPacketSize) &&
                packetSize_ < static_cast<std::int32_t>(startString_.size())) {
                RaiseSerError(ecPacketTooSmall);
            }
        } else if (endCond_ == 0) {
            RaiseSerError(ecNoEndCharCount);
        }
        if (endCond_ & ecString) {
            end = BuildPattern(endString_, ignoreCase_);
            if (end.bytes.empty()) {
                RaiseSerError(ecEmptyEndString);
            }
        }
        if ((endCond_ & ecPacketSize) && packetSize_ == 0) {
            RaiseSerError(ecZeroSizePacket);
        }
        startPattern_ = std::move(start);
        endPattern_ = std::move(end);
        mode_ = dpWaitStart;
        enablePending_ = false;
        timedOut_ = false;
    }
    ResetPositions();
}

void TSerDataPacket::Disarm() {
    if (mode_ == dpIdle && !enablePending_) {
        return;
    }
    enablePending_ = false;
    mode_ = dpIdle;
    if (hasCapture_ && manager_) {
        manager_->ReleaseCapture(this);
    }
    hasCapture_ = false;
    ResetPositions();
}

void TSerDataPacket::TakeCapture() {
    hasCapture_ = true;
    if (manager_) {
        manager_->TakeCapture(this);
    }
}

bool TSerDataPacket::CompleteAt(std::size_t p) {
    packetPos_ = static_cast<std::size_t>(beginPos_);
    packetLength_ = p - packetPos_ + 1;
    return true;
}

bool TSerDataPacket::Match(const std::uint8_t* data, std::size_t length, std::size_t p) {
    while (p < length) {
        if (mode_ == dpWaitStart) {
            if (MatchWaitStart(data, length, p)) {
                return true;
            }
        } else if (mode_ == dpCollecting) {
            return MatchCollecting(data, length, p);
        } else {
            return false;
        }
    }
    return false;
}

// Returns true when the start alone completed a packet; leaves p after the byte it consumed.
bool TSerDataPacket::MatchWaitStart(const std::uint8_t* data, std::size_t length, std::size_t& p) {
    if (startCond_ == scAnyData) {
        beginPos_ = static_cast<std::ptrdiff_t>(p);
        return BeginCollecting(data, length, p, false);
    }
    if (startPattern_.single && startMatch_ == 1) {
        // One comparison per byte: jump to the next start character.
        const std::uint8_t* hit = FindByte(data + p, length - p, startPattern_);
        if (!hit) {
            p = length;
            return false;
        }
        p = static_cast<std::size_t>(hit - data);
        beginPos_ = static_cast<std::ptrdiff_t>(p);
        return BeginCollecting(data, length, p, true);
    }
    std::uint8_t byte = Fold(data[p]);
    if (startPattern_.Matches(startMatch_ - 1, byte)) {
        if (startMatch_ == 1) {
            beginPos_ = static_cast<std::ptrdiff_t>(p);
        }
        if (startMatch_ == startPattern_.bytes.size()) {
            startMatch_ = 1;
            return BeginCollecting(data, length, p, true);
        }
        ++startMatch_;
        ++p;
        return false;
    }
    if (startMatch_ > 1) {
        // Resume the scan at the byte after the one that began the failed match.
        p = static_cast<std::size_t>(beginPos_) + 1;
        beginPos_ = -1;
        startMatch_ = 1;
        return false;
    }
    ++p;
    return false;
}

// The start ends at p (when startConsumed) or the packet's first byte is p (any-data start).
bool TSerDataPacket::BeginCollecting(const std::uint8_t* data, std::size_t length, std::size_t& p,
                                     bool startConsumed) {
    if (endCond_ == 0) {
        mode_ = dpCollecting;
        CompleteAt(p);
        return true;
    }
    mode_ = dpCollecting;
    endMatch_ = 1;
    TakeCapture();
    std::size_t size = p - static_cast<std::size_t>(beginPos_) + 1;
    if (startConsumed && (endCond_ & ecPacketSize) &&
        size >= static_cast<std::size_t>(packetSize_)) {
        CompleteAt(p);
        return true;
    }
    if (!startConsumed) {
        // The first byte of an any-data packet is data: let the end test see it.
        bool done = MatchCollecting(data, length, p);
        return done;
    }
    ++p;
    bool done = MatchCollecting(data, length, p);
    return done;
}

const std::uint8_t* TSerDataPacket::FindByte(const std::uint8_t* data, std::size_t size,
                                             const Pattern& pattern) const {
    auto c = static_cast<std::uint8_t>(pattern.bytes[0]);
    if (pattern.alt == c) {
        return static_cast<const std::uint8_t*>(std::memchr(data, c, size));
    }
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == c || data[i] == pattern.alt) {
            return data + i;
        }
    }
    return nullptr;
}

bool TSerDataPacket::MatchCollecting(const std::uint8_t* data, std::size_t length, std::size_t& p) {
    const auto begin = static_cast<std::size_t>(beginPos_);
    const bool bySize = (endCond_ & ecPacketSize) != 0;
    const bool byString = (endCond_ & ecString) != 0;
    if (byString && !bySize && endPattern_.single && endMatch_ == 1) {
        const std::uint8_t* hit = FindByte(data + p, length - p, endPattern_);
        if (!hit) {
            p = length;
            return false;
        }
        p = static_cast<std::size_t>(hit - data);
        return CompleteAt(p);
    }
    for (; p < length; ++p) {
        if (byString) {
            std::uint8_t byte = Fold(data[p]);
            if (endPattern_.Matches(endMatch_ - 1, byte)) {
                if (endMatch_ == endPattern_.bytes.size()) {
                    return CompleteAt(p);
                }
                ++endMatch_;
            } else if (endMatch_ > 1) {
                // Realign: the failing byte may itself begin the end string.
                endMatch_ = 1;
                if (endPattern_.Matches(0, byte)) {
                    if (endPattern_.bytes.size() == 1) {
                        return CompleteAt(p);
                    }
                    endMatch_ = 2;
                }
            }
        }
        if (bySize && p - begin + 1 >= static_cast<std::size_t>(packetSize_)) {
            return CompleteAt(p);
        }
    }
    return false;
}

// ======================= TSerDataPacketManager =======================

TSerDataPacketManager::TSerDataPacketManager(TSerCustomComPort* port) : port_(port) {
    if (!port_) {
        enabled_ = true;  // a stand-alone manager is fed by its owner
    }
}

TSerDataPacketManager::~TSerDataPacketManager() {
    Lock lock(mutex_);
    for (TSerDataPacket* framer : framers_) {
        framer->manager_ = nullptr;
        framer->mode_ = dpIdle;
        framer->hasCapture_ = false;
        if (port_) {
            framer->port_ = nullptr;
        }
    }
    framers_.clear();
}

std::shared_ptr<TSerDataPacketManager> TSerDataPacketManager::CreateStandalone() {
    return std::shared_ptr<TSerDataPacketManager>(new TSerDataPacketManager(nullptr));
}

std::size_t TSerDataPacketManager::BufferLength() const {
    Lock lock(mutex_);
    return length_;
}

std::size_t TSerDataPacketManager::BufferCapacity() const {
    Lock lock(mutex_);
    return buffer_.size();
}

bool TSerDataPacketManager::Enabled() const {
    Lock lock(mutex_);
    return enabled_;
}

bool TSerDataPacketManager::InEvent() const {
    Lock lock(mutex_);
    return inEvent_;
}

void TSerDataPacketManager::PortCallback(void* owner, TSerCustomComPort*, TSerCallbackType type) {
    static_cast<TSerDataPacketManager*>(owner)->OnPortEvent(type);
}

void TSerDataPacketManager::OnPortEvent(TSerCallbackType type) {
    auto keep = shared_from_this();
    Lock lock(mutex_);
    if (type == ctOpen) {
        Enable();
        for (TSerDataPacket* framer : std::vector<TSerDataPacket*>(framers_)) {
            if (framer->enabled_) {
                try {
                    framer->Arm();
                } catch (const ESerException& e) {
                    // A framer that cannot be armed stays off; the port itself opened fine.
                    framer->enabled_ = false;
                    DisplayError(e.what());
                }
            }
        }
        return;
    }
    for (TSerDataPacket* framer : framers_) {
        framer->Disarm();
    }
    Disable();
}

void TSerDataPacketManager::Enable() {
    if (enabled_ || !port_) {
        return;
    }
    TSerBaseDispatcher* dispatcher = port_->GetState() == psOpen ? port_->GetDispatcher() : nullptr;
    if (!dispatcher) {
        return;
    }
    int handle = dispatcher->AddTimerTrigger();
    if (handle < 0) {
        RaiseSerError(handle);
    }
    dispatcher_ = dispatcher;
    timerHandle_ = handle;
    // The handler keeps the manager alive while a call to it is under way on the dispatch
    // thread, even if the manager is dropped meanwhile.
    auto self = shared_from_this();
    dispatcher_->RegisterEventTriggerHandler(
        this, [self](unsigned msg, unsigned value, long) { self->HandleTrigger(msg, value); });
    enabled_ = true;
    ++generation_;
}

void TSerDataPacketManager::Disable() {
    if (!enabled_ || !port_) {
        return;
    }
    if (dispatcher_) {
        dispatcher_->RemoveTrigger(timerHandle_);
        dispatcher_->DeregisterEventTriggerHandler(this);
    }
    dispatcher_ = nullptr;
    timerHandle_ = 0;
    capture_ = nullptr;
    DiscardBuffer();
    enabled_ = false;
    ++generation_;
}

void TSerDataPacketManager::Attach(TSerDataPacket* framer) {
    Lock lock(mutex_);
    framers_.push_back(framer);
    framer->manager_ = this;
    framer->mode_ = dpIdle;
    framer->hasCapture_ = false;
    framer->ResetPositions();
    if (framer->enabled_ && enabled_) {
        try {
            framer->Arm();
        } catch (const ESerException&) {
            framer->enabled_ = false;
            throw;
        }
    }
}

void TSerDataPacketManager::Detach(TSerDataPacket* framer) {
    Lock lock(mutex_);
    if (capture_ == framer) {
        ReleaseCapture(framer);
    }
    framer->mode_ = dpIdle;
    framer->hasCapture_ = false;
    framer->enablePending_ = false;
    framer->packetReady_ = false;
    framer->manager_ = nullptr;
    std::erase(framers_, framer);
    if (framers_.empty() && port_) {
        DestroyWhenIdle(lock);
    }
}

void TSerDataPacketManager::DestroyWhenIdle(Lock& lock) {
    if (!framers_.empty() || beingDestroyed_) {
        return;
    }
    if (inEvent_) {
        // Detached from inside one of its own deliveries: try again once the event is over.
        std::weak_ptr<TSerDataPacketManager> weak = weak_from_this();
        GetUiThread().PostToUi(
            [weak] {
                if (auto self = weak.lock()) {
                    Lock l(self->mutex_);
                    self->DestroyWhenIdle(l);
                }
            },
            5);
        return;
    }
    beingDestroyed_ = true;
    Disable();
    port_->DeregisterUserCallbackEx(&TSerDataPacketManager::PortCallback, this);
    lock.unlock();
    TSerDataPacketManagerList::Instance().Remove(this);
    lock.lock();
}

void TSerDataPacketManager::PortDestroyed() {
    Lock lock(mutex_);
    beingDestroyed_ = true;
    for (TSerDataPacket* framer : framers_) {
        framer->Disarm();
        framer->manager_ = nullptr;
        framer->port_ = nullptr;
    }
    framers_.clear();
    Disable();
}

void TSerDataPacketManager::TakeCapture(TSerDataPacket* framer) {
    capture_ = framer;
    if (dispatcher_ && timerHandle_ > 0 && framer->timeOut_ > 0) {
        dispatcher_->SetTimerTrigger(timerHandle_, framer->timeOut_, true);
    }
    // Another framer matching half-way starts again.
    for (TSerDataPacket* other : framers_) {
        if (other != framer && other->enabled_ && other->mode_ != dpIdle) {
            other->Disarm();
            other->Arm();
        }
    }
}

void TSerDataPacketManager::ReleaseCapture(TSerDataPacket* framer) {
    if (capture_ == framer) {
        capture_ = nullptr;
        if (dispatcher_ && timerHandle_ > 0) {
            dispatcher_->SetTimerTrigger(timerHandle_, 0, false);
        }
    }
    framer->hasCapture_ = false;
}

void TSerDataPacketManager::DiscardBuffer() {
    length_ = 0;
    head_ = 0;
    std::vector<std::uint8_t>().swap(buffer_);
}

void TSerDataPacketManager::RemoveFront(std::size_t count) {
    count = std::min(count, length_);
    if (count == 0) {
        return;
    }
    // The rest logically moves to the front; the bytes move only when room is needed.
    head_ += count;
    length_ -= count;
    if (length_ == 0) {
        DiscardBuffer();
    }
}

TSerDataPacket* TSerDataPacketManager::FindFramer(std::uint64_t id) const {
    for (TSerDataPacket* framer : framers_) {
        if (framer->id_ == id) {
            return framer;
        }
    }
    return nullptr;
}

bool TSerDataPacketManager::HasBeginPosition() const {
    return std::any_of(framers_.begin(), framers_.end(), [](const TSerDataPacket* f) {
        return f->enabled_ && f->mode_ != dpIdle && f->beginPos_ >= 0;
    });
}

void TSerDataPacketManager::GrowFor(std::size_t count) {
    if (head_ > 0 && head_ + length_ + count >= buffer_.size()) {
        std::memmove(buffer_.data(), buffer_.data() + head_, length_);
        head_ = 0;
    }
    std::size_t capacity = buffer_.size();
    while (length_ + count >= capacity) {
        capacity += kBufferStep;
    }
    if (capacity != buffer_.size()) {
        buffer_.resize(capacity);
    }
}

void TSerDataPacketManager::Feed(const void* data, std::size_t size) {
    Lock lock(mutex_);
    if (!enabled_ || size == 0) {
        return;
    }
    GrowFor(size);
    std::memcpy(Data() + length_, data, size);
    std::size_t from = length_;
    length_ += size;
    NotifyFrom(from, lock);
}

void TSerDataPacketManager::HandleTrigger(unsigned msg, unsigned value) {
    Lock lock(mutex_);
    if (!enabled_ || beingDestroyed_ || !dispatcher_) {
        return;
    }
    if (msg == kTriggerAvail) {
        Receive(static_cast<int>(value), lock);
    } else if (msg == kTriggerTimer && static_cast<int>(value) == timerHandle_ && capture_) {
        TimeOutCapture(lock);
    }
}

void TSerDataPacketManager::Receive(int count, Lock& lock) {
    if (count <= 0) {
        return;
    }
    GrowFor(static_cast<std::size_t>(count));
    int got = dispatcher_->GetBlock(Data() + length_, count);
    if (got <= 0) {
        return;
    }
    std::size_t from = length_;
    length_ += static_cast<std::size_t>(got);
    NotifyFrom(from, lock);
}

void TSerDataPacketManager::NotifyFrom(std::size_t from, Lock& lock) {
    // Each completed packet leaves the rest of the buffer to be matched again from its start,
    // in order, within the same notification.
    for (;;) {
        if (inEvent_) {
            deferredNotify_ = true;
            return;
        }
        if (length_ == 0 || !enabled_) {
            return;
        }
        TSerDataPacket* completed = nullptr;
        if (capture_) {
            if (capture_->enabled_ && capture_->Match(Data(), length_, from)) {
                completed = capture_;
            }
        } else {
            for (TSerDataPacket* framer : std::vector<TSerDataPacket*>(framers_)) {
                if (!framer->enabled_) {
                    continue;
                }
                if (framer->Match(Data(), length_, from)) {
                    completed = framer;
                    break;
                }
                if (capture_ || length_ == 0) {
                    break;
                }
            }
        }
        if (!completed) {
            if (!capture_ && !HasBeginPosition()) {
                DiscardBuffer();
            }
            return;
        }
        CompletePacket(completed, lock);
        if (!enabled_) {
            return;
        }
        from = 0;
    }
}

void TSerDataPacketManager::EnterEvent() {
    inEvent_ = true;
    for (TSerDataPacket* framer : framers_) {
        if (framer->enabled_) {
            framer->Disarm();
        }
    }
}

void TSerDataPacketManager::LeaveEvent() {
    inEvent_ = false;
    deferredNotify_ = false;
    for (TSerDataPacket* framer : std::vector<TSerDataPacket*>(framers_)) {
        if (framer->enabled_) {
            RunShowingErrors([&] {
                try {
                    framer->Arm();
                } catch (...) {
                    framer->enabled_ = false;
                    throw;
                }
            });
        }
    }
}

void TSerDataPacketManager::Deliver(const std::function<void()>& fn, Lock& lock) {
    TSerBaseDispatcher* dispatcher = port_ ? dispatcher_ : nullptr;
    lock.unlock();
    if (dispatcher) {
        dispatcher->Sync(fn);
    } else {
        RunShowingErrors(fn);
    }
    lock.lock();
}

void TSerDataPacketManager::CompletePacket(TSerDataPacket* framer, Lock& lock) {
    const std::size_t pos = framer->packetPos_;
    const std::size_t size = framer->packetLength_;
    EnterEvent();
    framer->enabled_ = false;
    std::size_t skipFront = 0;
    std::size_t cutBack = 0;
    if (!framer->includeStrings_) {
        skipFront = framer->startCond_ == scString ? framer->startPattern_.bytes.size() : 0;
        cutBack = (framer->endCond_ & ecString) ? framer->endPattern_.bytes.size() : 0;
        if (skipFront + cutBack > size) {
            skipFront = std::min(skipFront, size);
            cutBack = size - skipFront;
        }
    }
    std::string packet(reinterpret_cast<const char*>(Data() + pos + skipFront),
                       size - skipFront - cutBack);
    framer->collected_ = &packet;
    framer->packetReady_ = true;
    const std::uint64_t id = framer->id_;
    const std::uint64_t generation = generation_;
    auto self = shared_from_this();

    Deliver([self, id, generation, &packet] { self->RaisePacketEvents(id, generation, packet); },
            lock);

    // When the port closed (and perhaps reopened) meanwhile, the buffer is not the one the
    // packet came from.
    if (generation_ == generation) {
        RemoveFront(pos + size);
    }
    if (TSerDataPacket* same = FindFramer(id)) {
        same->packetReady_ = false;
        same->collected_ = nullptr;
        if (same->autoEnable_ && !same->stayOff_) {
            same->SetEnabledLocked(true);
        }
        same->stayOff_ = false;
    }
    LeaveEvent();
}

void TSerDataPacketManager::RaisePacketEvents(std::uint64_t id, std::uint64_t generation,
                                              const std::string& packet) {
    TPacketNotifyEvent onPacket;
    TStringPacketNotifyEvent onString;
    TSerDataPacket* framer = nullptr;
    {
        Lock lock(mutex_);
        framer = FindFramer(id);
        if (!framer || generation != generation_) {
            return;
        }
        onPacket = framer->OnPacket;
        onString = framer->OnStringPacket;
    }
    if (onPacket) {
        RunShowingErrors([&] { onPacket(framer, packet.data(), static_cast<int>(packet.size())); });
        Lock lock(mutex_);
        // The handler may have detached or destroyed the framer.
        if (FindFramer(id) != framer) {
            return;
        }
    }
    if (onString) {
        RunShowingErrors([&] { onString(framer, packet); });
    }
}

void TSerDataPacketManager::TimeOutCapture(Lock& lock) {
    TSerDataPacket* framer = capture_;
    inEvent_ = true;
    framer->Disarm();
    framer->enabled_ = false;
    framer->timedOut_ = true;
    const std::uint64_t id = framer->id_;
    const std::uint64_t generation = generation_;
    auto self = shared_from_this();
    Deliver(
        [self, id, generation] {
            TNotifyEvent onTimeout;
            TSerDataPacket* f = nullptr;
            {
                Lock l(self->mutex_);
                f = self->FindFramer(id);
                if (!f || generation != self->generation_) {
                    return;
                }
                onTimeout = f->OnTimeout;
            }
            if (onTimeout) {
                RunShowingErrors([&] { onTimeout(f); });
            }
        },
        lock);
    if (generation_ == generation) {
        DiscardBuffer();
    }
    LeaveEvent();
}

// ======================= TSerDataPacketManagerList =======================

TSerDataPacketManagerList& TSerDataPacketManagerList::Instance() {
    static TSerDataPacketManagerList list;
    return list;
}

std::shared_ptr<TSerDataPacketManager> TSerDataPacketManagerList::Find(
    const TSerCustomComPort* port) {
    std::lock_guard lock(mutex_);
    for (auto& manager : managers_) {
        if (manager->port_ == port) {
            return manager;
        }
    }
    return nullptr;
}

std::shared_ptr<TSerDataPacketManager> TSerDataPacketManagerList::FindOrCreate(
    TSerCustomComPort* port) {
    if (auto manager = Find(port)) {
        return manager;
    }
    std::shared_ptr<TSerDataPacketManager> manager(new TSerDataPacketManager(port));
    port->RegisterUserCallbackEx(&TSerDataPacketManager::PortCallback, manager.get());
    {
        std::lock_guard lock(mutex_);
        managers_.push_back(manager);
    }
    if (port->GetState() == psOpen) {
        TSerDataPacketManager::Lock lock(manager->mutex_);
        manager->Enable();
    }
    return manager;
}

void TSerDataPacketManagerList::Remove(const TSerDataPacketManager* manager) {
    std::shared_ptr<TSerDataPacketManager> keep;  // released after the list's lock
    std::lock_guard lock(mutex_);
    for (auto it = managers_.begin(); it != managers_.end(); ++it) {
        if (it->get() == manager) {
            keep = *it;
            managers_.erase(it);
            break;
        }
    }
}

void TSerDataPacketManagerList::PortDestroyed(const TSerCustomComPort* port) {
    std::shared_ptr<TSerDataPacketManager> manager = Find(port);
    if (!manager) {
        return;
    }
    manager->PortDestroyed();
    Remove(manager.get());
}

std::size_t TSerDataPacketManagerList::Count() const {
    std::lock_guard lock(mutex_);
    return managers_.size();
}

}  // namespace vx
