#pragma once
// A private configuration folder for one test: XDG_CONFIG_HOME points at it while the test runs,
// so the settings store never touches the real user's file.

#include "tests/support/TempFolder.h"

#include <filesystem>
#include <string>

namespace vx::test {

class TempConfig {
public:
    const std::string& Folder() const { return folder_.Path(); }
    std::string StoreFolder() const { return folder_ / "Varn Instruments"; }
    std::string StorePath() const { return StoreFolder() + "/ventrix.reg"; }

    // Writes the store file with the given values below the program's key.
    void WriteStore(const std::string& values) const {
        WriteRaw("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varn Instruments\\ventrix]\n" +
                 values);
    }
    void WriteRaw(const std::string& content) const {
        std::filesystem::create_directories(StoreFolder());
        WriteFile(StorePath(), content);
    }
    std::string ReadStore() const { return ReadFile(StorePath()); }

private:
    TempFolder folder_{"ventrix-config"};
    ScopedEnv env_{"XDG_CONFIG_HOME", folder_.Path()};
};

}  // namespace vx::test
