#include "serial/Serexcept.h"

#include "platform/SerialDevice.h"

#include <new>

namespace vx {
namespace {

struct CodeText {
    int code;
    const char* text;
};

constexpr CodeText kSerialTexts[] = {
    {ecBadId, "ie_BadId - Specified comport doesn't exist"},
    {ecNotOpen, "ie_NOpen - device not open"},
    {ecAlreadyOpen, "ie_Open - device already open"},
    {ecNoPortSelected, "The ComNumber property of the TSerComPort has not been set"},
    {ecOutputBufferTooSmall, "Output buffer too small for block"},
    {ecBufferIsEmpty, "Buffer is empty"},
    {ecNoMoreTriggers, "No more trigger slots"},
    {ecBadTriggerHandle, "Bad trigger handle"},
    {ecStartStringEmpty, "Start string is empty"},
    {ecPacketTooSmall, "Packet size cannot be smaller than start string"},
    {ecNoEndCharCount, "CharCount packets must have an end-condition"},
    {ecEmptyEndString, "End string is empty"},
    {ecZeroSizePacket, "Packet size cannot be zero"},
};

constexpr CodeText kSystemTexts[] = {
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {6, "Invalid file handle"},
    {8, "Insufficient memory"},
    {15, "Invalid drive"},
    {18, "No more files"},
    {100, "Attempt to read beyond end of file"},
    {101, "Disk is full"},
    {102, "File/device not assigned"},
    {103, "File/device not open"},
    {104, "File/device not open for input"},
    {105, "File/device not open for output"},
    {150, "Disk is write-protected"},
    {151, "Unknown disk unit"},
    {152, "Drive is not ready"},
    {153, "Unknown command"},
    {154, "Data error"},
    {155, "Bad request structure length"},
    {156, "Seek error"},
    {157, "Unknown media type"},
    {158, "Disk sector not found"},
    {159, "Printer is out of paper"},
    {160, "Device write error"},
    {161, "Device read error"},
    {162, "General failure"},
};

constexpr const char* kGenericText = "Serion exception";

const char* Find(const CodeText* table, std::size_t count, int code) {
    for (std::size_t i = 0; i < count; ++i) {
        if (table[i].code == code) {
            return table[i].text;
        }
    }
    return nullptr;
}

std::string NoPermissionText(const std::string& devicePath) {
    std::string device = devicePath.empty() ? "the serial device" : devicePath;
    return "ie_NoAccess - permission denied on " + device +
           ". Add your user to the dialout group (sudo usermod -a -G dialout $USER), then log "
           "out and in again";
}

bool IsSystemCode(int code) {
    return code <= -2 && code >= -162 && code != -8;
}

// A system error beyond the old table's range that the platform can still name (an errno with
// no Windows counterpart, say opening a port whose link leads to a folder). Its own text tells
// the user far more than the generic one.
bool IsNamedSystemCode(int code) {
    return code < -162 && code != -kSysNoPermission && HasSystemErrorText(-code);
}

}  // namespace

ESerException::ESerException(int code, const std::string& message)
    : std::runtime_error(message), code_(code) {}

ESerException::ESerException(const std::string& message) : std::runtime_error(message) {}

std::string SerErrorMessage(int code, const std::string& devicePath) {
    if (code == ecNoPermission || code == -kSysNoPermission) {
        return NoPermissionText(devicePath);
    }
    if (const char* text = Find(kSerialTexts, std::size(kSerialTexts), code)) {
        return text;
    }
    if (IsSystemCode(code)) {
        if (const char* text = Find(kSystemTexts, std::size(kSystemTexts), -code)) {
            return text;
        }
        return SystemErrorText(-code);
    }
    if (IsNamedSystemCode(code)) {
        return SystemErrorText(-code);
    }
    return kGenericText;
}

void RaiseSerError(int code, const std::string& devicePath) {
    if (code >= 0) {
        return;
    }
    std::string text = SerErrorMessage(code, devicePath);
    switch (code) {
        case ecBadId:
            throw EBadId(code, text);
        case ecAlreadyOpen:
            throw EAlreadyOpen(code, text);
        case ecNotOpen:
            throw ECommNotOpen(code, text);
        case ecNoPortSelected:
            throw ENoPortSelected(code, text);
        case ecNoPermission:
            throw ENoPermission(code, text);
        case ecOutputBufferTooSmall:
            throw EOutputBufferTooSmall(code, text);
        case ecNoMoreTriggers:
            throw ENoMoreTriggers(code, text);
        case ecBadTriggerHandle:
            throw EBadTriggerHandle(code, text);
        case ecStartStringEmpty:
        case ecPacketTooSmall:
        case ecNoEndCharCount:
        case ecEmptyEndString:
        case ecZeroSizePacket:
            throw EInvalidProperty(code, text);
        case -8:
            throw std::bad_alloc();
        default:
            break;
    }
    if (IsSystemCode(code) || IsNamedSystemCode(code)) {
        throw EInOutError(-code, text);
    }
    if (code <= -2001 && code >= -2012) {
        throw EOpenComm(code, text);
    }
    if (code <= -3001 && code >= -3010) {
        throw ESerialIO(code, text);
    }
    if (code <= -5001 && code >= -5003) {
        throw ETrigger(code, text);
    }
    if (code <= -5501 && code >= -5505) {
        throw EPacket(code, text);
    }
    throw ESerException(code, text);
}

}  // namespace vx
