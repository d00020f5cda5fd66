#include "logging/LogFileName.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace vx {
namespace {

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string TrimBlanksAndControls(std::string text) {
    size_t begin = 0;
    while (begin < text.size() && IsBlankOrControl(text[begin])) {
        ++begin;
    }
    size_t end = text.size();
    while (end > begin && IsBlankOrControl(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// Cuts text to at most maxBytes without splitting a UTF-8 character.
std::string CutUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return std::string(text);
    }
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(text.substr(0, end));
}

}  // namespace

PathParts SplitLogPath(std::string_view path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return PathParts{"", std::string(path)};
    }
    const std::string_view folder = slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
    return PathParts{std::string(folder), std::string(path.substr(slash + 1))};
}

std::string JoinLogPath(std::string_view folder, std::string_view file) {
    std::string path(folder);
    // A bare prefix stays relative: a leading "/" would put the files in the root folder.
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += file;
    return path;
}

std::string FileNameSafe(std::string_view connectionName) {
    std::string safe(connectionName);
    for (char& c : safe) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '/' || code < 0x20 || code == 0x7f) {
            c = '_';
        }
    }
    return safe;
}

LogFileNamePattern::LogFileNamePattern(std::string_view base, std::string_view connectionName) {
    PathParts parts = SplitLogPath(base);
    folder_ = std::move(parts.folder);
    const size_t lastDot = parts.file.rfind('.');
    if (lastDot != std::string::npos) {
        extension_ = parts.file.substr(lastDot);
    }
    const std::string stem = parts.file.substr(0, parts.file.find('.'));
    stem_ = TrimBlanksAndControls(stem + " [" + FileNameSafe(connectionName) + "]-");
}

std::string LogFileNamePattern::Candidate(int number) const {
    return JoinLogPath(folder_, stem_ + std::to_string(number) + extension_);
}

LogFileNamePattern LogFileNamePattern::InFolder(std::string_view folder) const {
    constexpr std::size_t kNumberDigits = 10;  // kLastLogFileNumber
    constexpr std::size_t kKeptStem = 64;
    LogFileNamePattern moved;
    moved.folder_ = std::string(folder);
    moved.extension_ = CutUtf8(extension_, kMaxFileNameBytes - kNumberDigits - kKeptStem);
    moved.stem_ = CutUtf8(stem_, kMaxFileNameBytes - kNumberDigits - moved.extension_.size());
    if (moved.stem_.size() < stem_.size()) {
        // Keep the "]-" before the number, so a shortened name still reads like the others.
        moved.stem_ = CutUtf8(moved.stem_, moved.stem_.size() - 2) + "]-";
    }
    return moved;
}

bool LogFileExists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::string MakeLogFileName(std::string_view base, std::string_view connectionName,
                            const FileExistsTest& exists) {
    const LogFileNamePattern pattern(base, connectionName);
    int number = 0;
    while (number < kLastLogFileNumber && exists(pattern.Candidate(number))) {
        ++number;
    }
    return pattern.Candidate(number);
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

std::string DefaultLogFallbackFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
        return JoinLogPath(state, "ventrix");
    }
    return JoinLogPath(HomeFolder(), ".local/state/ventrix");
}

std::string AbsoluteLogPath(std::string_view path, std::string_view home) {
    if (!path.empty() && path.front() == '/') {
        return std::string(path);
    }
    if (path == "~") {
        return std::string(home);
    }
    if (path.substr(0, 2) == "~/") {
        path.remove_prefix(2);
    }
    return JoinLogPath(home, path);
}

}  // namespace vx
