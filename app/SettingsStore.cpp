#include "app/SettingsStore.h"

#include "app/RegistryFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

namespace vx {
namespace {

// Our file holds four short values; anything far larger is not ours to parse at start-up.
constexpr std::size_t kMaxSettingsFileSize = 64 * 1024;

constexpr const char* kUnitsName = "Units";
constexpr const char* kDisplayModeName = "DisplayMode";
constexpr const char* kMessageTypeIndexName = "MessageTypeIndex";
constexpr const char* kDefaultLogFileName = "DefaultLogFile";

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return {};
}

bool IsRegularFile(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// Only a regular file is ours to read. A FIFO, a terminal or another device at the path would
// block start-up (and the close, which reads before it writes) in open or read for ever; some
// devices act on being opened at all (a serial port raises its DTR line).
std::optional<std::string> ReadWholeFile(const std::string& path) {
    if (!IsRegularFile(path)) {
        return std::nullopt;
    }
    // Non-blocking, in case something else took the file's place since the look above.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return std::nullopt;
    }
    std::string content;
    char buffer[4096];
    bool ok = true;
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || content.size() + static_cast<std::size_t>(n) > kMaxSettingsFileSize) {
            ok = false;
            break;
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    if (!ok) {
        return std::nullopt;
    }
    return content;
}

bool WriteAll(int fd, const std::string& content) {
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// The file a settings path stands for: a symbolic link is followed (a user who keeps the file
// elsewhere and links to it keeps the link), so the new file replaces the link's target.
std::filesystem::path WriteTarget(const std::string& path) {
    constexpr int kMaxLinks = 40;  // the kernel's own limit on a chain of links
    std::filesystem::path target = path;
    std::error_code error;
    for (int i = 0; i < kMaxLinks && std::filesystem::is_symlink(target, error); ++i) {
        const std::filesystem::path link = std::filesystem::read_symlink(target, error);
        if (error) {
            break;
        }
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return target.lexically_normal();
}

// mkstemp's six letters and digits after the file's name and a dot.
bool IsTemporaryName(const std::string& name, const std::string& fileName) {
    constexpr std::size_t kSuffixLength = 6;
    if (name.size() != fileName.size() + 1 + kSuffixLength ||
        name.compare(0, fileName.size(), fileName) != 0 || name[fileName.size()] != '.') {
        return false;
    }
    for (std::size_t i = fileName.size() + 1; i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
            return false;
        }
    }
    return true;
}

// A crash between writing the temporary file and renaming it leaves the temporary file behind.
// Only old ones go: a young one may belong to another instance writing at this moment.
void RemoveStaleTemporaryFiles(const std::filesystem::path& target) {
    constexpr auto kStaleAfter = std::chrono::minutes(1);
    const std::string fileName = target.filename().string();
    std::error_code error;
    const auto now = std::filesystem::file_time_type::clock::now();
    for (const auto& entry : std::filesystem::directory_iterator(target.parent_path(), error)) {
        std::error_code entryError;
        if (!IsTemporaryName(entry.path().filename().string(), fileName) ||
            !entry.is_regular_file(entryError) || entry.is_symlink(entryError)) {
            continue;
        }
        const auto written = entry.last_write_time(entryError);
        if (!entryError && now - written > kStaleAfter) {
            std::filesystem::remove(entry.path(), entryError);
        }
    }
}

// The rename is durable only once the folder that holds the new name is on disk too.
void SyncFolder(const std::filesystem::path& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

bool WriteFileAtomically(const std::filesystem::path& target, const std::string& content) {
    std::error_code error;
    const std::filesystem::path folder = target.parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, error);
        if (error) {
            return false;
        }
    }
    RemoveStaleTemporaryFiles(target);
    std::string temp = target.string() + ".XXXXXX";
    // mkstemp makes the file readable and writable by its owner only, and the rename keeps that:
    // a password stored here is not for other users of the machine.
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        return false;
    }
    const bool written = WriteAll(fd, content) && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!written || !closed || std::rename(temp.c_str(), target.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

// A registry DWORD read as the signed 32-bit integer the program keeps.
std::optional<std::int32_t> ReadInteger(const RegistryFile& file, const char* name) {
    const RegistryValue* value = file.Find(kSettingsKey, name);
    if (value == nullptr || value->type != RegistryValue::Type::Dword) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value->dword);
}

}  // namespace

std::string SettingsFilePath() {
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        config = xdg;
    } else {
        const std::string home = HomeFolder();
        if (home.empty()) {
            return {};
        }
        config = home + "/.config";
    }
    return config + "/Varn Instruments/ventrix.reg";
}

std::string DefaultLogFilePath() {
    return HomeFolder() + "/Varn Log.txt";
}

void ReadStoredSettings(const RegistryFile& file, StoredSettings& settings) {
    if (!file.HasKey(kSettingsKey)) {
        return;
    }
    // Each check compares signed values: a negative unit or mode passes here and is put right by
    // the main window, which falls back to m/s and polar.
    const auto units = ReadInteger(file, kUnitsName);
    if (!units) {
        return;
    }
    settings.Units = *units > 4 ? 0 : *units;

    const auto displayMode = ReadInteger(file, kDisplayModeName);
    if (!displayMode) {
        return;
    }
    settings.DisplayMode = *displayMode > 1 ? 0 : *displayMode;

    const auto messageTypeIndex = ReadInteger(file, kMessageTypeIndexName);
    if (!messageTypeIndex) {
        return;
    }
    settings.MessageTypeIndex = *messageTypeIndex;

    // A missing log file reads as empty text; a value of another type ends the reading and
    // leaves the default.
    const RegistryValue* logFile = file.Find(kSettingsKey, kDefaultLogFileName);
    if (logFile == nullptr) {
        settings.DefaultLogFile.clear();
    } else if (logFile->type == RegistryValue::Type::String) {
        settings.DefaultLogFile = logFile->text;
    }
}

void LoadSettings(const std::string& path, StoredSettings& settings) {
    if (path.empty()) {
        return;
    }
    if (const auto content = ReadWholeFile(path)) {
        ReadStoredSettings(RegistryFile::Parse(*content), settings);
    }
}

RegistryFile ReadSettingsFile(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    const auto content = ReadWholeFile(path);
    return content ? RegistryFile::Parse(*content) : RegistryFile{};
}

bool WriteSettingsFile(const std::string& path, const RegistryFile& file) {
    if (path.empty()) {
        return false;
    }
    const std::filesystem::path target = WriteTarget(path);
    std::error_code error;
    if (std::filesystem::exists(target, error) && !IsRegularFile(target.string())) {
        // A FIFO, a device or a folder where the file belongs is not ours to replace.
        return false;
    }
    return WriteFileAtomically(target, file.Serialize());
}

bool SaveSettings(const std::string& path, const StoredSettings& settings) {
    if (path.empty()) {
        return false;
    }
    RegistryFile file = ReadSettingsFile(path);
    file.SetDword(kSettingsKey, kUnitsName, static_cast<std::uint32_t>(settings.Units));
    file.SetDword(kSettingsKey, kDisplayModeName, static_cast<std::uint32_t>(settings.DisplayMode));
    file.SetDword(kSettingsKey, kMessageTypeIndexName,
                  static_cast<std::uint32_t>(settings.MessageTypeIndex));
    file.SetString(kSettingsKey, kDefaultLogFileName, settings.DefaultLogFile);
    return WriteSettingsFile(path, file);
}

}  // namespace vx
