// The framers' manager: one per port, it takes the port's bytes on the dispatch thread, lets its
// framers match them and hands packets and time-outs to the user-interface thread.

#include "serial/Serpacket.h"

#include "serial/Serexcept.h"
#include "serial/UiThread.h"

#include <algorithm>

namespace vx {

TSerDataPacketManager::TSerDataPacketManager(TSerCustomComPort* port) : port_(port) {
    if (!port_) {
        enabled_ = true;  // a stand-alone manager is fed by its owner
    }
}

TSerDataPacketManager::~TSerDataPacketManager() {
    Lock lock(mutex_);
    for (TSerDataPacket* framer : framers_) {
        framer->LoseManager(port_ != nullptr);
    }
    framers_.clear();
}

std::shared_ptr<TSerDataPacketManager> TSerDataPacketManager::CreateStandalone() {
    return std::shared_ptr<TSerDataPacketManager>(new TSerDataPacketManager(nullptr));
}

std::size_t TSerDataPacketManager::BufferLength() const {
    Lock lock(mutex_);
    return buffer_.Length();
}

std::size_t TSerDataPacketManager::BufferCapacity() const {
    Lock lock(mutex_);
    return buffer_.Capacity();
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
            try {
                framer->ArmIfEnabled();
            } catch (const ESerException& e) {
                // A framer that cannot be armed stays off; the port itself opened fine.
                DisplayError(e.what());
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
    buffer_.Discard();
    enabled_ = false;
    ++generation_;
}

void TSerDataPacketManager::Attach(TSerDataPacket* framer) {
    Lock lock(mutex_);
    framers_.push_back(framer);
    framer->AttachTo(this);
    if (enabled_) {
        framer->ArmIfEnabled();
    }
}

void TSerDataPacketManager::Detach(TSerDataPacket* framer) {
    Lock lock(mutex_);
    ReleaseCapture(framer);
    framer->LoseManager(false);
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
        ReleaseCapture(framer);
        framer->LoseManager(true);
    }
    framers_.clear();
    Disable();
}

void TSerDataPacketManager::TakeCapture(TSerDataPacket* framer) {
    capture_ = framer;
    if (dispatcher_ && timerHandle_ > 0 && framer->GetTimeOut() > 0) {
        dispatcher_->SetTimerTrigger(timerHandle_, framer->GetTimeOut(), true);
    }
    for (TSerDataPacket* other : framers_) {
        if (other != framer) {
            other->RestartMatch();
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
}

TSerDataPacket* TSerDataPacketManager::FindFramer(std::uint64_t id) const {
    for (TSerDataPacket* framer : framers_) {
        if (framer->Id() == id) {
            return framer;
        }
    }
    return nullptr;
}

bool TSerDataPacketManager::HasBeginPosition() const {
    return std::any_of(framers_.begin(), framers_.end(),
                       [](const TSerDataPacket* f) { return f->HoldsBegin(); });
}

void TSerDataPacketManager::Feed(const void* data, std::size_t size) {
    Lock lock(mutex_);
    if (!enabled_ || size == 0) {
        return;
    }
    const std::size_t from = buffer_.Length();
    buffer_.Append(data, size);
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
    const int got = dispatcher_->GetBlock(buffer_.Reserve(static_cast<std::size_t>(count)), count);
    if (got <= 0) {
        return;
    }
    const std::size_t from = buffer_.Length();
    buffer_.Commit(static_cast<std::size_t>(got));
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
        if (buffer_.Length() == 0 || !enabled_) {
            return;
        }
        TSerDataPacket* completed = nullptr;
        if (capture_) {
            if (capture_->IsEnabled() && MatchFramer(capture_, from)) {
                completed = capture_;
            }
        } else {
            for (TSerDataPacket* framer : std::vector<TSerDataPacket*>(framers_)) {
                if (!framer->IsEnabled()) {
                    continue;
                }
                if (MatchFramer(framer, from)) {
                    completed = framer;
                    break;
                }
                if (capture_ || buffer_.Length() == 0) {
                    break;
                }
            }
        }
        if (!completed) {
            if (!capture_ && !HasBeginPosition()) {
                buffer_.Discard();
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

bool TSerDataPacketManager::MatchFramer(TSerDataPacket* framer, std::size_t from) {
    const PacketMatch match = framer->Match(buffer_.Data(), buffer_.Length(), from);
    if (match.began) {
        TakeCapture(framer);
    }
    return match.completed;
}

void TSerDataPacketManager::EnterEvent() {
    inEvent_ = true;
    for (TSerDataPacket* framer : framers_) {
        if (framer->IsEnabled()) {
            framer->Disarm();
        }
    }
}

void TSerDataPacketManager::LeaveEvent() {
    inEvent_ = false;
    deferredNotify_ = false;
    for (TSerDataPacket* framer : std::vector<TSerDataPacket*>(framers_)) {
        RunShowingErrors([&] { framer->ArmIfEnabled(); });
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
    const std::size_t end = framer->PacketEnd();
    std::string packet = framer->DeliveredPacket(buffer_.Data());
    EnterEvent();
    framer->StartDelivery(&packet);
    const std::uint64_t id = framer->Id();
    const std::uint64_t generation = generation_;
    auto self = shared_from_this();

    Deliver([self, id, generation, &packet] { self->RaisePacketEvents(id, generation, packet); },
            lock);

    // When the port closed (and perhaps reopened) meanwhile, the buffer is not the one the
    // packet came from.
    if (generation_ == generation) {
        buffer_.RemoveFront(end);
    }
    if (TSerDataPacket* same = FindFramer(id)) {
        same->EndDelivery();
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
    framer->TimeOut();
    const std::uint64_t id = framer->Id();
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
        buffer_.Discard();
    }
    LeaveEvent();
}

// ======================= TSerDataPacketManagerList =======================

TSerDataPacketManagerList::TSerDataPacketManagerList() {
    SetPortDestroyedHook([](const TSerCustomComPort* port) {
        TSerDataPacketManagerList::Instance().PortDestroyed(port);
    });
}

TSerDataPacketManagerList::~TSerDataPacketManagerList() {
    // Ports that outlive the list (destroyed later at exit) have no framers left to tell.
    SetPortDestroyedHook(nullptr);
}

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
