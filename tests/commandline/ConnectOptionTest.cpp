// --connect COMn[,baud[,format[,name]]] and --log: what they open, and every mistake answered
// before a window opens.

#include "app/CommandLine.h"
#include "app/ConnectOption.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx {
namespace {

ConnectRequest Request(int com, int baud, std::string format, std::string name) {
    ConnectRequest request;
    request.comNumber = com;
    request.baud = baud;
    request.format = std::move(format);
    request.name = std::move(name);
    return request;
}

TEST(ConnectOption, FieldsMayBeLeftOutOrEmptyAndTheNameKeepsItsCommas) {
    ConnectRequest request;
    EXPECT_EQ(ParseConnectRequest("COM5", request), "");
    EXPECT_EQ(request, Request(5, 9600, "", ""));
    EXPECT_EQ(request.ShownName(), "COM5");
    EXPECT_EQ(ParseConnectRequest("COM50,115200", request), "");
    EXPECT_EQ(request, Request(50, 115200, "", ""));
    EXPECT_EQ(ParseConnectRequest("COM7,,NMEA_POLAR", request), "");
    EXPECT_EQ(request, Request(7, 9600, "NMEA_POLAR", ""));
    EXPECT_EQ(ParseConnectRequest("COM1,2400,,North mast, east arm", request), "");
    EXPECT_EQ(request, Request(1, 2400, "", "North mast, east arm"));
    EXPECT_EQ(request.ShownName(), "North mast, east arm");
}

TEST(ConnectOption, BadValuesSayWhatIsAllowed) {
    ConnectRequest request;
    EXPECT_EQ(ParseConnectRequest("COM0", request), "'COM0' is not a port: write COM1 to COM50");
    EXPECT_EQ(ParseConnectRequest("COM51", request), "'COM51' is not a port: write COM1 to COM50");
    EXPECT_EQ(ParseConnectRequest("/dev/ttyUSB0", request),
              "'/dev/ttyUSB0' is not a port: write COM1 to COM50");
    EXPECT_EQ(ParseConnectRequest("", request), "'' is not a port: write COM1 to COM50");
    EXPECT_EQ(ParseConnectRequest("COM5,1200", request),
              "baud rate '1200' is not one of 2400, 4800, 9600, 19200, 38400, 57600, 115200");
    EXPECT_EQ(ParseConnectRequest("COM5,fast", request).substr(0, 24), "baud rate 'fast' is not ");
    const std::string format = ParseConnectRequest("COM5,9600,NMEA", request);
    EXPECT_EQ(format.substr(0, 28), "unknown output format 'NMEA'");
    EXPECT_NE(format.find("NMEA_POLAR"), std::string::npos) << format;
}

TEST(CommandLineConnect, RepeatedConnectionsInOrderWithLogging) {
    const CommandLine commandLine =
        ParseCommandLine({"--connect", "COM5,19200,NMEA_POLAR,Mast", "--connect=COM6", "--log",
                          "-platform", "offscreen"});
    ASSERT_EQ(commandLine.error, "");
    EXPECT_FALSE(commandLine.EndsBeforeWindows());
    EXPECT_TRUE(commandLine.log);
    ASSERT_EQ(commandLine.connections.size(), 2u);
    EXPECT_EQ(commandLine.connections[0], Request(5, 19200, "NMEA_POLAR", "Mast"));
    EXPECT_EQ(commandLine.connections[1], Request(6, 9600, "", ""));
}

TEST(CommandLineConnect, MistakesEndBeforeAnyWindowWithStatusTwo) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> mistakes = {
        {{"--connect"}, "option '--connect' needs a value: COMn[,baud[,format[,name]]]"},
        {{"--connect", "COM99"}, "--connect COM99: 'COM99' is not a port: write COM1 to COM50"},
        {{"--connect", "COM5", "--connect", "COM5,4800"}, "--connect: COM5 is given twice"},
        {{"--log"}, "--log needs at least one --connect"},
        {{"--log=1", "--connect", "COM5"}, "option '--log' takes no value"},
    };
    for (const auto& [arguments, error] : mistakes) {
        const CommandLine commandLine = ParseCommandLine(arguments);
        EXPECT_EQ(commandLine.error, error);
        EXPECT_EQ(commandLine.exitStatus, kExitUsage);
        EXPECT_TRUE(commandLine.EndsBeforeWindows());
    }
}

TEST(CommandLineConnect, HelpTellsOfBothOptions) {
    const std::string help = CommandLineHelp();
    EXPECT_NE(help.find("--connect COMn[,BAUD[,FORMAT[,NAME]]]"), std::string::npos);
    EXPECT_NE(help.find("--log"), std::string::npos);
}

}  // namespace
}  // namespace vx
