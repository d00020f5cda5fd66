#include "app/SettingsStore.h"

#include "app/RegistryFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

std::optional<std::string> ReadWholeFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
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

bool WriteFileAtomically(const std::string& path, const std::string& content) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, error);
        if (error) {
            return false;
        }
    }
    std::string temp = path + ".XXXXXX";
    // mkstemp makes the file readable and writable by its owner only, and the rename keeps that:
    // a password stored here is not for other users of the machine.
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        return false;
    }
    const bool written = WriteAll(fd, content) && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!written || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
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
    return !path.empty() && WriteFileAtomically(path, file.Serialize());
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
    return WriteFileAtomically(path, file.Serialize());
}

}  // namespace vx
