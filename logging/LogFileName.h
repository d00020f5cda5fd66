#pragma once
// Log file names: the user's base name (folder and prefix) plus the connection's name and a
// number, the first number not yet taken. No log file is ever appended to or overwritten.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vx {

// Folder and file parts of a path; the folder of a file in the root folder is "/" and the
// folder of a bare file name is empty.
struct PathParts {
    std::string folder;
    std::string file;
};
PathParts SplitLogPath(std::string_view path);

// Joins a folder and a file name with one "/" (none for an empty folder).
std::string JoinLogPath(std::string_view folder, std::string_view file);

// The connection's name as it may stand in a file name: the folder separator and control
// characters (NUL included) become "_". The header keeps the name as typed.
std::string FileNameSafe(std::string_view connectionName);

// The names a connection's log files can take, in the order they are tried.
class LogFileNamePattern {
public:
    LogFileNamePattern(std::string_view base, std::string_view connectionName);
    std::string Candidate(int number) const;
    const std::string& Folder() const { return folder_; }
    // The same names in another folder, shortened where needed so that every number fits the
    // file system's limit on a name (a long connection name must not stop the fallback too).
    LogFileNamePattern InFolder(std::string_view folder) const;

private:
    LogFileNamePattern() = default;

    std::string folder_;
    std::string stem_;
    std::string extension_;
};

// Numbering stops here rather than overflow; creating that name then fails like any other.
inline constexpr int kLastLogFileNumber = 2147483647;

// Longest file name (one folder entry, in bytes) that Linux file systems take.
inline constexpr std::size_t kMaxFileNameBytes = 255;

using FileExistsTest = std::function<bool(const std::string& path)>;
bool LogFileExists(const std::string& path);

// The first candidate for which no file exists.
std::string MakeLogFileName(std::string_view base, std::string_view connectionName,
                            const FileExistsTest& exists = LogFileExists);

// The user's home folder ($HOME, else the password database).
std::string HomeFolder();

// Where log records go when the chosen folder stays unwritable: $XDG_STATE_HOME/ventrix, or
// ~/.local/state/ventrix (a relative XDG_STATE_HOME is ignored, as the XDG rules say).
std::string DefaultLogFallbackFolder();

// The log file name as the program uses it: an empty or relative folder lies in the home folder
// (never in whatever folder the program was started from), and "~" stands for the home folder.
std::string AbsoluteLogPath(std::string_view path, std::string_view home);

}  // namespace vx
