#include "app/CommandLine.h"

#include "app/Version.h"

#include <algorithm>
#include <array>
#include <ostream>
#include <string_view>
#include <utility>

namespace vx {
namespace {

constexpr std::string_view kProgram = "ventrix";

// The toolkit's own options (QGuiApplication, QApplication and the X11 platform); those in the
// first list take a value, as the next argument or after "=".
constexpr std::array<std::string_view, 15> kToolkitOptionsWithValue = {
    "-platform",        "-platformpluginpath", "-platformtheme", "-plugin",
    "-qwindowgeometry", "-qwindowicon",        "-qwindowtitle",  "-session",
    "-display",         "-geometry",           "-title",         "-name",
    "-style",           "-stylesheet",         "-qmljsdebugger"};
constexpr std::array<std::string_view, 5> kToolkitFlags = {"-reverse", "-widgetcount", "-nograb",
                                                           "-dograb", "-sync"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Walks the arguments; an option's value is the rest after "=" or the next argument.
class ArgumentCursor {
public:
    explicit ArgumentCursor(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    bool AtEnd() const { return next_ >= arguments_.size(); }

    // Moves to the next argument and splits "--name=value" into its two halves.
    void Advance() {
        argument_ = arguments_[next_++];
        const std::size_t equals = argument_.find('=');
        name_ = argument_.substr(0, equals);
        inlineValue_ = equals != std::string::npos;
        value_ = inlineValue_ ? argument_.substr(equals + 1) : std::string();
    }

    const std::string& Argument() const { return argument_; }
    const std::string& Name() const { return name_; }
    bool HasInlineValue() const { return inlineValue_; }

    // The option's value; false when the arguments ran out before it.
    bool TakeValue(std::string& value) {
        if (inlineValue_) {
            value = value_;
            return true;
        }
        if (AtEnd()) {
            return false;
        }
        value = arguments_[next_++];
        return true;
    }

private:
    const std::vector<std::string>& arguments_;
    std::size_t next_ = 0;
    std::string argument_;
    std::string name_;
    std::string value_;
    bool inlineValue_ = false;
};

void Fail(CommandLine& commandLine, std::string error) {
    commandLine.error = std::move(error);
    commandLine.exitStatus = kExitUsage;
}

// Qt reads its options with one dash or two ("-platform", "--platform").
std::string_view ToolkitName(std::string_view name) {
    return name.rfind("--", 0) == 0 ? name.substr(1) : name;
}

bool IsToolkitOption(std::string_view name) {
    const std::string_view toolkit = ToolkitName(name);
    return Contains(kToolkitFlags, toolkit) || Contains(kToolkitOptionsWithValue, toolkit);
}

// Steps over a toolkit option and its value; the toolkit reads them itself from argv.
void SkipToolkitOption(ArgumentCursor& cursor, CommandLine& commandLine) {
    std::string ignored;
    if (Contains(kToolkitOptionsWithValue, ToolkitName(cursor.Name())) &&
        !cursor.TakeValue(ignored)) {
        Fail(commandLine, "option '" + cursor.Name() + "' needs a value");
    }
}

void SetFlag(ArgumentCursor& cursor, CommandLine& commandLine, bool& flag) {
    if (cursor.HasInlineValue()) {
        Fail(commandLine, "option '" + cursor.Name() + "' takes no value");
        return;
    }
    flag = true;
}

void AddConnection(ArgumentCursor& cursor, CommandLine& commandLine) {
    std::string value;
    if (!cursor.TakeValue(value)) {
        Fail(commandLine, "option '--connect' needs a value: COMn[,baud[,format[,name]]]");
        return;
    }
    ConnectRequest request;
    const std::string error = ParseConnectRequest(value, request);
    if (!error.empty()) {
        Fail(commandLine, "--connect " + value + ": " + error);
        return;
    }
    for (const ConnectRequest& earlier : commandLine.connections) {
        if (earlier.comNumber == request.comNumber) {
            Fail(commandLine,
                 "--connect: COM" + std::to_string(request.comNumber) + " is given twice");
            return;
        }
    }
    commandLine.connections.push_back(request);
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine commandLine;
    ArgumentCursor cursor(arguments);
    while (!cursor.AtEnd() && commandLine.error.empty()) {
        cursor.Advance();
        const std::string& name = cursor.Name();
        if (name == "--help" || name == "-h") {
            SetFlag(cursor, commandLine, commandLine.help);
        } else if (name == "--version") {
            SetFlag(cursor, commandLine, commandLine.version);
        } else if (name == "--connect") {
            AddConnection(cursor, commandLine);
        } else if (name == "--log") {
            SetFlag(cursor, commandLine, commandLine.log);
        } else if (IsToolkitOption(name)) {
            SkipToolkitOption(cursor, commandLine);
        } else if (name.rfind('-', 0) == 0) {
            Fail(commandLine, "unknown option '" + name + "'");
        } else {
            Fail(commandLine, "unexpected argument '" + cursor.Argument() + "'");
        }
    }
    if (commandLine.error.empty() && commandLine.log && commandLine.connections.empty()) {
        Fail(commandLine, "--log needs at least one --connect");
    }
    return commandLine;
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return ParseCommandLine(arguments);
}

std::string CommandLineHelp() {
    return "Usage: ventrix [OPTION]...\n"
           "Watches and records ultrasonic anemometers on serial ports.\n"
           "\n"
           "  -h, --help     show this help and exit\n"
           "      --version  show the version and exit\n"
           "      --connect COMn[,BAUD[,FORMAT[,NAME]]]\n"
           "                 connect the instrument on COMn at start (repeatable); BAUD is\n"
           "                 one of 2400 4800 9600 19200 38400 57600 115200 (9600), FORMAT\n"
           "                 an output format such as VARN_UV_TWO_AXIS or NMEA_POLAR (the\n"
           "                 one last chosen in the connect dialog), NAME the window's name\n"
           "                 (COMn). A port whose device is not there yet is waited for.\n"
           "      --log      start logging the connections with the saved log settings\n"
           "\n"
           "  For example, in a station's autostart entry:\n"
           "    ventrix --connect COM5,19200,NMEA_POLAR,Mast --connect COM6 --log\n"
           "\n"
           "Without options Ventrix opens its main window; connect an instrument with\n"
           "File, Connect... Serial ports are named COM1 to COM50: COMn is the device linked\n"
           "as COMn in $VENTRIX_PORTS_DIR (default ~/.config/ventrix/ports), else a fixed\n"
           "table (COM1-4 /dev/ttyS0-3, COM5-20 /dev/ttyUSB0-15, COM21-30 /dev/ttyACM0-9,\n"
           "COM31-40 /dev/ttyS4-13, COM41-50 /dev/rfcomm0-9). Using a serial port needs\n"
           "membership of the 'dialout' group.\n"
           "\n"
           "The toolkit's own options (-platform NAME, -style NAME, -geometry WxH+X+Y, ...)\n"
           "are passed on to it. See ventrix(1).\n";
}

std::string CommandLineVersion() {
    return std::string(kProgram) + " " + kVentrixVersion + "\n";
}

int AnswerOnTerminal(const CommandLine& commandLine, std::ostream& out, std::ostream& err) {
    if (!commandLine.error.empty()) {
        err << kProgram << ": " << commandLine.error << "\n"
            << "Try '" << kProgram << " --help' for more information.\n";
    } else if (commandLine.help) {
        out << CommandLineHelp();
    } else if (commandLine.version) {
        out << CommandLineVersion();
    }
    out.flush();
    err.flush();
    return commandLine.exitStatus;
}

}  // namespace vx
