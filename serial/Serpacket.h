#pragma once
// The data packet framer. A TSerDataPacket cuts a port's byte stream into packets that begin with
// a start string and end with an end string (or a size); the framers of one port share a
// TSerDataPacketManager that takes the port's bytes on the dispatch thread, keeps them in a
// collection buffer and lets each framer match them. Packets and time-outs are delivered on the
// user-interface thread while the dispatch thread waits.
//
//     TSerDataPacket dpkt;
//     dpkt.SetComPort(&port);
//     dpkt.SetStartString("\x02");
//     dpkt.SetEndString("\r");
//     dpkt.OnStringPacket = [](TSerDataPacket*, const std::string& packet) { ... };
//     dpkt.SetEnabled(true);   // armed now, or when the port opens
//
// Patterns: a backslash makes the next character literal, "?" matches any byte.
//
// Locking: each manager has one mutex. The dispatch thread holds it while it appends bytes and
// matches; the user-interface thread holds it while it arms, disarms or changes a framer's
// strings, attaches or detaches a framer. It is released before a packet or time-out is handed
// to the user-interface thread, so a handler may re-arm, disable, close the port or destroy the
// framer; a delivery whose framer went away meanwhile is dropped.

#include "serial/CollectionBuffer.h"
#include "serial/PacketMatcher.h"
#include "serial/Serport.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vx {

class TSerDataPacket;
class TSerDataPacketManager;

using TPacketNotifyEvent = std::function<void(TSerDataPacket* sender, const char* data, int size)>;
using TStringPacketNotifyEvent =
    std::function<void(TSerDataPacket* sender, const std::string& data)>;
using TNotifyEvent = std::function<void(TSerDataPacket* sender)>;

class TSerDataPacket {
public:
    static constexpr std::int32_t kDefaultTimeOut = 2184;  // ticks of 55 ms, about 120 s

    TSerDataPacket();
    ~TSerDataPacket();
    TSerDataPacket(const TSerDataPacket&) = delete;
    TSerDataPacket& operator=(const TSerDataPacket&) = delete;

    bool GetEnabled() const;
    void SetEnabled(bool on);
    bool GetAutoEnable() const { return autoEnable_; }
    void SetAutoEnable(bool on) { autoEnable_ = on; }
    TPacketStartCond GetStartCond() const { return matcher_.Rules().startCond; }
    void SetStartCond(TPacketStartCond cond);
    TPacketEndSet GetEndCond() const { return matcher_.Rules().endCond; }
    void SetEndCond(TPacketEndSet cond);
    const std::string& GetStartString() const { return matcher_.Rules().startString; }
    void SetStartString(const std::string& s);  // takes effect at the next arming
    const std::string& GetEndString() const { return matcher_.Rules().endString; }
    void SetEndString(const std::string& s);
    bool GetIgnoreCase() const { return matcher_.Rules().ignoreCase; }
    void SetIgnoreCase(bool on);
    TSerCustomComPort* GetComPort() const { return port_; }
    void SetComPort(TSerCustomComPort* port);
    std::int32_t GetPacketSize() const { return matcher_.Rules().packetSize; }
    void SetPacketSize(std::int32_t size);
    bool GetIncludeStrings() const { return matcher_.Rules().includeStrings; }
    void SetIncludeStrings(bool on);
    std::int32_t GetTimeOut() const { return timeOut_; }
    void SetTimeOut(std::int32_t ticks) { timeOut_ = ticks; }

    TPacketNotifyEvent OnPacket;
    TStringPacketNotifyEvent OnStringPacket;
    TNotifyEvent OnTimeout;

    // While the packet events run: the packet as a string.
    std::string GetCollectedString() const;
    TPacketMode GetMode() const;
    bool TimedOut() const { return timedOut_; }

    // A form description being loaded: arming waits for EndLoading.
    void BeginLoading() { loading_ = true; }
    void EndLoading();

private:
    // The manager drives its framers through the methods below, with its lock held.
    friend class TSerDataPacketManager;
    using Lock = std::unique_lock<std::recursive_mutex>;

    Lock LockManager() const;
    // The rest run with the manager's lock held (or without a manager).
    void SetEnabledLocked(bool on);
    void Arm();
    void Disarm();

    // For the manager.
    std::uint64_t Id() const { return id_; }
    bool IsEnabled() const { return enabled_; }
    bool HoldsBegin() const { return enabled_ && matcher_.HoldsBegin(); }
    void AttachTo(TSerDataPacketManager* manager);
    // Leaves its manager (and the port too when `portGone`): idle, nothing pending or delivered.
    void LoseManager(bool portGone);
    // Arms an enabled framer; one that cannot be armed is turned off and the error rethrown.
    void ArmIfEnabled();
    // Another framer took the capture: a match half-way starts again.
    void RestartMatch();
    PacketMatch Match(const std::uint8_t* data, std::size_t length, std::size_t from) {
        return matcher_.Match(data, length, from);
    }
    std::size_t PacketEnd() const { return matcher_.PacketEnd(); }
    std::string DeliveredPacket(const std::uint8_t* data) const {
        return matcher_.DeliveredPacket(data);
    }
    // Its packet is being delivered: the framer is off until the delivery ends (AutoEnable).
    void StartDelivery(const std::string* packet);
    void EndDelivery();
    // No end within TimeOut ticks: off, and it stays off.
    void TimeOut();

