#pragma once
// The serial port component. Every operation is called on the user-interface thread; while the
// port is open a dispatcher (serial/Serdisp.h) owns the device and its threads.
//
// Typical use:
//     TSerComPort port;
//     port.SetAutoOpen(false);
//     port.SetComNumber(3);
//     port.SetBaud(9600);
//     port.SetParity(pEven);
//     port.SetOpen(true);      // throws an ESerException (serial/Serexcept.h) on failure
//     port.PutChar('Q');
//     port.FlushInBuffer();

#include "serial/Serdisp.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vx {

enum TParity { pNone = 0, pOdd = 1, pEven = 2, pMark = 3, pSpace = 4 };
enum TPortState { psClosed, psShuttingDown, psOpen };
enum THWFlowOptions { hwfUseDTR = 1, hwfUseRTS = 2, hwfRequireDSR = 4, hwfRequireCTS = 8 };
using THWFlowOptionSet = unsigned;  // a set of THWFlowOptions bits
enum TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };
enum TSerCallbackType { ctOpen, ctClosing, ctClosed };

class TSerCustomComPort;
// An extended open/close callback; the owner pointer is passed back.
using TSerCallbackEx = void (*)(void* owner, TSerCustomComPort* port, TSerCallbackType type);
using TPortNotifyEvent = std::function<void(TSerCustomComPort* sender)>;

class TSerCustomComPort {
public:
    TSerCustomComPort();
    virtual ~TSerCustomComPort();
    TSerCustomComPort(const TSerCustomComPort&) = delete;
    TSerCustomComPort& operator=(const TSerCustomComPort&) = delete;

    unsigned GetComNumber() const { return comNumber_; }
    void SetComNumber(unsigned n);
    std::int32_t GetBaud() const { return baud_; }
    void SetBaud(std::int32_t baud);
    TParity GetParity() const { return parity_; }
    void SetParity(TParity parity);
    unsigned GetDataBits() const { return dataBits_; }
    void SetDataBits(unsigned bits);
    unsigned GetStopBits() const { return stopBits_; }
    void SetStopBits(unsigned bits);
    unsigned GetInSize() const { return inSize_; }
    void SetInSize(unsigned size);
    unsigned GetOutSize() const { return outSize_; }
    void SetOutSize(unsigned size);
    bool GetAutoOpen() const { return autoOpen_; }
    void SetAutoOpen(bool on) { autoOpen_ = on; }
    bool GetOpen() const { return open_; }
    void SetOpen(bool open);
    bool GetDTR() const { return dtr_; }
    void SetDTR(bool on);
    bool GetRTS() const { return rts_; }
    void SetRTS(bool on);
    bool GetPromptForPort() const { return promptForPort_; }
    void SetPromptForPort(bool on) { promptForPort_ = on; }
    THWFlowOptionSet GetHWFlowOptions() const { return hwFlow_; }
    void SetHWFlowOptions(THWFlowOptionSet options);
    TSWFlowOptions GetSWFlowOptions() const { return swFlow_; }
    void SetSWFlowOptions(TSWFlowOptions options);
    char GetXOnChar() const { return xOnChar_; }
    void SetXOnChar(char c);
    char GetXOffChar() const { return xOffChar_; }
    void SetXOffChar(char c);
    unsigned GetBufferFull() const { return bufferFull_; }
    void SetBufferFull(unsigned n) { bufferFull_ = n; }
    unsigned GetBufferResume() const { return bufferResume_; }
    void SetBufferResume(unsigned n) { bufferResume_ = n; }
    unsigned GetTriggerLength() const { return triggerLength_; }
    void SetTriggerLength(unsigned n);

    TPortNotifyEvent OnPortOpen;
    TPortNotifyEvent OnPortClose;
    // Raised on the user-interface thread, once per open, when the device has vanished (an
    // adapter unplugged, the far side of a pseudo-terminal closed). Nothing more arrives; the
    // port stays open until closed, and opening it again looks for the device afresh.
    TPortNotifyEvent OnDeviceLost;

    TPortState GetState() const { return state_; }

    // Queues one byte for sending; never waits for the device.
    void PutChar(char c);
    // Discards received bytes not yet handed on (driver queue and input ring).
    void FlushInBuffer();

