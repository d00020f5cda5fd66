#include "logging/LogFileName.h"

#include <sys/stat.h>

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

}  // namespace vx
