#pragma once
// The port dispatcher: owns an open device, its 8192-byte input ring and its output ring, and
// three threads. The event thread waits for the device, the dispatch thread moves received bytes
// into the input ring and tells the registered handlers (ttAvail with every unread byte, ttTimer
// when a timer trigger expires), and the output thread writes what PutChar queued.
//
// Handlers: event handlers (a function and the object that registered it) run on the dispatch
// thread or, registered as synchronised, on the user-interface thread through the blocking
// hand-over; procedure handlers run on the dispatch thread. Notification windows are not kept:
// the only one a port ever had received no data notifications, and its close-pending message is
// a task posted to the user-interface thread (see TSerCustomComPort).
//
// The pieces without threads or locks are types of their own: the rings (serial/ByteRing.h), the
// trigger table (serial/TriggerTable.h) and the handler list (serial/TriggerHandlerList.h); the
// line settings are in SerdispLine.cpp.
//
// Locks: main (settings, triggers, handler lists, flags), input (input ring, delivery counts),
// output (output ring). Handlers are called without any of them held, and no thread holds one
// while it waits for the user-interface thread.

#include "platform/SerialDevice.h"
#include "serial/AutoResetEvent.h"
#include "serial/ByteRing.h"
#include "serial/TriggerHandlerList.h"
#include "serial/TriggerTable.h"
#include "serial/UiHandOver.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vx {

class UiThread;

enum TTriggerType { ttNone, ttAvail, ttTimer, ttData, ttStatus };

// Notification codes; the second value carries the dispatcher's handle times 65536.
inline constexpr unsigned kTriggerAvail = 0x7E01;
inline constexpr unsigned kTriggerData = 0x7E02;
inline constexpr unsigned kTriggerTimer = 0x7E03;
inline constexpr unsigned kTriggerStatus = 0x7E04;

TTriggerType TriggerTypeOf(unsigned msg);

// Everything opening needs from the port component.
struct TPortConfig {
    int comNumber = 0;
    unsigned inSize = 4096;
    unsigned outSize = 4096;
    bool dtr = true;
    bool rts = true;
    bool dtrFlow = false;  // DTR under hardware flow control
    bool rtsFlow = false;
    std::uint32_t baud = 19200;
    int parity = 0;
    int dataBits = 8;
    int stopBits = 1;
};

class TSerBaseDispatcher {
public:
    static constexpr int kInBufferSize = 8192;

    TSerBaseDispatcher();
    virtual ~TSerBaseDispatcher();
    TSerBaseDispatcher(const TSerBaseDispatcher&) = delete;
    TSerBaseDispatcher& operator=(const TSerBaseDispatcher&) = delete;

    // Slot in the global port list; travels with every notification.
    int Handle() const { return handle_; }

    // Opens and configures the device and starts the threads; 0 or a negative code. A failure
    // leaves nothing open.
    int InitPort(const TPortConfig& config);
    // Discards pending output and input and closes the device. During a delivery the rest of
    // the close is left to the dispatch thread (DeletePending()).
    void DonePort();
    bool IsOpen() const;

    void StartDispatcher();  // throws ESerException "Dispatcher already started"
    void StopDispatcher();

    // Line settings; see the port component. 0 or minus a system code.
    int SetLine(std::uint32_t baud, int parity, int dataBits, int stopBits);
    LineSettings CurrentLine() const;
    int SetDTR(bool on);
    int SetRTS(bool on);
    void SetHWFlow(bool dtrFlow, bool rtsFlow);
    std::uint32_t ModemStatus();
    // How many times the line settings were written to the device since opening.
    int LineWrites() const;

    // Output.
    int PutChar(std::uint8_t c);
    int PutBlock(const void* data, int size);
    int OutBuffUsed() const;
    void FlushOutBuffer();

    // Input.
    int GetBlock(void* buffer, int size);
    int InBuffUsed() const;
    void FlushInBuffer();

    // Triggers.
    int AddTimerTrigger();
    int SetTimerTrigger(int handle, int ticks, bool activate);
    int RemoveTrigger(int handle);
    void ChangeLengthTrigger(unsigned count);
    TSavedTriggers SaveTriggers() const;
    void RestoreTriggers(const TSavedTriggers& saved);

    // Handlers; the owner pointer identifies the registration.
    void RegisterEventTriggerHandler(const void* owner, TTriggerEvent handler);
    void RegisterSyncEventTriggerHandler(const void* owner, TTriggerEvent handler);
    void DeregisterEventTriggerHandler(const void* owner);
    void RegisterProcTriggerHandler(TTriggerProc proc);
    void DeregisterProcTriggerHandler(TTriggerProc proc);

