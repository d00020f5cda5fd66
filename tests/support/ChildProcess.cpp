#include "tests/support/ChildProcess.h"

#include "tests/support/PortsFolder.h"
#include "tests/support/WaitFor.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string_view>

extern char** environ;

namespace vx::test {

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, ChildOptions options)
    : outputPath_(options.outputPath) {
    if (arguments.empty()) {
        throw std::invalid_argument("a child process needs a program");
    }
    if (outputPath_.empty()) {
        folder_.emplace("vx-child");
        outputPath_ = *folder_ / "output";
    }
    // Everything the child needs is made before the fork: another thread of the test (a serial
    // reader, a network client) may hold a lock the child would never see released.
    std::vector<std::string> environment = options.environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        // A variable given replaces the inherited one: getenv() would find the first.
        const std::string_view inherited(*entry);
        const std::string_view name = inherited.substr(0, inherited.find('=') + 1);
        if (std::none_of(options.environment.begin(), options.environment.end(),
                         [&](const std::string& given) { return given.starts_with(name); })) {
            environment.emplace_back(inherited);
        }
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : environment) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);
    const int out = ::open(outputPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        throw std::runtime_error("cannot write " + outputPath_);
    }
    const int errors =
        options.errorPath.empty()
            ? -1
            : ::open(options.errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (!options.errorPath.empty() && errors < 0) {
        ::close(out);
        throw std::runtime_error("cannot write " + options.errorPath);
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // Dies with the test. The test may have died before this line: then nobody would.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        ::dup2(out, STDOUT_FILENO);
        if (errors >= 0) {
            ::dup2(errors, STDERR_FILENO);
        } else if (options.errorsToOutput) {
            ::dup2(out, STDERR_FILENO);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out);
    if (errors >= 0) {
        ::close(errors);
    }
    if (pid_ < 0) {
        throw std::runtime_error("cannot start " + arguments[0]);
    }
}

ChildProcess::~ChildProcess() {
    if (Running()) {
        Signal(SIGTERM);
        // A child the test paused acts on SIGTERM only once it runs again.
        Signal(SIGCONT);
        if (Wait(5s) < 0 && Running()) {
            Signal(SIGKILL);
            Wait(5s);
        }
    }
}

std::string ChildProcess::Output() const {
    return ReadFile(outputPath_);
}

void ChildProcess::Signal(int signal) {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, signal);
    }
}

bool ChildProcess::Running() {
    if (pid_ <= 0 || exited_) {
        return false;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        exited_ = true;
        return false;
    }
    return true;
}

int ChildProcess::Wait(std::chrono::milliseconds deadline) {
    WaitUntil([this] { return !Running(); }, deadline);
    return exited_ ? status_ : -1;
}

int ChildProcess::Stop(std::chrono::milliseconds deadline) {
    Signal(SIGTERM);
    return Wait(deadline);
}

std::string BuiltProgram(const std::string& relativePath) {
    return std::string(VX_BINARY_DIR) + "/" + relativePath;
}

namespace {

std::vector<std::string> SimArguments(const std::vector<std::string>& arguments) {
    std::vector<std::string> all = {BuiltProgram("tools/sim/ventrix-sim")};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return all;
}

std::vector<std::string> PortArguments(const PortsFolder& ports, int comNumber,
                                       const std::vector<std::string>& arguments) {
    std::vector<std::string> all = {"--port", std::to_string(comNumber), "--ports-dir",
                                    ports.Path()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return all;
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& arguments, ChildOptions options,
                       std::chrono::milliseconds readyDeadline)
    : ChildProcess(SimArguments(arguments), std::move(options)) {
    WaitUntil(
        [this] {
            banner_ = Output();
            const std::size_t ready = banner_.find("\nready\n");
            ready_ = ready != std::string::npos;
            if (ready_) {
                banner_.resize(ready + 7);
            }
            return ready_ || !Running();
        },
        readyDeadline);
}

SimProcess::SimProcess(const PortsFolder& ports, int comNumber,
                       const std::vector<std::string>& arguments, ChildOptions options)
    : SimProcess(PortArguments(ports, comNumber, arguments), std::move(options)) {}

std::string SimProcess::BannerLine(const std::string& label) const {
    const std::size_t at = banner_.find("\n" + label);
    if (at == std::string::npos) {
        return "";
    }
    const std::size_t start = at + 1 + label.size();
    return banner_.substr(start, banner_.find('\n', start) - start);
}

}  // namespace vx::test
