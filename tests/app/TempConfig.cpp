#include "tests/app/TempConfig.h"

#include <fstream>
#include <sstream>

namespace vx::test {

void TempConfig::WriteRaw(const std::string& content) const {
    std::filesystem::create_directories(StoreFolder());
    std::ofstream(StorePath(), std::ios::binary) << content;
}

std::string TempConfig::ReadStore() const {
    std::ifstream in(StorePath(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace vx::test
