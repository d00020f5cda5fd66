#pragma once
// Scratch space for one test: a private folder removed with its content, and environment
// variables set for a test's life, so nothing of the user's (settings, ports, logs) is touched.

#include <string>
#include <string_view>

namespace vx::test {

// A fresh folder (mode 0700) under the system's temporary folder, removed with everything in it
// at the end. Throws when none can be made: a test without its folder cannot mean anything.
class TempFolder {
public:
    explicit TempFolder(std::string_view stem = "vx-test");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    // The path of an entry of the folder.
    std::string operator/(std::string_view name) const;

private:
    std::string path_;
};

// Sets (or, with no value, removes) an environment variable while it lives.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    explicit ScopedEnv(const char* name);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// The whole file, bytes as they are; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Replaces the file's content; false when it cannot be written.
bool WriteFile(const std::string& path, std::string_view content);

}  // namespace vx::test
