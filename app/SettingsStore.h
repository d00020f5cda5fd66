#pragma once
// The four settings the program remembers between runs, kept in a registry-export file under the
// user's configuration folder. Reading follows the rules of the registry key it stands for: values
// are read in a fixed order and the first that is missing or of the wrong type ends the reading.
// Every failure is silent; the program then works from its built-in defaults.

#include <cstdint>
#include "app/RegistryFile.h"

#include <string>

namespace vx {

inline constexpr const char* kSettingsKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Varn Instruments\\ventrix";

struct StoredSettings {
    std::int32_t Units = 0;             // 0 m/s ... 4 fpm
    std::int32_t DisplayMode = 1;       // 1 polar, 0 UV
    std::int32_t MessageTypeIndex = 1;  // output-format position
    std::string DefaultLogFile;         // full path of the log file

    bool operator==(const StoredSettings&) const = default;
};

// $XDG_CONFIG_HOME/Varn Instruments/ventrix.reg, or ~/.config/... when that is unset or relative.
// Empty when no home folder can be found.
std::string SettingsFilePath();

// <home>/Varn Log.txt: where logging goes until the user picks a file.
std::string DefaultLogFilePath();

// Applies the reading rules to a parsed file; the fields of `settings` hold the defaults on entry
// and keep them for every value that is not read.
void ReadStoredSettings(const RegistryFile& file, StoredSettings& settings);

// Reads the store at `path`; a missing or unreadable file, or anything but a regular file (a
// FIFO, a device, a folder), leaves every default.
void LoadSettings(const std::string& path, StoredSettings& settings);

// The whole settings file, for settings kept beside the four (an empty file when it is missing or
// cannot be read), and the file written back atomically and readable by its owner only (it may
// hold a broker's password). False when nothing could be written.
RegistryFile ReadSettingsFile(const std::string& path);
// Both follow the rules of LoadSettings and SaveSettings below.
bool WriteSettingsFile(const std::string& path, const RegistryFile& file);

// Writes the four values (other keys and values in the file are kept) through a temporary file
// and a rename, so a crash never leaves half a file; the folder is synced after the rename and
// temporary files an earlier crash left are removed. A symbolic link at `path` stays a link: its
// target is replaced. Returns false when nothing could be written, or when the path holds
// something that is not a regular file.
bool SaveSettings(const std::string& path, const StoredSettings& settings);

}  // namespace vx