    bool enabled_ = false;
    bool autoEnable_ = true;
    TSerCustomComPort* port_ = nullptr;
    std::int32_t timeOut_ = kDefaultTimeOut;

    TSerDataPacketManager* manager_ = nullptr;
    PacketMatcher matcher_;
    bool enablePending_ = false;
    bool packetReady_ = false;
    bool stayOff_ = false;  // disabled by its own packet handler
    bool timedOut_ = false;
    bool loading_ = false;
    const std::string* collected_ = nullptr;  // the packet being delivered
    std::uint64_t id_;
};

// One per port: the bytes of the port and its framers. A stand-alone manager (no port) frames
// bytes given to Feed and delivers packets on the calling thread: for tools that frame a recorded
// stream, and for measuring the matching itself.
class TSerDataPacketManager : public std::enable_shared_from_this<TSerDataPacketManager> {
public:
    ~TSerDataPacketManager();
    static std::shared_ptr<TSerDataPacketManager> CreateStandalone();

    TSerCustomComPort* Port() const { return port_; }
    bool Enabled() const;
    bool InEvent() const;
    std::size_t BufferLength() const;
    std::size_t BufferCapacity() const;

    // Stand-alone use: attach framers (a framer's SetComPort(nullptr) or destruction detaches
    // it) and feed bytes.
    void Attach(TSerDataPacket* framer);
    void Detach(TSerDataPacket* framer);
    void Feed(const void* data, std::size_t size);

private:
    friend class TSerDataPacket;
    friend class TSerDataPacketManagerList;
    using Lock = std::unique_lock<std::recursive_mutex>;

    explicit TSerDataPacketManager(TSerCustomComPort* port);

    // For its framers, which hold the lock already.
    Lock LockState() const { return Lock(mutex_); }
    bool Receiving() const { return enabled_; }
    bool Delivering() const { return inEvent_; }

    static void PortCallback(void* owner, TSerCustomComPort* port, TSerCallbackType type);
    void OnPortEvent(TSerCallbackType type);
    void Enable();
    void Disable();
    void DestroyWhenIdle(Lock& lock);
    void PortDestroyed();

    // Dispatch thread (or the feeding thread).
    void HandleTrigger(unsigned msg, unsigned value);
    void Receive(int count, Lock& lock);
    void NotifyFrom(std::size_t from, Lock& lock);
    // True when the framer completed a packet; a framer that began one takes the capture.
    bool MatchFramer(TSerDataPacket* framer, std::size_t from);
    void CompletePacket(TSerDataPacket* framer, Lock& lock);
    void TimeOutCapture(Lock& lock);
    void Deliver(const std::function<void()>& fn, Lock& lock);
    void RaisePacketEvents(std::uint64_t id, std::uint64_t generation, const std::string& packet);
    void EnterEvent();
    void LeaveEvent();
    void TakeCapture(TSerDataPacket* framer);
    void ReleaseCapture(TSerDataPacket* framer);
    TSerDataPacket* FindFramer(std::uint64_t id) const;
    bool HasBeginPosition() const;

    TSerCustomComPort* port_;
    std::vector<TSerDataPacket*> framers_;
    bool enabled_ = false;
    CollectionBuffer buffer_;
    TSerDataPacket* capture_ = nullptr;
    int timerHandle_ = 0;
    TSerBaseDispatcher* dispatcher_ = nullptr;
    bool inEvent_ = false;
    bool deferredNotify_ = false;
    bool beingDestroyed_ = false;
    // Counts enables and disables: a delivery prepared before the port closed is dropped.
    std::uint64_t generation_ = 0;
    mutable std::recursive_mutex mutex_;
};

// Every manager, at most one per port.
class TSerDataPacketManagerList {
public:
    static TSerDataPacketManagerList& Instance();
    std::shared_ptr<TSerDataPacketManager> Find(const TSerCustomComPort* port);
    std::shared_ptr<TSerDataPacketManager> FindOrCreate(TSerCustomComPort* port);
    void Remove(const TSerDataPacketManager* manager);
    // A port is being destroyed: its framers lose their port. The list asks every port to say so
    // (SetPortDestroyedHook), so the port needs to know nothing of framers.
    void PortDestroyed(const TSerCustomComPort* port);
    std::size_t Count() const;

private:
    TSerDataPacketManagerList();
    ~TSerDataPacketManagerList();

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<TSerDataPacketManager>> managers_;
};

}  // namespace vx
