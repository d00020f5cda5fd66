#include "tests/support/TempFolder.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vx::test {

TempFolder::TempFolder(std::string_view stem) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder: " +
                                 std::string(std::strerror(errno)));
    }
    path_ = pattern;
    // Not world-writable, so the kernel's protected-symlink rules never refuse our links.
    ::chmod(path_.c_str(), 0700);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::operator/(std::string_view name) const {
    return path_ + "/" + std::string(name);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name) {
    ::setenv(name_, value.c_str(), 1);
}

ScopedEnv::ScopedEnv(const char* name) : name_(name) {
    if (const char* previous = std::getenv(name)) {
        previous_ = previous;
        hadPrevious_ = true;
    }
    ::unsetenv(name_);
}

ScopedEnv::~ScopedEnv() {
    if (hadPrevious_) {
        ::setenv(name_, previous_.c_str(), 1);
    } else {
        ::unsetenv(name_);
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool WriteFile(const std::string& path, std::string_view content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return static_cast<bool>(out);
}

}  // namespace vx::test
