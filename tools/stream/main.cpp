// ventrix-stream: anemometer bytes from a file or standard input through the wind core, as a
// table of what a connection would show after each message.

#include "connection/OutputFormats.h"
#include "tools/stream/LiveStream.h"
#include "tools/stream/StreamOptions.h"
#include "tools/stream/StreamSession.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kUsageError = 2;

// Finds the format by name in the shipped table; lists the known names when there is none.
bool LookUpFormat(const std::string& name, vx::StreamSettings& settings) {
    vx::OutputFormatTable table;
    const vx::FormatList list = table.FillFormatList();
    for (int i = 0; i < static_cast<int>(list.names.size()); ++i) {
        if (list.names[i] == name) {
            settings.formatName = name;
            settings.formatLetters = table.FormatLettersAt(i);
            return true;
        }
    }
    std::cerr << "ventrix-stream: unknown format \"" << name << "\"; known formats:\n";
    for (const std::string& known : list.names) {
        std::cerr << "  " << known << "\n";
    }
    return false;
}

// Standard input for "-", else the file opened for reading; null (with a message) on failure.
std::FILE* OpenInput(const std::string& input) {
    if (input == "-") {
        return stdin;
    }
    std::FILE* file = std::fopen(input.c_str(), "rb");
    if (file == nullptr) {
        std::cerr << "ventrix-stream: cannot open " << input << ": " << std::strerror(errno)
                  << "\n";
    }
    return file;
}

// Feeds the whole input to the session and closes it; false (with a message) on a read error.
bool FeedInput(std::FILE* file, const std::string& input, vx::StreamSession& session) {
    const bool useStdin = file == stdin;
    std::vector<char> buffer(1 << 16);
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        session.Feed(std::string_view(buffer.data(), got));
    }
    const bool failed = std::ferror(file) != 0;
    const int readErrno = errno;
    if (!useStdin) {
        std::fclose(file);
    }
    if (failed) {
        std::cerr << "ventrix-stream: cannot read " << input << ": " << std::strerror(readErrno)
                  << "\n";
    }
    return !failed;
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    vx::StreamOptions options;
    std::string error;
    if (!vx::ParseStreamOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "ventrix-stream: " << error << "\n" << vx::StreamUsage();
        return kUsageError;
    }
    if (options.help) {
        std::cout << vx::StreamUsage();
        return 0;
    }
    vx::StreamSettings settings;
    settings.rate = options.rate;
    settings.averaging = options.averaging;
    if (!LookUpFormat(options.format, settings)) {
        return kUsageError;
    }
    if (options.port != 0) {
        // --quiet: the table goes nowhere (a service's journal needs no line per message).
        std::ostream nowhere(nullptr);
        vx::StreamSession session(settings, options.network.quiet ? nowhere : std::cout);
        std::string portError;
        const int result = vx::RunLiveStream(options, settings.formatName, session, portError);
        std::cout.flush();
        if (result != 0) {
            std::cerr << "ventrix-stream: " << portError << "\n";
        }
        return result;
    }
    std::FILE* file = OpenInput(options.input);
    if (file == nullptr) {
        return kUsageError;
    }
    vx::StreamSession session(settings, std::cout);
    const bool read = FeedInput(file, options.input, session);
    std::cout.flush();
    return read ? 0 : kUsageError;
}