    void RegisterUserCallbackEx(TSerCallbackEx callback, void* owner);
    void DeregisterUserCallbackEx(TSerCallbackEx callback, void* owner);

    // The open port's dispatcher, or nullptr; opens the port first when AutoOpen allows.
    TSerBaseDispatcher* GetDispatcher();
    // The same, but throws ECommNotOpen when there is none.
    TSerBaseDispatcher& ValidDispatcher();

    // A form description being loaded: SetOpen only records the wish until EndLoading.
    void BeginLoading() { loading_ = true; }
    void EndLoading();

    // The device the open port uses (empty while closed).
    std::string DevicePath() const;
    // The open port's device vanished (unplugged): nothing more arrives until it is reopened.
    bool DeviceLost() const { return dispatcher_ && dispatcher_->DeviceLost(); }

private:
    struct UserCallback {
        TSerCallbackEx callback;
        void* owner;
    };

    void OpenPort();
    void ClosePort();
    void CloseBeforeDestruction();
    void ChoosePortNumber();
    void ApplyForcedSettings();
    void ApplyLineSettings();
    void TellUsers(TSerCallbackType type);
    void FinishClose();
    void ScheduleDeferredClose();
    void CheckDeferredClose();
    void Raise(int code);
    void DeviceLostNotice(std::uint64_t openCount);
    bool Live() const { return state_ == psOpen && dispatcher_ != nullptr; }

    unsigned comNumber_ = 0;
    std::int32_t baud_ = 19200;
    TParity parity_ = pNone;
    unsigned dataBits_ = 8;
    unsigned stopBits_ = 1;
    unsigned inSize_ = 4096;
    unsigned outSize_ = 4096;
    bool autoOpen_ = true;
    bool open_ = false;
    bool dtr_ = true;
    bool rts_ = true;
    bool promptForPort_ = true;
    THWFlowOptionSet hwFlow_ = 0;
    TSWFlowOptions swFlow_ = swfNone;
    char xOnChar_ = 17;
    char xOffChar_ = 19;
    unsigned bufferFull_ = 0;
    unsigned bufferResume_ = 0;
    unsigned triggerLength_ = 1;

    TPortState state_ = psClosed;
    std::unique_ptr<TSerBaseDispatcher> dispatcher_;
    bool force_ = false;
    bool loading_ = false;
    bool openWhenLoaded_ = false;
    std::vector<UserCallback> users_;
    TSavedTriggers savedTriggers_;
    bool haveSavedTriggers_ = false;
    // Lets a task posted to the user-interface thread see whether the port still exists.
    std::shared_ptr<TSerCustomComPort*> self_;
    // Tells a loss notice from an earlier open apart from one about the device open now.
    std::uint64_t openCount_ = 0;
};

class TSerComPort : public TSerCustomComPort {};

// Told as any port is destroyed, after it has closed, on the thread that destroys it. Whoever
// keeps ports' addresses beyond their life (the framers' managers) sets it, so a port needs to
// know nothing of them. One hook; nullptr removes it.
using TPortDestroyedHook = void (*)(const TSerCustomComPort* port);
void SetPortDestroyedHook(TPortDestroyedHook hook);

// "COM" and the number: ComName(12) is "COM12".
std::string ComName(int n);
// Whether port n can be used: true when its device is a terminal that is free, held by another
// program (opening then fails with -2008), or closed to this user (opening then says how to get
// access). A probe only: the device is opened without waiting and without becoming the
// controlling terminal, and closed again; its line settings, queues and exclusive flag are left
// as they were.
bool IsPortAvailable(int n);

// The port selection dialog, shown when a port with PromptForPort opens with number 0. It gets
// the available port numbers and returns the one chosen, or 0 for Cancel. Without a hook the
// opening fails as if cancelled. Returns the previous hook.
using PortSelectionHook = std::function<int(const std::vector<int>& available)>;
PortSelectionHook SetPortSelectionHook(PortSelectionHook hook);
// The port numbers 1..50 that IsPortAvailable accepts.
std::vector<int> AvailablePorts();

}  // namespace vx
