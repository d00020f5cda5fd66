// ventrix --connect ... --log started as a station's autostart entry would start it: the real
// program (offscreen) against real simulated instruments, watched from outside through the log
// files it writes. No click anywhere.

#include "tests/autofind/SimPorts.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vx {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kHeaderLines = 6;

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

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
        std::string pattern = (fs::temp_directory_path() / "vx-station-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        fs::create_directories(root_ / "config" / "Varn Instruments");
        fs::create_directories(Logs());
        std::ofstream settings(root_ / "config" / "Varn Instruments" / "ventrix.reg");
        settings << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varn Instruments\\ventrix]\n"
                 << "\"Units\"=dword:00000000\n\"DisplayMode\"=dword:00000001\n"
                 << "\"MessageTypeIndex\"=dword:00000000\n"
                 << "\"DefaultLogFile\"=\"" << (Logs() / "Station.txt").string() << "\"\n";
    }
    ~StationHome() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    fs::path Logs() const { return root_ / "logs"; }
    const fs::path& Root() const { return root_; }

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
    fs::path root_;
};

// The real ventrix, offscreen, with the home above; standard error goes to a file.
class Program {
public:
    Program(const StationHome& home, const std::vector<std::string>& arguments)
        : errors_(home.Root() / "stderr.txt") {
        std::vector<std::string> all = {VX_VENTRIX_PROGRAM};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const std::string config = (home.Root() / "config").string();
        const std::string state = (home.Root() / "state").string();
        pid_ = fork();
        if (pid_ == 0) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            setenv("XDG_STATE_HOME", state.c_str(), 1);
            setenv("HOME", home.Root().c_str(), 1);
            const int err = open(errors_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(err, STDERR_FILENO);
            std::vector<char*> argv;
            for (std::string& argument : all) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            execv(all[0].c_str(), argv.data());
            _exit(127);
        }
    }
    ~Program() { Stop(); }
    bool Running() { return pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == 0; }
    void Stop() {
        if (pid_ > 0 && Running()) {
            kill(pid_, SIGTERM);
            waitpid(pid_, &status_, 0);
        }
        pid_ = -1;
    }
    std::string Errors() const { return ReadFile(errors_); }

private:
    fs::path errors_;
    pid_t pid_ = -1;
    int status_ = 0;
};

bool WaitUntil(const std::function<bool()>& done, int seconds) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

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
        WaitUntil([&] { return Logging(home, "North", 8) && Logging(home, "South", 4); }, 60))
        << program.Errors();
    EXPECT_TRUE(program.Running());
    const std::string south_log = ReadFile(home.LogOf("South"));
    EXPECT_NE(south_log.find("$IIMWV"), std::string::npos) << south_log;
    EXPECT_EQ(program.Errors().find("waiting for the device"), std::string::npos)
        << program.Errors();
}

TEST(ProgramConnect, AnInstrumentNotThereYetIsWaitedForAndThenLogged) {
    test::PrivatePortsFolder ports;
    StationHome home;
    Program program(home, {"--connect", "COM13,9600,VARN_UV_TWO_AXIS,Late", "--log"});
    ASSERT_TRUE(WaitUntil(
        [&] { return program.Errors().find("waiting for the device") != std::string::npos; }, 30));
    EXPECT_NE(program.Errors().find("ventrix: COM13: "), std::string::npos) << program.Errors();
    EXPECT_TRUE(program.Running());
    // The adapter appears after the program has started.
    test::SimInstrument late(13, {"--rate", "4"});
    ASSERT_TRUE(late.Ready()) << late.Banner();
    EXPECT_TRUE(WaitUntil([&] { return Logging(home, "Late", 4); }, 60)) << program.Errors();
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
