#pragma once
// A serial device as the serial link sees it: opened exclusively by port number, configured in raw
// mode, read without waiting, written from a thread whose write the closing side can abandon.
// The POSIX implementation (SerialDevicePosix.cpp) sits on termios; a Win32 one can implement the
// same interface with overlapped I/O.
//
// Errors are reported as the Windows-style system codes that the serial port's message table
// uses (see SystemCodeFromErrno): 0 is success, a positive value is the failing call's code.
//
// Port numbers. COMn (n = 1..50) names a device through the ports folder: $VENTRIX_PORTS_DIR when
// set, else ~/.config/ventrix/ports. An entry COMn there (normally a symbolic link to /dev/ttyUSB0,
// /dev/serial/by-id/..., /dev/pts/N) is port n. A number without an entry uses the built-in table:
//   COM1  - COM4   ->  /dev/ttyS0   - /dev/ttyS3
//   COM5  - COM20  ->  /dev/ttyUSB0 - /dev/ttyUSB15
//   COM21 - COM30  ->  /dev/ttyACM0 - /dev/ttyACM9
//   COM31 - COM40  ->  /dev/ttyS4   - /dev/ttyS13
//   COM41 - COM50  ->  /dev/rfcomm0 - /dev/rfcomm9

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vx {

// Windows-style system codes produced from errno.
inline constexpr int kSysOk = 0;
inline constexpr int kSysFileNotFound = 2;
inline constexpr int kSysPathNotFound = 3;
inline constexpr int kSysTooManyOpenFiles = 4;
inline constexpr int kSysAccessDenied = 5;  // the device is held by another program
inline constexpr int kSysInvalidHandle = 6;
inline constexpr int kSysNotEnoughMemory = 8;
inline constexpr int kSysGeneralFailure = 31;  // EIO: the device stopped working (unplugged)
inline constexpr int kSysNotSupported = 50;
inline constexpr int kSysInvalidParameter = 87;
// Permission denied (EACCES/EPERM) is not "in use" on Linux: the user lacks access to the device
// node, normally because they are not in the dialout group. Windows' code for a missing privilege.
inline constexpr int kSysNoPermission = 1314;
// A thread a port needs could not be started (the system's limit on threads or memory):
// Windows' code for the thread limit.
inline constexpr int kSysNoMoreThreads = 164;

// Maps errno to the codes above. Errors without a Windows counterpart keep a code of their own
// (10000 + errno) so SystemErrorText can still name them.
int SystemCodeFromErrno(int err);
// The operating system's text for a code produced by SystemCodeFromErrno.
std::string SystemErrorText(int code);
// Whether SystemErrorText knows the code (codes it does not know read "Unknown error").
bool HasSystemErrorText(int code);

enum class LineParity : int { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };

struct LineSettings {
    std::uint32_t baud = 19200;
    LineParity parity = LineParity::None;
    int dataBits = 8;  // 5..8
    int stopBits = 1;  // 1 or 2 (1.5 stop bits is what the hardware does for 2 with 5 data bits)
    bool operator==(const LineSettings&) const = default;
};

// Modem status bits, the values Windows uses.
inline constexpr std::uint32_t kModemCts = 0x10;
inline constexpr std::uint32_t kModemDsr = 0x20;
inline constexpr std::uint32_t kModemRing = 0x40;
inline constexpr std::uint32_t kModemRlsd = 0x80;

// What a wait for device events saw (bit set); 0 means the wait timed out.
inline constexpr unsigned kDevEventRx = 1;         // bytes may be read
inline constexpr unsigned kDevEventHangup = 2;     // the device vanished; it never comes back
inline constexpr unsigned kDevEventCancelled = 4;  // CancelWaits() was called
inline constexpr unsigned kDevEventError = 8;      // the wait itself failed

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens the device at path for reading and writing, exclusively, switched to raw mode with
    // its input discarded. Returns 0 or a system code.
    virtual int Open(const std::string& path) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Asks the driver for queue sizes (a no-op where the driver's queues are fixed).
    virtual int SetQueueSizes(unsigned inSize, unsigned outSize) = 0;

    virtual int GetLineSettings(LineSettings& settings) = 0;
    virtual int SetLineSettings(const LineSettings& settings) = 0;

    // Waits up to timeoutMs (negative: without limit) until bytes can be read (when forData),
    // the device vanishes or CancelWaits() is called. Returns a set of kDevEvent bits. After a
    // hang-up it only waits for the cancellation: a vanished device must never make a caller spin.
    virtual unsigned WaitEvent(int timeoutMs, bool forData = true) = 0;
    // Ends every present and future wait and write until ResetCancel(); used by close.
    virtual void CancelWaits() = 0;
    virtual void ResetCancel() = 0;
    virtual bool Vanished() const = 0;

    // Reads what is there without waiting: the count read (0 when nothing), or minus a system code.
    virtual long Read(void* buffer, std::size_t size) = 0;
    // Reads up to size bytes, waiting up to timeoutMs for the first one: the raw use of the
    // baud-rate search. Returns the count (0 on time-out) or minus a system code.
    virtual long ReadTimed(void* buffer, std::size_t size, int timeoutMs) = 0;
    // Writes all bytes, waiting for room in the driver's queue; stops early when the waits are
    // cancelled. Returns the count written or minus a system code.
    virtual long Write(const void* data, std::size_t size) = 0;

    virtual int Purge(bool input, bool output) = 0;

    // Modem lines. A device without them (a pseudo-terminal) accepts the calls and does nothing.
    virtual bool HasModemLines() const = 0;
    virtual int SetDtr(bool on) = 0;
    virtual int SetRts(bool on) = 0;
    virtual int GetModemStatus(std::uint32_t& bits) = 0;

    // Bytes waiting in the driver's input and output queues.
    virtual int QueueCounts(unsigned& inQueue, unsigned& outQueue) = 0;

    virtual const std::string& Path() const = 0;
};

// Whether the device at path could be opened as a serial port, without touching it: it is opened
// without waiting (a modem device would otherwise wait for its carrier) and without becoming the
// controlling terminal, checked to be a terminal that nobody holds locked, and closed. No line
// setting changes, no queue is flushed and no exclusive flag is set, so a port that another
// program uses, or a board that resets on a line change, is left alone. Some drivers still move
// DTR and RTS on every open and close; that is the one thing a probe cannot prevent.
// Returns 0 (free), kSysAccessDenied (held by another program), kSysNoPermission, or another
// system code (kSysFileNotFound when there is no terminal at path).
int ProbeSerialDevice(const std::string& path);

// The device every serial port and baud-rate search opens: the factory's when one is
// set, else the POSIX device.
std::unique_ptr<SerialDevice> CreateSerialDevice();
// The termios device itself, also for a factory that wraps it.
std::unique_ptr<SerialDevice> CreatePosixSerialDevice();

// Replaces the device behind CreateSerialDevice(); an empty factory restores the POSIX device.
// Returns the previous factory. Swapping is safe against concurrent CreateSerialDevice() calls,
// but a device keeps the kind it was created as: set the factory only while no port is open (a
// test double for lines a pseudo-terminal lacks, such as DTR).
using SerialDeviceFactory = std::function<std::unique_ptr<SerialDevice>()>;
SerialDeviceFactory SetSerialDeviceFactory(SerialDeviceFactory factory);

inline constexpr int kMaxPortNumber = 50;

// The folder of COMn entries ($VENTRIX_PORTS_DIR, else ~/.config/ventrix/ports).
std::string PortsFolder();
// The device path behind port number n: the ports folder's entry when there is one, else the
// built-in table; empty for numbers outside 1..50.
std::string PortDevicePath(int n);
// The built-in table alone.
std::string DefaultPortDevicePath(int n);
// What to show the user for port n: the device a ports-folder link points to (such as
// /dev/serial/by-id/usb-FTDI_...), else the built-in table's device.
std::string PortDeviceName(int n);

}  // namespace vx
