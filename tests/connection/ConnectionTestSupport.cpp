#include "tests/connection/ConnectionTestSupport.h"

#include <fstream>

namespace vx::conntest {

namespace {

std::string Hex2(unsigned value) {
    static const char* kDigits = "0123456789ABCDEF";
    return {kDigits[(value >> 4) & 15], kDigits[value & 15]};
}

unsigned XorOf(std::string_view body) {
    unsigned x = 0;
    for (char c : body) {
        x ^= static_cast<unsigned char>(c);
    }
    return x;
}

}  // namespace

std::string StxMessage(std::string_view body) {
    return "\x02" + std::string(body) + "\x03" + Hex2(XorOf(body)) + "\r\n";
}

std::string NmeaMessage(std::string_view body) {
    return "$" + std::string(body) + "*" + Hex2(XorOf(body)) + "\r\n";
}

namespace {

std::vector<std::string> SimArguments(const PortsFolder& folder, int comNumber,
                                      const QStringList& arguments) {
    std::vector<std::string> all = {"--port", std::to_string(comNumber), "--ports-dir",
                                    folder.Path()};
    for (const QString& argument : arguments) {
        all.push_back(argument.toStdString());
    }
    return all;
}

}  // namespace

SimChild::SimChild(const PortsFolder& folder, int comNumber, const QStringList& arguments)
    : test::SimProcess(SimArguments(folder, comNumber, arguments)) {}

std::vector<std::string> SimLogSlots(const std::string& path) {
    std::vector<std::string> entries;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != '#') {
            entries.push_back(line);
        }
    }
    return entries;
}

BoxRecorder::BoxRecorder(MessageResult answer) : answer_(answer) {
    previous_ = SetMessageBoxHook([this](const MessageRequest& request) {
        boxes_.push_back(request);
        if (request.buttons == MessageButtons::Ok) {
            return MessageResult::Ok;
        }
        return answer_;
    });
}

BoxRecorder::~BoxRecorder() {
    SetMessageBoxHook(std::move(previous_));
}

}  // namespace vx::conntest
