// ventrix --connect ... --log started as a station's autostart entry would start it: the real
// program (offscreen) against real simulated instruments, watched from outside through the log
// files it writes. No click anywhere.

#include "tests/autofind/SimPorts.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vx {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadFile;
using test::WaitUntil;

constexpr int kHeaderLines = 6;

int LineCount(const fs::path& path) {
    std::ifstream file(path);
    int lines = 0;
    for (std::string line; std::getline(file, line);) {
        ++lines;
    }
    return lines;
}

// A home of its own: settings whose log file lies in `logs`, and the program's other folders.
class StationHome {
public:
    StationHome() {
        fs::create_directories(Root() / "config" / "Varn Instruments");
        fs::create_directories(Logs());
        std::ofstream settings(Root() / "config" / "Varn Instruments" / "ventrix.reg");
        settings << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varn Instruments\\ventrix]\n"
                 << "\"Units\"=dword:00000000\n\"DisplayMode\"=dword:00000001\n"
                 << "\"MessageTypeIndex\"=dword:00000000\n"
                 << "\"DefaultLogFile\"=\"" << (Logs() / "Station.txt").string() << "\"\n";
    }
    fs::path Logs() const { return Root() / "logs"; }
    fs::path Root() const { return folder_.Path(); }

    // The log file of a connection, once there is one.
    fs::path LogOf(const std::string& name) const {
        for (const auto& entry : fs::directory_iterator(Logs())) {
            if (entry.path().filename().string().find("[" + name + "]") != std::string::npos) {
                return entry.path();
            }
        }
        return {};
    }

private:
    test::TempFolder folder_{"vx-station"};
};

// The real ventrix, offscreen, with the home above; what it says goes to a file.
class Program : public test::ChildProcess {
public:
    Program(const StationHome& home, const std::vector<std::string>& arguments)
        : ChildProcess(Command(arguments), Options(home)) {}
    std::string Errors() const { return Output(); }

private:
    static std::vector<std::string> Command(const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {VX_VENTRIX_PROGRAM};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return all;
    }
    static test::ChildOptions Options(const StationHome& home) {
        test::ChildOptions options;
        options.environment = {
            "QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + (home.Root() / "config").string(),
            "XDG_STATE_HOME=" + (home.Root() / "state").string(), "HOME=" + home.Root().string()};
        options.outputPath = (home.Root() / "output.txt").string();
        options.errorsToOutput = true;
        return options;
    }
};

// Records beyond the header are arriving in the connection's log file.
bool Logging(const StationHome& home, const std::string& name, int records) {
    const fs::path log = home.LogOf(name);
    return !log.empty() && LineCount(log) >= kHeaderLines + records;
}

TEST(ProgramConnect, TwoInstrumentsConnectedAndLoggingWithoutAClick) {
    test::PrivatePortsFolder ports;
    test::SimInstrument north(11, {"--format", "VARN_UV_TWO_AXIS", "--rate", "4"});
    test::SimInstrument south(12, {"--format", "NMEA_POLAR", "--rate", "2", "--baud", "4800"});
    ASSERT_TRUE(north.Ready() && south.Ready()) << north.Banner() << south.Banner();
    StationHome home;
    Program program(home, {"--connect", "COM11,9600,VARN_UV_TWO_AXIS,North", "--connect",
                           "COM12,4800,NMEA_POLAR,South", "--log"});
    EXPECT_TRUE(
        WaitUntil([&] { return Logging(home, "North", 8) && Logging(home, "South", 4); }, 60s))
        << program.Errors();
    EXPECT_TRUE(program.Running());
    const std::string south_log = ReadFile(home.LogOf("South").string());
    EXPECT_NE(south_log.find("$IIMWV"), std::string::npos) << south_log;
    EXPECT_EQ(program.Errors().find("waiting for the device"), std::string::npos)
        << program.Errors();
}

TEST(ProgramConnect, AnInstrumentNotThereYetIsWaitedForAndThenLogged) {
    test::PrivatePortsFolder ports;
    StationHome home;
    Program program(home, {"--connect", "COM13,9600,VARN_UV_TWO_AXIS,Late", "--log"});
    ASSERT_TRUE(WaitUntil(
        [&] { return program.Errors().find("waiting for the device") != std::string::npos; }, 30s));
    EXPECT_NE(program.Errors().find("ventrix: COM13: "), std::string::npos) << program.Errors();
    EXPECT_TRUE(program.Running());
    // The adapter appears after the program has started.
    test::SimInstrument late(13, {"--rate", "4"});
    ASSERT_TRUE(late.Ready()) << late.Banner();
    EXPECT_TRUE(WaitUntil([&] { return Logging(home, "Late", 4); }, 60s)) << program.Errors();
}

TEST(ProgramConnect, BadValuesEndWithStatusTwoBeforeAnyWindow) {
    // No display and the X11 platform: creating the toolkit would abort the program.
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb \"" +
                                std::string(VX_VENTRIX_PROGRAM) +
                                "\" --connect COM5,9600,NO_SUCH_FORMAT 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[1024];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, got);
    }
    const int status = pclose(pipe);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 2) << out;
    EXPECT_EQ(out.rfind("ventrix: --connect COM5,9600,NO_SUCH_FORMAT: unknown output format "
                        "'NO_SUCH_FORMAT' (known: ",
                        0),
              0u)
        << out;
}

}  // namespace
}  // namespace vx
