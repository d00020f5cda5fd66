#pragma once
// Exceptions of the serial link. Device operations return 0 or a negative code; RaiseSerError
// turns a negative code into the exception class for that code, carrying the code and the text
// from the message table.

#include <stdexcept>
#include <string>

namespace vx {

// Codes of the serial link.
inline constexpr int ecBadId = -2001;
inline constexpr int ecNotOpen = -2007;
inline constexpr int ecAlreadyOpen = -2008;
inline constexpr int ecNoPortSelected = -2011;
// The user may not open the device (Linux: not in the dialout group). Not "in use".
inline constexpr int ecNoPermission = -2012;
inline constexpr int ecOutputBufferTooSmall = -3006;
inline constexpr int ecBufferIsEmpty = -3007;
inline constexpr int ecNoMoreTriggers = -5001;
inline constexpr int ecBadTriggerHandle = -5003;
inline constexpr int ecStartStringEmpty = -5501;
inline constexpr int ecPacketTooSmall = -5502;
inline constexpr int ecNoEndCharCount = -5503;
inline constexpr int ecEmptyEndString = -5504;
inline constexpr int ecZeroSizePacket = -5505;

class ESerException : public std::runtime_error {
public:
    ESerException(int code, const std::string& message);
    explicit ESerException(const std::string& message);
    int ErrorCode() const { return code_; }

private:
    int code_ = 0;
};

// Group classes.
class EOpenComm : public ESerException {
    using ESerException::ESerException;
};
class ESerialIO : public ESerException {
    using ESerException::ESerException;
};
class ETrigger : public ESerException {
    using ESerException::ESerException;
};
class EPacket : public ESerException {
    using ESerException::ESerException;
};

class EBadId : public EOpenComm {
    using EOpenComm::EOpenComm;
};
class EAlreadyOpen : public EOpenComm {
    using EOpenComm::EOpenComm;
};
class ECommNotOpen : public EOpenComm {
    using EOpenComm::EOpenComm;
};
class ENoPortSelected : public EOpenComm {
    using EOpenComm::EOpenComm;
};
class ENoPermission : public EOpenComm {
    using EOpenComm::EOpenComm;
};
class EOutputBufferTooSmall : public ESerialIO {
    using ESerialIO::ESerialIO;
};
class ENoMoreTriggers : public ETrigger {
    using ETrigger::ETrigger;
};
class EBadTriggerHandle : public ETrigger {
    using ETrigger::ETrigger;
};
class EInvalidProperty : public EPacket {
    using EPacket::EPacket;
};
// A system call failed; ErrorCode() is the system code (the magnitude of the negative code).
class EInOutError : public ESerException {
    using ESerException::ESerException;
};

// The message table: the text for a serial code (negative) or, for -2..-162, for a system code.
// devicePath names the device in texts that help the user act (permission denied).
std::string SerErrorMessage(int code, const std::string& devicePath = {});

// Throws the exception for a negative code (std::bad_alloc for -8); does nothing for 0 or more.
void RaiseSerError(int code, const std::string& devicePath = {});

}  // namespace vx
