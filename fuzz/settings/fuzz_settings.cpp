// The settings file is a text a person may edit, so any bytes must read without harm: the parser
// and the reading rules must not crash, the checked values must stay in range, and what we would
// write back must read as the same keys and values.

#include "app/RegistryFile.h"
#include "app/SettingsStore.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const vx::RegistryFile file = vx::RegistryFile::Parse(text);

    vx::StoredSettings settings;
    vx::ReadStoredSettings(file, settings);
    if (settings.Units > 4 || settings.DisplayMode > 1) {
        std::abort();
    }

    const vx::RegistryFile again = vx::RegistryFile::Parse(file.Serialize());
    if (!(again.Keys() == file.Keys())) {
        std::abort();
    }
    return 0;
}
