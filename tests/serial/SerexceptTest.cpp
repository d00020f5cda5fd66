#include "serial/Serexcept.h"

#include "platform/SerialDevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <new>
#include <typeinfo>

namespace vx {
namespace {

template <class E>
void ExpectRaises(int code, const std::string& text) {
    try {
        RaiseSerError(code);
        ADD_FAILURE() << "code " << code << " raised nothing";
    } catch (const E& e) {
        EXPECT_EQ(e.what(), text) << "code " << code;
        EXPECT_EQ(typeid(e), typeid(E)) << "code " << code;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "code " << code << " raised " << typeid(e).name();
    }
}

TEST(SerialErrors, EachCodeRaisesItsClassWithItsText) {
    ExpectRaises<EBadId>(-2001, "ie_BadId - Specified comport doesn't exist");
    ExpectRaises<EAlreadyOpen>(-2008, "ie_Open - device already open");
    ExpectRaises<ECommNotOpen>(-2007, "ie_NOpen - device not open");
    ExpectRaises<ENoPortSelected>(-2011,
                                  "The ComNumber property of the TSerComPort has not been set");
    ExpectRaises<EOutputBufferTooSmall>(-3006, "Output buffer too small for block");
    ExpectRaises<ENoMoreTriggers>(-5001, "No more trigger slots");
    ExpectRaises<EBadTriggerHandle>(-5003, "Bad trigger handle");
    ExpectRaises<EInvalidProperty>(-5501, "Start string is empty");
    ExpectRaises<EInvalidProperty>(-5502, "Packet size cannot be smaller than start string");
    ExpectRaises<EInvalidProperty>(-5503, "CharCount packets must have an end-condition");
    ExpectRaises<EInvalidProperty>(-5504, "End string is empty");
    ExpectRaises<EInvalidProperty>(-5505, "Packet size cannot be zero");
}

TEST(SerialErrors, GroupsCatchTheirMembers) {
    EXPECT_THROW(RaiseSerError(-2008), EOpenComm);
    EXPECT_THROW(RaiseSerError(-3006), ESerialIO);
    EXPECT_THROW(RaiseSerError(-5003), ETrigger);
    EXPECT_THROW(RaiseSerError(-5504), EPacket);
    EXPECT_THROW(RaiseSerError(-2001), ESerException);
    try {
        RaiseSerError(-2008);
    } catch (const ESerException& e) {
        EXPECT_EQ(e.ErrorCode(), -2008);
    }
}

TEST(SerialErrors, SystemCodesRaiseInOutErrorWithTheirMagnitude) {
    try {
        RaiseSerError(-2);
        ADD_FAILURE();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), 2);
        EXPECT_STREQ(e.what(), "File not found");
    }
    EXPECT_EQ(SerErrorMessage(-5), "File access denied");
    EXPECT_EQ(SerErrorMessage(-162), "General failure");
    EXPECT_EQ(SerErrorMessage(-101), "Disk is full");
    // A code without a row takes the system's own text.
    EXPECT_EQ(SerErrorMessage(-kSysGeneralFailure), std::strerror(EIO));
    EXPECT_THROW(RaiseSerError(-8), std::bad_alloc);
}

TEST(SerialErrors, UnknownCodesAreGenericSerialExceptions) {
    for (int code : {-163, -1314 - 10000, -9999}) {
        try {
            RaiseSerError(code);
            ADD_FAILURE();
        } catch (const ESerException& e) {
            EXPECT_STREQ(e.what(), "Serion exception");
        }
    }
    EXPECT_NO_THROW(RaiseSerError(0));
}

TEST(SerialErrors, PermissionDeniedTellsHowToGetAccessAndIsNotInUse) {
    try {
        RaiseSerError(ecNoPermission, "/dev/ttyUSB0");
        ADD_FAILURE();
    } catch (const ENoPermission& e) {
        std::string text = e.what();
        EXPECT_NE(text.find("/dev/ttyUSB0"), std::string::npos);
        EXPECT_NE(text.find("dialout"), std::string::npos);
        EXPECT_EQ(text.find("already open"), std::string::npos);
    }
    EXPECT_NE(SerErrorMessage(-kSysNoPermission).find("dialout"), std::string::npos);
}

}  // namespace
}  // namespace vx
