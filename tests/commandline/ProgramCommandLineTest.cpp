// The built ventrix answers --help, --version and mistakes without a display: started here with
// no DISPLAY and the X11 platform forced, so creating the toolkit would abort the program.

#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vx {
namespace {

namespace fs = std::filesystem;

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

ProgramRun RunWithoutDisplay(const std::string& arguments) {
    const fs::path errors = fs::temp_directory_path() / ("vx-cmdline-" + std::to_string(getpid()));
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb \"" +
                                std::string(VX_VENTRIX_PROGRAM) + "\" " + arguments + " 2>\"" +
                                errors.string() + "\"";
    ProgramRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, got);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadFile(errors);
    fs::remove(errors);
    return run;
}

TEST(ProgramCommandLine, VersionAndHelpAnswerWithoutADisplay) {
    const ProgramRun version = RunWithoutDisplay("--version");
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, CommandLineVersion());
    EXPECT_EQ(version.err, "");

    const ProgramRun help = RunWithoutDisplay("--help");
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.out, CommandLineHelp());
}

TEST(ProgramCommandLine, MistakeExitsWithStatusTwoBeforeAnyWindow) {
    const ProgramRun run = RunWithoutDisplay("--no-such-option");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "ventrix: unknown option '--no-such-option'\n"
              "Try 'ventrix --help' for more information.\n");
}

}  // namespace
}  // namespace vx
