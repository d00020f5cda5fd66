#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <string>

// Numbers travel as text with "." whatever the user's locale; this guards the toolchain's
// std::to_chars against a locale that uses a decimal comma.
TEST(Toolchain, ToCharsIgnoresLocale) {
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, 1.25, std::chars_format::fixed, 2);
    EXPECT_EQ(std::string(buf, r.ptr), "1.25");
    std::setlocale(LC_NUMERIC, "C");
}
