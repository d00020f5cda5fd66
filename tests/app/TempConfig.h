#pragma once
// A private configuration folder for one test: XDG_CONFIG_HOME points at it while the test runs,
// so the settings store never touches the real user's file.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vx::test {

class TempConfig {
public:
    TempConfig() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ventrix-config-XXXXXX").string();
        folder_ = mkdtemp(pattern.data());
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
            previous_ = old;
            hadPrevious_ = true;
        }
        setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    }
    ~TempConfig() {
        if (hadPrevious_) {
            setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TempConfig(const TempConfig&) = delete;
    TempConfig& operator=(const TempConfig&) = delete;

    const std::string& Folder() const { return folder_; }
    std::string StoreFolder() const { return folder_ + "/Varn Instruments"; }
    std::string StorePath() const { return StoreFolder() + "/ventrix.reg"; }

    // Writes the store file with the given values below the program's key.
    void WriteStore(const std::string& values) const {
        WriteRaw("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varn Instruments\\ventrix]\n" +
                 values);
    }
    void WriteRaw(const std::string& content) const;
    std::string ReadStore() const;

private:
    std::string folder_;
    std::string previous_;
    bool hadPrevious_ = false;
};

}  // namespace vx::test
