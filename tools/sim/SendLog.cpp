#include "tools/sim/SendLog.h"

#include <cerrno>
#include <cstring>

#include "platform/NumberText.h"

namespace vx::sim {

std::string EscapeBytes(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() + 16);
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text += c;
        } else {
            text += "\\x";
            text += kDigits[byte >> 4];
            text += kDigits[byte & 0x0F];
        }
    }
    return text;
}

SendLog::~SendLog() {
    Close();
}

bool SendLog::Open(const std::string& path, std::string& error) {
    Close();
    if (path.empty()) {
        return true;
    }
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void SendLog::Close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

void SendLog::Put(const std::string& line) {
    if (file_ == nullptr) {
        return;
    }
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

void SendLog::Write(const LogEntry& entry) {
    Put(entry.sequence + '\t' + FormatFixed(entry.time, 3) + '\t' + entry.status + '\t' +
        std::to_string(entry.accepted) + '\t' + EscapeBytes(entry.bytes));
}

void SendLog::Comment(const std::string& text) {
    Put("# " + text);
}

void SendLog::Event(double time, const std::string& text) {
    Put("# " + FormatFixed(time, 3) + " " + text);
}

}  // namespace vx::sim