    // Runs fn on the user-interface thread and waits for it (unless the hand-overs are
    // abandoned: then fn does not run).
    void Sync(const std::function<void()>& fn);
    // On the user-interface thread, when the port goes: no delivery reaches that thread any more
    // and a dispatcher thread waiting for one returns, so the threads can end without that
    // thread handling its events. False when called from inside a delivery of this dispatcher,
    // whose threads then end only after it returns.
    bool AbandonHandOvers() { return handOver_.CallOff(); }
    // Waits until every thread has ended; handles the user-interface thread's events meanwhile
    // unless the hand-overs were abandoned.
    void WaitForThreads();

    bool Started() const { return started_; }
    bool EventBusy() const;
    bool DeletePending() const { return deletePending_; }
    int RunningThreads() const { return running_; }
    // The device reported a hang-up (unplugged, or the far side of a pseudo-terminal closed).
    bool DeviceLost() const;
    // Runs `notice` once, on a dispatcher thread, the first time the device is seen gone. Set it
    // before InitPort starts the threads.
    void SetLostNotice(std::function<void()> notice) { lostNotice_ = std::move(notice); }
    const std::string& DevicePath() const { return devicePath_; }
    // Whether the device behind this port has modem lines (a pseudo-terminal has none).
    bool HasModemLines() const;

protected:
    // Creates and opens the device for port n; 0 or a system code.
    virtual int OpenDevice(int comNumber, std::unique_ptr<SerialDevice>& device,
                           std::string& path) = 0;

private:
    // Starts one thread, counted as running from before it begins; throws std::system_error
    // when the system gives none.
    void StartThread(std::thread& thread, std::atomic<bool>& doneFlag, std::function<void()> body);
    void EventThread();
    void DispatchThread();
    bool WaitForInput();
    void OutputThread();
    void ThreadEnds(std::atomic<bool>& doneFlag);
    void WaitForThreadsToEnd(const std::function<bool()>& done);
    void StopThreads(bool fromDispatchThread);
    void FinishDeferredClose();
    void CloseDevice();
    void FreeRings();

    void ExtractData();
    // Either thread may be the first to see the device gone (a hang-up on the event thread's
    // wait, EIO on the dispatch thread's read): whichever does tells the owner, once.
    void NoticeIfLost();
    bool CheckReceiveTriggers();
    bool CheckTimerTriggers();
    bool AnyTimerActive() const;
    bool Notify(unsigned msg, unsigned value, unsigned extra);
    void CallHandler(const TriggerHandlerList::Call& call, unsigned msg, unsigned value,
                     long param);
    // Data taken by the handlers of a delivery leaves the input ring when the delivery ends.
    bool SettleInput(bool data, unsigned msg, unsigned value);

    bool FlushRequested();
    void SendQueuedOutput();
    void WaitOutputDrained();
    int ApplyDtr();
    int ApplyRts();

    UiThread& ui_;
    UiHandOver handOver_;
    int handle_ = -1;
    std::unique_ptr<SerialDevice> device_;
    std::string devicePath_;

    // Device copy (guarded by main).
    LineSettings line_;
    int stopCode_ = 0;  // 0 one, 1 one and a half, 2 two stop bits
    std::uint32_t lastBaudWritten_ = 115200;
    bool dtr_ = true, rts_ = true, dtrFlow_ = false, rtsFlow_ = false;
    std::uint32_t modemStatus_ = 0;
    int lineWrites_ = 0;

    // Input ring (guarded by input).
    ByteRing inRing_;
    bool dataDelivery_ = false;
    int takenByCurrent_ = 0, mostTaken_ = 0;
    bool flushDuringDelivery_ = false;
    std::uint64_t extractedTotal_ = 0, notifiedTotal_ = 0;

    // Output ring (guarded by output).
    ByteRing outRing_;

    // Triggers and handlers (guarded by main).
    TriggerTable triggers_;
    TriggerHandlerList handlers_;

    std::atomic<bool> deletePending_{false};
    std::atomic<bool> kill_{false};
    std::atomic<bool> started_{false};
    std::atomic<int> running_{0};
    std::atomic<bool> ringFull_{false};
    std::atomic<bool> deviceOpen_{false};
    std::function<void()> lostNotice_;
    std::atomic<bool> lostNoticed_{false};

    mutable std::mutex mainLock_;
    mutable std::mutex inputLock_;
    mutable std::mutex outputLock_;

    AutoResetEvent deviceEvent_, ack_;
    std::mutex outSignalMutex_;
    std::condition_variable outSignal_;
    bool outAvailable_ = false, flushRequest_ = false;
    AutoResetEvent flushAck_;

    std::thread eventThread_, dispatchThread_, outputThread_;
    std::atomic<bool> eventThreadDone_{true}, dispatchThreadDone_{true}, outputThreadDone_{true};
    std::atomic<std::thread::id> dispatchThreadId_{};
};

// The dispatcher of this platform (SerPosix.cpp on Linux).
std::unique_ptr<TSerBaseDispatcher> CreateDispatcher();

// The global port list.
void LockPortList();
void UnlockPortList();
// The number of dispatchers in the list (slots included), for tests of slot reuse.
int PortListSize();

}  // namespace vx
